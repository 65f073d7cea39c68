// Copies a text into an application's output buffer the ODBC way: cut to the
// buffer with a terminating zero, the full length in *outLength, and 01004
// with SQL_SUCCESS_WITH_INFO when it was cut.
#pragma once

#include <string>

#include "drivers/common/base/Diagnostics.h"

namespace odbcdrv {

// How text leaves the driver. The narrow functions hand out the code page
// 1252 bytes, or UTF-8 on a connection whose application speaks UTF-8
// (NarrowUtf8, see ClientCharset.h); the wide functions hand out UTF-16 and,
// depending on the function, count buffer and text lengths in characters or
// in bytes.
enum class TextForm { Narrow, NarrowUtf8, WideChars, WideBytes };

template <class LenT>
SQLRETURN CopyOut(const std::string& s, SQLPOINTER buffer, SQLLEN bufferLength, LenT* outLength,
                  Diagnostics& diag, TextForm form = TextForm::Narrow);

// The same for text already in UTF-16 (form WideChars or WideBytes).
template <class LenT>
SQLRETURN CopyOutWide(const std::u16string& s, SQLPOINTER buffer, SQLLEN bufferLength,
                      LenT* outLength, Diagnostics& diag, TextForm form);

}  // namespace odbcdrv
