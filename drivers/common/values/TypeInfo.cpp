#include "drivers/common/values/TypeInfo.h"

#include <algorithm>

namespace odbcdrv {

SQLSMALLINT DefaultCType(SQLSMALLINT sqlType, bool isUnsigned) {
    switch (sqlType) {
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_LONGVARCHAR:
        case SQL_DECIMAL:
        case SQL_NUMERIC:
            return SQL_C_CHAR;
        case SQL_WCHAR:
        case SQL_WVARCHAR:
        case SQL_WLONGVARCHAR:
            return SQL_C_WCHAR;
        case SQL_BIT:
            return SQL_C_BIT;
        case SQL_TINYINT:
            return isUnsigned ? SQL_C_UTINYINT : SQL_C_STINYINT;
        case SQL_SMALLINT:
            return isUnsigned ? SQL_C_USHORT : SQL_C_SSHORT;
        case SQL_INTEGER:
            return isUnsigned ? SQL_C_ULONG : SQL_C_SLONG;
        case SQL_BIGINT:
            return isUnsigned ? SQL_C_UBIGINT : SQL_C_SBIGINT;
        case SQL_REAL:
            return SQL_C_FLOAT;
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return SQL_C_DOUBLE;
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY:
            return SQL_C_BINARY;
        case SQL_TYPE_DATE:
        case SQL_DATE:
            return SQL_C_TYPE_DATE;
        case SQL_TYPE_TIME:
        case SQL_TIME:
            return SQL_C_TYPE_TIME;
        case SQL_TYPE_TIMESTAMP:
        case SQL_TIMESTAMP:
            return SQL_C_TYPE_TIMESTAMP;
        default:
            return SQL_C_CHAR;
    }
}

bool IsCharType(SQLSMALLINT t) {
    return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR || t == SQL_WCHAR ||
           t == SQL_WVARCHAR || t == SQL_WLONGVARCHAR;
}

SQLSMALLINT WideCharType(SQLSMALLINT t) {
    switch (t) {
        case SQL_CHAR:
            return SQL_WCHAR;
        case SQL_VARCHAR:
            return SQL_WVARCHAR;
        case SQL_LONGVARCHAR:
            return SQL_WLONGVARCHAR;
        default:
            return t;
    }
}

bool IsBinaryType(SQLSMALLINT t) {
    return t == SQL_BINARY || t == SQL_VARBINARY || t == SQL_LONGVARBINARY;
}

bool IsExactNumeric(SQLSMALLINT t) {
    return t == SQL_NUMERIC || t == SQL_DECIMAL || t == SQL_INTEGER || t == SQL_SMALLINT ||
           t == SQL_TINYINT || t == SQL_BIGINT || t == SQL_BIT;
}

bool IsDatetime(SQLSMALLINT t) {
    return t == SQL_TYPE_DATE || t == SQL_TYPE_TIME || t == SQL_TYPE_TIMESTAMP;
}

SQLLEN DisplaySize(const ColumnInfo& c) {
    switch (c.sqlType) {
        case SQL_BIT:
            return 1;
        case SQL_TINYINT:
            return c.isUnsigned ? 3 : 4;
        case SQL_SMALLINT:
            return 6;
        case SQL_INTEGER:
            return 11;
        case SQL_BIGINT:
            return 20;
        case SQL_REAL:
            return 14;
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return 24;
        case SQL_NUMERIC:
        case SQL_DECIMAL:
            return static_cast<SQLLEN>(c.columnSize) + 2;
        case SQL_TYPE_DATE:
            return 10;
        case SQL_TYPE_TIME:
            return 8;
        case SQL_TYPE_TIMESTAMP:
            return c.decimalDigits > 0 ? 20 + c.decimalDigits : 19;
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY:
            return static_cast<SQLLEN>(c.columnSize) * 2;
        default:
            return static_cast<SQLLEN>(c.columnSize);
    }
}

SQLLEN OctetLength(const ColumnInfo& c) {
    switch (c.sqlType) {
        case SQL_BIT:
        case SQL_TINYINT:
            return 1;
        case SQL_SMALLINT:
            return 2;
        case SQL_INTEGER:
        case SQL_REAL:
            return 4;
        case SQL_BIGINT:
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return 8;
        case SQL_TYPE_DATE:
        case SQL_TYPE_TIME:
            return 6;
        case SQL_TYPE_TIMESTAMP:
            return 16;
        case SQL_NUMERIC:
        case SQL_DECIMAL:
            return static_cast<SQLLEN>(c.columnSize) + 2;
        case SQL_WCHAR:
        case SQL_WVARCHAR:
        case SQL_WLONGVARCHAR:
            // Two bytes a character, within the 32-bit lengths of the catalog.
            return static_cast<SQLLEN>(std::min<SQLULEN>(c.columnSize * 2, 2147483647));
        default:
            return static_cast<SQLLEN>(c.columnSize);
    }
}

}  // namespace odbcdrv
