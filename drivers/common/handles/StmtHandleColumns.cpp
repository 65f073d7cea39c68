// The result description of StmtHandle: the columns of the current result
// set or of the prepared statement, as SQLNumResultCols, SQLDescribeCol and
// SQLColAttribute give them.
#include "drivers/common/base/SqlStates.h"
#include "drivers/common/handles/StmtHandle.h"
#include "drivers/common/values/StringOut.h"
#include "drivers/common/values/TypeInfo.h"

namespace odbcdrv {

std::vector<ColumnInfo> StmtHandle::Described(std::vector<ColumnInfo> columns) const {
    if (dbc.DescribesWide())
        for (ColumnInfo& c : columns) c.sqlType = WideCharType(c.sqlType);
    return columns;
}

const ColumnInfo* StmtHandle::Column(SQLUSMALLINT column) {
    if (!rows_ && !prepared_) {
        Fail(state::kSequenceError);
        return nullptr;
    }
    if (column < 1 || column > columns_.size()) {
        Fail(state::kInvalidDescriptorIndex);
        return nullptr;
    }
    return &columns_[column - 1];
}

SQLRETURN StmtHandle::NumResultCols(SQLSMALLINT* count) {
    if (!count) return Fail(state::kInvalidNullPointer);
    if (pending_) return Fail(state::kSequenceError);
    *count = static_cast<SQLSMALLINT>(columns_.size());
    return SQL_SUCCESS;
}

SQLRETURN StmtHandle::DescribeCol(SQLUSMALLINT column, SQLPOINTER name, SQLSMALLINT bufferLength,
                                  SQLSMALLINT* nameLength, SQLSMALLINT* dataType,
                                  SQLULEN* columnSize, SQLSMALLINT* decimalDigits,
                                  SQLSMALLINT* nullable, TextForm form) {
    const ColumnInfo* col = Column(column);
    if (!col) return SQL_ERROR;
    if (dataType) *dataType = col->sqlType;
    if (columnSize) *columnSize = col->columnSize;
    if (decimalDigits) *decimalDigits = col->decimalDigits;
    if (nullable) *nullable = col->nullable;
    return CopyOut(col->name, name, bufferLength, nameLength, diag, form);
}

SQLRETURN StmtHandle::ColAttribute(SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER charValue,
                                   SQLSMALLINT bufferLength, SQLSMALLINT* stringLength,
                                   SQLLEN* numericValue, TextForm form) {
    if (field == SQL_DESC_COUNT || field == SQL_COLUMN_COUNT) {
        if (numericValue) *numericValue = static_cast<SQLLEN>(columns_.size());
        return SQL_SUCCESS;
    }
    const ColumnInfo* col = Column(column);
    if (!col) return SQL_ERROR;
    auto text = [&](const std::string& s) {
        return CopyOut(s, charValue, bufferLength, stringLength, diag, form);
    };
    SQLLEN n = 0;
    switch (field) {
        case SQL_DESC_NAME:
        case SQL_DESC_LABEL:
        case SQL_COLUMN_NAME:
            return text(col->name);
        case SQL_DESC_BASE_COLUMN_NAME:
            return text(col->baseName.empty() ? col->name : col->baseName);
        case SQL_DESC_TYPE_NAME:
            return text(col->typeName);
        case SQL_DESC_TABLE_NAME:
        case SQL_DESC_BASE_TABLE_NAME:
            return text(col->tableName);
        case SQL_DESC_CATALOG_NAME:
        case SQL_DESC_SCHEMA_NAME:
        case SQL_DESC_LITERAL_PREFIX:
        case SQL_DESC_LITERAL_SUFFIX:
        case SQL_DESC_LOCAL_TYPE_NAME:
            return text(field == SQL_DESC_LITERAL_PREFIX || field == SQL_DESC_LITERAL_SUFFIX
                            ? (IsCharType(col->sqlType) ? "'" : "")
                            : "");
        case SQL_DESC_CONCISE_TYPE:  // also SQL_COLUMN_TYPE
            n = col->sqlType;
            break;
        case SQL_DESC_TYPE:
            n = IsDatetime(col->sqlType) ? SQL_DATETIME : col->sqlType;
            break;
        case SQL_DESC_DATETIME_INTERVAL_CODE:
            n = col->sqlType == SQL_TYPE_DATE        ? SQL_CODE_DATE
                : col->sqlType == SQL_TYPE_TIME      ? SQL_CODE_TIME
                : col->sqlType == SQL_TYPE_TIMESTAMP ? SQL_CODE_TIMESTAMP
                                                     : 0;
            break;
        case SQL_DESC_LENGTH:
        case SQL_COLUMN_LENGTH:
        case SQL_COLUMN_PRECISION:
        case SQL_DESC_PRECISION:
            n = static_cast<SQLLEN>(col->columnSize);
            if (field == SQL_COLUMN_LENGTH) n = OctetLength(*col);
            break;
        case SQL_DESC_OCTET_LENGTH:
            n = OctetLength(*col);
            break;
        case SQL_DESC_DISPLAY_SIZE:
            n = DisplaySize(*col);
            break;
        case SQL_DESC_SCALE:
        case SQL_COLUMN_SCALE:
            n = col->decimalDigits;
            break;
        case SQL_DESC_NULLABLE:
        case SQL_COLUMN_NULLABLE:
            n = col->nullable;
            break;
        case SQL_DESC_UNSIGNED:
            n = (IsExactNumeric(col->sqlType) || col->sqlType == SQL_REAL ||
                 col->sqlType == SQL_FLOAT || col->sqlType == SQL_DOUBLE) &&
                        !col->isUnsigned
                    ? SQL_FALSE
                    : SQL_TRUE;
            break;
        case SQL_DESC_FIXED_PREC_SCALE:
            n = SQL_FALSE;
            break;
        case SQL_DESC_AUTO_UNIQUE_VALUE:
            n = SQL_FALSE;
            break;
        case SQL_DESC_CASE_SENSITIVE:
            n = IsCharType(col->sqlType) ? SQL_TRUE : SQL_FALSE;
            break;
        case SQL_DESC_SEARCHABLE:
            n = col->sqlType == SQL_LONGVARCHAR || col->sqlType == SQL_LONGVARBINARY
                    ? SQL_PRED_CHAR
                    : SQL_PRED_SEARCHABLE;
            break;
        case SQL_DESC_UPDATABLE:
            n = SQL_ATTR_READWRITE_UNKNOWN;
            break;
        case SQL_DESC_NUM_PREC_RADIX:
            n = IsExactNumeric(col->sqlType) ? 10
                : (col->sqlType == SQL_REAL || col->sqlType == SQL_FLOAT ||
                   col->sqlType == SQL_DOUBLE)
                    ? 2
                    : 0;
            break;
        case SQL_DESC_UNNAMED:
            n = col->name.empty() ? SQL_UNNAMED : SQL_NAMED;
            break;
        default:
            return Fail(state::kInvalidDescriptorField);
    }
    if (numericValue) *numericValue = n;
    return SQL_SUCCESS;
}

}  // namespace odbcdrv
