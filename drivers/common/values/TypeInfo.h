// What the plumbing derives from an SQL type: the default C type that
// SQL_C_DEFAULT stands for, sizes for SQLDescribeCol/SQLColAttribute and the
// catalog result sets.
#pragma once

#include "drivers/common/base/Backend.h"

namespace odbcdrv {

// The C type SQL_C_DEFAULT delivers for a column of this SQL type.
SQLSMALLINT DefaultCType(SQLSMALLINT sqlType, bool isUnsigned);
// Characters needed to show a value of the column as text.
SQLLEN DisplaySize(const ColumnInfo& c);
// Bytes of the value in its default C representation (text without terminator).
SQLLEN OctetLength(const ColumnInfo& c);
bool IsCharType(SQLSMALLINT sqlType);
// The wide counterpart of a character type (SQL_VARCHAR -> SQL_WVARCHAR), any
// other type unchanged: how connections opened through the wide functions
// describe text, so that Unicode clients read it as UTF-16.
SQLSMALLINT WideCharType(SQLSMALLINT sqlType);
bool IsBinaryType(SQLSMALLINT sqlType);
bool IsExactNumeric(SQLSMALLINT sqlType);
bool IsDatetime(SQLSMALLINT sqlType);

}  // namespace odbcdrv
