// Reading one column of the current row as text, whatever its length.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>

// Reads column n as SQL_C_CHAR through the shared value buffer; a value
// longer than the buffer is read on in further parts, so nothing is cut.
// indicator receives SQL_NULL_DATA for null, otherwise the text length.
// False when the driver refuses the read.
bool ReadColumnText(SQLHSTMT stmt, SQLUSMALLINT n, std::string& text, SQLLEN& indicator);
