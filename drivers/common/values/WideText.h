// Text of the wide-character entry points: UTF-16 on the application's side,
// code page 1252 inside the driver and in the database.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <string>

namespace odbcdrv {

// The application's UTF-16 text (length in characters, or SQL_NTS) in code
// page 1252. A character that code page 1252 cannot hold, or a broken
// surrogate pair, throws DriverError 22021 naming the character and its
// position: such text is refused rather than stored as something else.
std::string FromWide(const SQLWCHAR* text, SQLINTEGER length);

// Throws DriverError 22021 for the character `codePoint` at `position`
// (counted in characters from 1), which code page 1252 cannot hold.
[[noreturn]] void RefuseCharacter(uint32_t codePoint, size_t position);
// Throws DriverError 22021 for text that is no valid UTF-8 at `position`.
[[noreturn]] void RefuseBytes(size_t position);

// Code page 1252 text as UTF-16.
std::u16string ToWide(const std::string& cp1252);

// Each byte as the code unit of the same value. Diagnostics of a connection
// opened through the narrow functions travel this way: the driver manager
// reads them through the wide functions and narrows them unit by unit, so the
// narrow application gets back exactly the bytes the driver holds.
std::u16string BytesToWide(const std::string& bytes);

}  // namespace odbcdrv
