#include "firebird/FbTypes.h"

namespace fbdrv {

using odbcdrv::ColumnInfo;

namespace {

// Field types of the system tables (the engine's own codes).
namespace fieldtype {
constexpr int64_t kShort = 7;
constexpr int64_t kLong = 8;
constexpr int64_t kFloat = 10;
constexpr int64_t kDFloat = 11;
constexpr int64_t kDate = 12;
constexpr int64_t kTime = 13;
constexpr int64_t kText = 14;
constexpr int64_t kInt64 = 16;
constexpr int64_t kBoolean = 23;
constexpr int64_t kDouble = 27;
constexpr int64_t kTimestamp = 35;
constexpr int64_t kVarying = 37;
constexpr int64_t kCString = 40;
constexpr int64_t kBlob = 261;
}  // namespace fieldtype

}  // namespace

unsigned MessageTypeOfField(int64_t fieldType) {
    switch (fieldType) {
        case fieldtype::kShort:
            return fbtype::kShort;
        case fieldtype::kLong:
            return fbtype::kLong;
        case fieldtype::kInt64:
            return fbtype::kInt64;
        case fieldtype::kFloat:
            return fbtype::kFloat;
        case fieldtype::kDFloat:
            return fbtype::kDFloat;
        case fieldtype::kDouble:
            return fbtype::kDouble;
        case fieldtype::kText:
            return fbtype::kText;
        case fieldtype::kVarying:
        case fieldtype::kCString:
            return fbtype::kVarying;
        case fieldtype::kBlob:
            return fbtype::kBlob;
        case fieldtype::kDate:
            return fbtype::kDate;
        case fieldtype::kTime:
            return fbtype::kTime;
        case fieldtype::kTimestamp:
            return fbtype::kTimestamp;
        case fieldtype::kBoolean:
            return fbtype::kBoolean;
        default:
            return 0;
    }
}

void DescribeType(unsigned type, int subType, int scale, unsigned charSet, SQLULEN length,
                  ColumnInfo& c) {
    const bool scaled = scale < 0 || subType == 1 || subType == 2;
    // A scaled number keeps one digit fewer than its storage's plain range.
    auto integer = [&](SQLSMALLINT plain, const char* name, SQLULEN digits) {
        if (scaled) {
            c.sqlType = subType == 2 ? SQL_DECIMAL : SQL_NUMERIC;
            c.typeName = subType == 2 ? "DECIMAL" : "NUMERIC";
            c.columnSize = digits - 1;
            c.decimalDigits = static_cast<SQLSMALLINT>(-scale);
        } else {
            c.sqlType = plain;
            c.typeName = name;
            c.columnSize = digits;
        }
    };
    switch (type) {
        case fbtype::kShort:
            integer(SQL_SMALLINT, "SMALLINT", 5);
            break;
        case fbtype::kLong:
            integer(SQL_INTEGER, "INTEGER", 10);
            break;
        case fbtype::kInt64:
            integer(SQL_BIGINT, "BIGINT", 19);
            break;
        case fbtype::kFloat:
            c.sqlType = SQL_REAL;
            c.typeName = "FLOAT";
            c.columnSize = 7;
            break;
        case fbtype::kDouble:
        case fbtype::kDFloat:
            c.sqlType = SQL_DOUBLE;
            c.typeName = "DOUBLE PRECISION";
            c.columnSize = 15;
            break;
        case fbtype::kText:
            c.sqlType = charSet == kOctets ? SQL_BINARY : SQL_CHAR;
            c.typeName = "CHAR";
            c.columnSize = length;
            break;
        case fbtype::kVarying:
            c.sqlType = charSet == kOctets ? SQL_VARBINARY : SQL_VARCHAR;
            c.typeName = "VARCHAR";
            c.columnSize = length;
            break;
        case fbtype::kBlob:
            c.sqlType = subType == 1 ? SQL_LONGVARCHAR : SQL_LONGVARBINARY;
            c.typeName = subType == 1 ? "BLOB SUB_TYPE TEXT" : "BLOB";
            c.columnSize = 2147483647;
            break;
        case fbtype::kDate:
            c.sqlType = SQL_TYPE_DATE;
            c.typeName = "DATE";
            c.columnSize = 10;
            break;
        case fbtype::kTime:
            c.sqlType = SQL_TYPE_TIME;
            c.typeName = "TIME";
            c.columnSize = 13;
            c.decimalDigits = 4;
            break;
        case fbtype::kTimestamp:
            c.sqlType = SQL_TYPE_TIMESTAMP;
            c.typeName = "TIMESTAMP";
            c.columnSize = 24;
            c.decimalDigits = 4;
            break;
        case fbtype::kBoolean:
            c.sqlType = SQL_BIT;
            c.typeName = "BOOLEAN";
            c.columnSize = 1;
            break;
        default:
            c.sqlType = SQL_VARCHAR;
            c.typeName = "VARCHAR";
            c.columnSize = length;
    }
}

}  // namespace fbdrv
