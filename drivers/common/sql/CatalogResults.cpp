#include "drivers/common/sql/CatalogResults.h"

#include <initializer_list>
#include <string>

#include "drivers/common/values/TypeInfo.h"

namespace odbcdrv {

namespace {

ColumnInfo Col(const std::string& name, SQLSMALLINT type, bool nullable = true) {
    ColumnInfo c;
    c.name = name;
    c.sqlType = type;
    c.nullable = nullable ? SQL_NULLABLE : SQL_NO_NULLS;
    switch (type) {
        case SQL_SMALLINT:
            c.typeName = "SMALLINT";
            c.columnSize = 5;
            break;
        case SQL_INTEGER:
            c.typeName = "INTEGER";
            c.columnSize = 10;
            break;
        default:
            c.typeName = "VARCHAR";
            c.columnSize = 128;
    }
    return c;
}

// The catalog, schema and name of a table or procedure: PREFIX_CAT,
// PREFIX_SCHEM and PREFIX_NAME, the name never null.
std::vector<ColumnInfo> ObjectName(const std::string& prefix) {
    return {Col(prefix + "_CAT", SQL_VARCHAR), Col(prefix + "_SCHEM", SQL_VARCHAR),
            Col(prefix + "_NAME", SQL_VARCHAR, false)};
}

// A column's data type as SQLColumns, SQLProcedureColumns and
// SQLSpecialColumns report it.
std::vector<ColumnInfo> TypeColumns() {
    return {Col("DATA_TYPE", SQL_SMALLINT, false), Col("TYPE_NAME", SQL_VARCHAR, false),
            Col("COLUMN_SIZE", SQL_INTEGER), Col("BUFFER_LENGTH", SQL_INTEGER),
            Col("DECIMAL_DIGITS", SQL_SMALLINT)};
}

// What SQLColumns and SQLProcedureColumns report after the data type.
std::vector<ColumnInfo> ColumnDetails() {
    return {Col("NUM_PREC_RADIX", SQL_SMALLINT),
            Col("NULLABLE", SQL_SMALLINT, false),
            Col("REMARKS", SQL_VARCHAR),
            Col("COLUMN_DEF", SQL_VARCHAR),
            Col("SQL_DATA_TYPE", SQL_SMALLINT, false),
            Col("SQL_DATETIME_SUB", SQL_SMALLINT),
            Col("CHAR_OCTET_LENGTH", SQL_INTEGER),
            Col("ORDINAL_POSITION", SQL_INTEGER, false),
            Col("IS_NULLABLE", SQL_VARCHAR)};
}

std::vector<ColumnInfo> Join(std::initializer_list<std::vector<ColumnInfo>> parts) {
    std::vector<ColumnInfo> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

SQLSMALLINT DatetimeSub(SQLSMALLINT t) {
    return t == SQL_TYPE_DATE        ? SQL_CODE_DATE
           : t == SQL_TYPE_TIME      ? SQL_CODE_TIME
           : t == SQL_TYPE_TIMESTAMP ? SQL_CODE_TIMESTAMP
                                     : 0;
}

bool IsApproximate(SQLSMALLINT t) {
    return t == SQL_REAL || t == SQL_FLOAT || t == SQL_DOUBLE;
}

Value SmallOrNull(SQLSMALLINT v, bool present) {
    return present ? Value::Integer(v) : Value::Null();
}

}  // namespace

std::vector<ColumnInfo> CatalogResults::ColumnsShape() {
    return Join({ObjectName("TABLE"),
                 {Col("COLUMN_NAME", SQL_VARCHAR, false)},
                 TypeColumns(),
                 ColumnDetails()});
}

std::vector<ColumnInfo> CatalogResults::TablesShape() {
    return {Col("TABLE_CAT", SQL_VARCHAR), Col("TABLE_SCHEM", SQL_VARCHAR),
            Col("TABLE_NAME", SQL_VARCHAR), Col("TABLE_TYPE", SQL_VARCHAR),
            Col("REMARKS", SQL_VARCHAR)};
}

std::vector<ColumnInfo> CatalogResults::PrimaryKeysShape() {
    return Join({ObjectName("TABLE"),
                 {Col("COLUMN_NAME", SQL_VARCHAR, false), Col("KEY_SEQ", SQL_SMALLINT, false),
                  Col("PK_NAME", SQL_VARCHAR)}});
}

std::vector<ColumnInfo> CatalogResults::StatisticsShape() {
    return Join({ObjectName("TABLE"),
                 {Col("NON_UNIQUE", SQL_SMALLINT), Col("INDEX_QUALIFIER", SQL_VARCHAR),
                  Col("INDEX_NAME", SQL_VARCHAR), Col("TYPE", SQL_SMALLINT, false),
                  Col("ORDINAL_POSITION", SQL_SMALLINT), Col("COLUMN_NAME", SQL_VARCHAR),
                  Col("ASC_OR_DESC", SQL_VARCHAR), Col("CARDINALITY", SQL_INTEGER),
                  Col("PAGES", SQL_INTEGER), Col("FILTER_CONDITION", SQL_VARCHAR)}});
}

std::vector<ColumnInfo> CatalogResults::SpecialColumnsShape() {
    return Join({{Col("SCOPE", SQL_SMALLINT), Col("COLUMN_NAME", SQL_VARCHAR, false)},
                 TypeColumns(),
                 {Col("PSEUDO_COLUMN", SQL_SMALLINT)}});
}

std::vector<ColumnInfo> CatalogResults::TypeInfoShape() {
    return {Col("TYPE_NAME", SQL_VARCHAR, false),
            Col("DATA_TYPE", SQL_SMALLINT, false),
            Col("COLUMN_SIZE", SQL_INTEGER),
            Col("LITERAL_PREFIX", SQL_VARCHAR),
            Col("LITERAL_SUFFIX", SQL_VARCHAR),
            Col("CREATE_PARAMS", SQL_VARCHAR),
            Col("NULLABLE", SQL_SMALLINT, false),
            Col("CASE_SENSITIVE", SQL_SMALLINT, false),
            Col("SEARCHABLE", SQL_SMALLINT, false),
            Col("UNSIGNED_ATTRIBUTE", SQL_SMALLINT),
            Col("FIXED_PREC_SCALE", SQL_SMALLINT, false),
            Col("AUTO_UNIQUE_VALUE", SQL_SMALLINT),
            Col("LOCAL_TYPE_NAME", SQL_VARCHAR),
            Col("MINIMUM_SCALE", SQL_SMALLINT),
            Col("MAXIMUM_SCALE", SQL_SMALLINT),
            Col("SQL_DATA_TYPE", SQL_SMALLINT, false),
            Col("SQL_DATETIME_SUB", SQL_SMALLINT),
            Col("NUM_PREC_RADIX", SQL_INTEGER),
            Col("INTERVAL_PRECISION", SQL_SMALLINT)};
}

std::vector<ColumnInfo> CatalogResults::ForeignKeysShape() {
    return Join({ObjectName("PKTABLE"),
                 {Col("PKCOLUMN_NAME", SQL_VARCHAR, false)},
                 ObjectName("FKTABLE"),
                 {Col("FKCOLUMN_NAME", SQL_VARCHAR, false), Col("KEY_SEQ", SQL_SMALLINT, false),
                  Col("UPDATE_RULE", SQL_SMALLINT), Col("DELETE_RULE", SQL_SMALLINT),
                  Col("FK_NAME", SQL_VARCHAR), Col("PK_NAME", SQL_VARCHAR),
                  Col("DEFERRABILITY", SQL_SMALLINT)}});
}

std::vector<ColumnInfo> CatalogResults::ProceduresShape() {
    return Join({ObjectName("PROCEDURE"),
                 {Col("NUM_INPUT_PARAMS", SQL_INTEGER), Col("NUM_OUTPUT_PARAMS", SQL_INTEGER),
                  Col("NUM_RESULT_SETS", SQL_INTEGER), Col("REMARKS", SQL_VARCHAR),
                  Col("PROCEDURE_TYPE", SQL_SMALLINT)}});
}

std::vector<ColumnInfo> CatalogResults::ProcedureColumnsShape() {
    return Join({ObjectName("PROCEDURE"),
                 {Col("COLUMN_NAME", SQL_VARCHAR, false), Col("COLUMN_TYPE", SQL_SMALLINT, false)},
                 TypeColumns(),
                 ColumnDetails()});
}

std::vector<Value> CatalogResults::ColumnRow(const ColumnInfo& c, const std::string& table,
                                             int ordinal) {
    const bool numeric = IsExactNumeric(c.sqlType) && c.sqlType != SQL_BIT;
    const bool approx = IsApproximate(c.sqlType);
    const bool chars = IsCharType(c.sqlType) || IsBinaryType(c.sqlType);
    const SQLSMALLINT sub = DatetimeSub(c.sqlType);
    std::vector<Value> row;
    row.push_back(Value::Null());
    row.push_back(Value::Null());
    row.push_back(Value::String(c.tableName.empty() ? table : c.tableName));
    row.push_back(Value::String(c.name));
    row.push_back(Value::Integer(c.sqlType));
    row.push_back(Value::String(c.typeName));
    row.push_back(Value::Integer(static_cast<int64_t>(c.columnSize)));
    row.push_back(Value::Integer(OctetLength(c)));
    row.push_back(numeric || IsDatetime(c.sqlType) ? Value::Integer(c.decimalDigits)
                                                   : Value::Null());
    row.push_back(numeric ? Value::Integer(10) : approx ? Value::Integer(2) : Value::Null());
    row.push_back(Value::Integer(c.nullable));
    row.push_back(Value::Null());
    row.push_back(Value::Null());
    row.push_back(Value::Integer(sub ? SQL_DATETIME : c.sqlType));
    row.push_back(sub ? Value::Integer(sub) : Value::Null());
    row.push_back(chars ? Value::Integer(OctetLength(c)) : Value::Null());
    row.push_back(Value::Integer(ordinal));
    row.push_back(Value::String(c.nullable == SQL_NO_NULLS   ? "NO"
                                : c.nullable == SQL_NULLABLE ? "YES"
                                                             : ""));
    return row;
}

std::vector<Value> CatalogResults::TypeRow(const TypeInfoRow& t, SQLSMALLINT reportedType) {
    const SQLSMALLINT sub = DatetimeSub(t.sqlType);
    const bool numeric = IsExactNumeric(t.sqlType) && t.sqlType != SQL_BIT;
    const bool approx = IsApproximate(t.sqlType);
    auto text = [](const char* s) { return s ? Value::String(s) : Value::Null(); };
    return {Value::String(t.name),
            Value::Integer(reportedType),
            Value::Integer(t.columnSize),
            text(t.literalPrefix),
            text(t.literalSuffix),
            text(t.createParams),
            Value::Integer(SQL_NULLABLE),
            Value::Integer(t.caseSensitive ? SQL_TRUE : SQL_FALSE),
            Value::Integer(t.searchable),
            numeric || approx ? Value::Integer(t.isUnsigned ? SQL_TRUE : SQL_FALSE) : Value::Null(),
            Value::Integer(SQL_FALSE),
            numeric ? Value::Integer(t.autoUnique ? SQL_TRUE : SQL_FALSE) : Value::Null(),
            Value::String(t.name),
            SmallOrNull(t.minimumScale, t.minimumScale >= 0),
            SmallOrNull(t.maximumScale, t.maximumScale >= 0),
            Value::Integer(sub ? SQL_DATETIME : reportedType),
            sub ? Value::Integer(sub) : Value::Null(),
            numeric  ? Value::Integer(10)
            : approx ? Value::Integer(2)
                     : Value::Null(),
            Value::Null()};
}

std::vector<Value> CatalogResults::SpecialColumnRow(const ColumnInfo& c) {
    return {Value::Integer(SQL_SCOPE_SESSION),
            Value::String(c.name),
            Value::Integer(c.sqlType),
            Value::String(c.typeName),
            Value::Integer(static_cast<int64_t>(c.columnSize)),
            Value::Integer(OctetLength(c)),
            IsExactNumeric(c.sqlType) || IsDatetime(c.sqlType) ? Value::Integer(c.decimalDigits)
                                                               : Value::Null(),
            Value::Integer(SQL_PC_NOT_PSEUDO)};
}

}  // namespace odbcdrv
