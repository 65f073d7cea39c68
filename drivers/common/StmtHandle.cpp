#include "common/StmtHandle.h"

#include "common/FaultInjector.h"
#include "common/SqlStates.h"
#include "common/StringOut.h"
#include "common/TypeInfo.h"

namespace odbcdrv {

namespace {

// Resets a flag when the execution ends, however it ends.
class ExecutingFlag {
  public:
    explicit ExecutingFlag(std::atomic<bool>& f) : f_(f) { f_ = true; }
    ~ExecutingFlag() { f_ = false; }

  private:
    std::atomic<bool>& f_;
};

}  // namespace

StmtHandle::StmtHandle(DbcHandle& d) : Handle(SQL_HANDLE_STMT), dbc(d) {
    dbc.statements.insert(this);
}

StmtHandle::~StmtHandle() {
    DropEngineState();
    dbc.statements.erase(this);
}

void StmtHandle::CloseResults() {
    rows_.reset();
    columns_ = prepared_ ? Described(prepared_->Columns()) : std::vector<ColumnInfo>();
    row_.clear();
    getState_.clear();
    onRow_ = false;
    atEnd_ = false;
    fetched_ = 0;
}

void StmtHandle::DropEngineState() {
    rows_.reset();
    pending_.reset();
    prepared_.reset();
    isPrepared_ = false;
    CloseResults();
}

std::vector<ColumnInfo> StmtHandle::Described(std::vector<ColumnInfo> columns) const {
    if (dbc.DescribesWide())
        for (ColumnInfo& c : columns) c.sqlType = WideCharType(c.sqlType);
    return columns;
}

void StmtHandle::SetResult(std::unique_ptr<ResultSet> rows) {
    CloseResults();
    rows_ = std::move(rows);
    columns_ = Described(rows_->Columns());
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

bool StmtHandle::Ready(bool cursorMayBeOpen) {
    if (pending_) {
        Fail(state::kSequenceError);
        return false;
    }
    if (!cursorMayBeOpen && rows_) {
        Fail(state::kInvalidCursorState);
        return false;
    }
    return true;
}

SQLRETURN StmtHandle::Run(const std::string& sql) {
    if (!dbc.Connected()) return Fail(state::kNotConnected);
    rowCount_ = -1;
    if (FaultInjector::ShouldFail(sql)) return Fail(FaultInjector::State(), FaultInjector::Message());
    ExecResult r;
    {
        ExecutingFlag flag(executing_);
        r = dbc.Conn().Execute(sql);
    }
    rowCount_ = r.rowCount;
    if (r.rows) {
        SetResult(std::move(r.rows));
        return SQL_SUCCESS;
    }
    if (r.searchedUpdateOrDelete && r.rowCount == 0) return SQL_NO_DATA;
    return SQL_SUCCESS;
}

SQLRETURN StmtHandle::ExecDirect(const std::string& sql) {
    if (!Ready()) return SQL_ERROR;
    DropEngineState();
    if (!dbc.Connected()) return Fail(state::kNotConnected);
    // Without parameters the text goes to the engine as it is, as the program
    // sends its statements; with them it is prepared, then executed per set.
    if (!params_.Any()) return Run(sql);
    prepared_ = dbc.Conn().Prepare(sql);
    preparedSql_ = sql;
    return StartExecution();
}

SQLRETURN StmtHandle::Prepare(const std::string& sql) {
    if (!Ready()) return SQL_ERROR;
    DropEngineState();
    if (!dbc.Connected()) return Fail(state::kNotConnected);
    rowCount_ = -1;
    prepared_ = dbc.Conn().Prepare(sql);
    preparedSql_ = sql;
    isPrepared_ = true;
    columns_ = Described(prepared_->Columns());
    return SQL_SUCCESS;
}

SQLRETURN StmtHandle::Execute() {
    if (!Ready()) return SQL_ERROR;
    if (!isPrepared_ || !prepared_) return Fail(state::kSequenceError);
    return StartExecution();
}

SQLRETURN StmtHandle::FetchScroll(SQLSMALLINT orientation) {
    // The cursor moves forward only.
    if (orientation != SQL_FETCH_NEXT) return Fail(state::kFetchTypeOutOfRange);
    return Fetch();
}

SQLRETURN StmtHandle::Fetch() {
    if (pending_) return Fail(state::kSequenceError);
    if (!rows_) return Fail(state::kInvalidCursorState);
    getState_.assign(columns_.size(), GetDataState{});
    if (atEnd_ || (maxRows_ > 0 && fetched_ >= maxRows_)) {
        onRow_ = false;
        atEnd_ = true;
    } else {
        ExecutingFlag flag(executing_);  // fetching runs the query too: it can be cancelled
        onRow_ = rows_->Next(row_);
        atEnd_ = !onRow_;
        if (onRow_) ++fetched_;
    }
    if (rowsFetchedPtr_) *rowsFetchedPtr_ = onRow_ ? 1 : 0;
    if (!onRow_) return SQL_NO_DATA;
    if (rowStatusPtr_) *rowStatusPtr_ = SQL_ROW_SUCCESS;
    SQLRETURN rc = SQL_SUCCESS;
    for (size_t i = 0; i < bindings_.size() && i < row_.size(); ++i) {
        const Binding& b = bindings_[i];
        if (!b.target && !b.indicator) continue;
        GetDataState st;
        SQLRETURN r = ValueConverter::Deliver(row_[i], columns_[i], b.cType, b.target,
                                              b.bufferLength, b.indicator, st, diag, Charset());
        if (r == SQL_ERROR)
            rc = SQL_ERROR;
        else if (r == SQL_SUCCESS_WITH_INFO && rc == SQL_SUCCESS)
            rc = SQL_SUCCESS_WITH_INFO;
    }
    return rc;
}

SQLRETURN StmtHandle::GetData(SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER target,
                              SQLLEN bufferLength, SQLLEN* indicator) {
    if (pending_) return Fail(state::kSequenceError);
    if (!rows_ || !onRow_) return Fail(state::kInvalidCursorState);
    const ColumnInfo* col = Column(column);
    if (!col) return SQL_ERROR;
    // Reading another column starts the pieces of this one afresh.
    for (size_t i = 0; i < getState_.size(); ++i)
        if (i != column - 1u) getState_[i] = GetDataState{};
    return ValueConverter::Deliver(row_[column - 1], *col, cType, target, bufferLength, indicator,
                                   getState_[column - 1], diag, Charset());
}

SQLRETURN StmtHandle::BindCol(SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER target,
                              SQLLEN bufferLength, SQLLEN* indicator) {
    if (column < 1) return Fail(state::kInvalidDescriptorIndex);
    if (bindings_.size() < column) bindings_.resize(column);
    bindings_[column - 1] = Binding{cType, target, bufferLength, indicator};
    return SQL_SUCCESS;
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

SQLRETURN StmtHandle::RowCount(SQLLEN* count) {
    if (!count) return Fail(state::kInvalidNullPointer);
    *count = rowCount_;
    return SQL_SUCCESS;
}

SQLRETURN StmtHandle::SetAttr(SQLINTEGER attribute, SQLPOINTER value) {
    auto v = static_cast<SQLULEN>(reinterpret_cast<SQLLEN>(value));
    switch (attribute) {
        case SQL_ATTR_CONCURRENCY:
            return v == SQL_CONCUR_READ_ONLY ? SQL_SUCCESS : Warn(state::kOptionChanged);
        case SQL_ATTR_CURSOR_TYPE:
            return v == SQL_CURSOR_FORWARD_ONLY ? SQL_SUCCESS : Warn(state::kOptionChanged);
        case SQL_ATTR_CURSOR_SCROLLABLE:
            return v == SQL_NONSCROLLABLE ? SQL_SUCCESS : Warn(state::kOptionChanged);
        case SQL_ATTR_CURSOR_SENSITIVITY:
            return v == SQL_UNSPECIFIED || v == SQL_INSENSITIVE ? SQL_SUCCESS
                                                                : Warn(state::kOptionChanged);
        case SQL_ATTR_QUERY_TIMEOUT:
            queryTimeout_ = v;
            return SQL_SUCCESS;
        case SQL_ATTR_MAX_ROWS:
            maxRows_ = v;
            return SQL_SUCCESS;
        case SQL_ATTR_MAX_LENGTH:
            maxLength_ = v;
            return SQL_SUCCESS;
        case SQL_ATTR_ROW_ARRAY_SIZE:
        case SQL_ROWSET_SIZE:
            return v == 1 ? SQL_SUCCESS : Warn(state::kOptionChanged);
        case SQL_ATTR_PARAMSET_SIZE:
            if (v < 1) return Fail(state::kInvalidValue);
            params_.setSize = v;
            return SQL_SUCCESS;
        case SQL_ATTR_PARAM_BIND_TYPE:
            params_.bindType = v;
            return SQL_SUCCESS;
        case SQL_ATTR_PARAM_BIND_OFFSET_PTR:
            params_.bindOffset = static_cast<SQLULEN*>(value);
            return SQL_SUCCESS;
        case SQL_ATTR_PARAMS_PROCESSED_PTR:
            params_.processed = static_cast<SQLULEN*>(value);
            return SQL_SUCCESS;
        case SQL_ATTR_PARAM_STATUS_PTR:
            params_.statusArray = static_cast<SQLUSMALLINT*>(value);
            return SQL_SUCCESS;
        case SQL_ATTR_PARAM_OPERATION_PTR:
            params_.operationArray = static_cast<SQLUSMALLINT*>(value);
            return SQL_SUCCESS;
        case SQL_ATTR_METADATA_ID:
            metadataId_ = v == SQL_TRUE;
            return SQL_SUCCESS;
        case SQL_ATTR_ROWS_FETCHED_PTR:
            rowsFetchedPtr_ = static_cast<SQLULEN*>(value);
            return SQL_SUCCESS;
        case SQL_ATTR_ROW_STATUS_PTR:
            rowStatusPtr_ = static_cast<SQLUSMALLINT*>(value);
            return SQL_SUCCESS;
        case SQL_ATTR_NOSCAN:
        case SQL_ATTR_RETRIEVE_DATA:
        case SQL_ATTR_ROW_BIND_TYPE:
        case SQL_ATTR_ASYNC_ENABLE:
        case SQL_ATTR_ENABLE_AUTO_IPD:
        case SQL_ATTR_ROW_BIND_OFFSET_PTR:
        case SQL_ATTR_ROW_OPERATION_PTR:
        case SQL_ATTR_USE_BOOKMARKS:
        case SQL_ATTR_SIMULATE_CURSOR:
        case SQL_ATTR_KEYSET_SIZE:
            return SQL_SUCCESS;
        default:
            return Fail(state::kInvalidAttribute);
    }
}

SQLRETURN StmtHandle::GetAttr(SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER,
                              SQLINTEGER* length) {
    SQLULEN v;
    switch (attribute) {
        case SQL_ATTR_CONCURRENCY:
            v = SQL_CONCUR_READ_ONLY;
            break;
        case SQL_ATTR_CURSOR_TYPE:
            v = SQL_CURSOR_FORWARD_ONLY;
            break;
        case SQL_ATTR_CURSOR_SCROLLABLE:
            v = SQL_NONSCROLLABLE;
            break;
        case SQL_ATTR_CURSOR_SENSITIVITY:
            v = SQL_INSENSITIVE;
            break;
        case SQL_ATTR_QUERY_TIMEOUT:
            v = queryTimeout_;
            break;
        case SQL_ATTR_MAX_ROWS:
            v = maxRows_;
            break;
        case SQL_ATTR_MAX_LENGTH:
            v = maxLength_;
            break;
        case SQL_ATTR_ROW_ARRAY_SIZE:
        case SQL_ROWSET_SIZE:
            v = 1;
            break;
        case SQL_ATTR_PARAMSET_SIZE:
            v = params_.setSize;
            break;
        case SQL_ATTR_PARAM_BIND_TYPE:
            v = params_.bindType;
            break;
        case SQL_ATTR_PARAM_BIND_OFFSET_PTR:
            v = reinterpret_cast<SQLULEN>(params_.bindOffset);
            break;
        case SQL_ATTR_PARAMS_PROCESSED_PTR:
            v = reinterpret_cast<SQLULEN>(params_.processed);
            break;
        case SQL_ATTR_PARAM_STATUS_PTR:
            v = reinterpret_cast<SQLULEN>(params_.statusArray);
            break;
        case SQL_ATTR_PARAM_OPERATION_PTR:
            v = reinterpret_cast<SQLULEN>(params_.operationArray);
            break;
        case SQL_ATTR_METADATA_ID:
            v = metadataId_ ? SQL_TRUE : SQL_FALSE;
            break;
        case SQL_ATTR_ROW_NUMBER:
            v = 0;
            break;
        case SQL_ATTR_NOSCAN:
        case SQL_ATTR_ASYNC_ENABLE:
        case SQL_ATTR_USE_BOOKMARKS:
        case SQL_ATTR_ROW_BIND_TYPE:
            v = 0;
            break;
        case SQL_ATTR_RETRIEVE_DATA:
            v = SQL_RD_ON;
            break;
        default:
            return Fail(state::kInvalidAttribute);
    }
    if (value) *static_cast<SQLULEN*>(value) = v;
    if (length) *length = sizeof v;
    return SQL_SUCCESS;
}

SQLRETURN StmtHandle::FreeStmt(SQLUSMALLINT option) {
    switch (option) {
        case SQL_CLOSE:
            CloseResults();
            return SQL_SUCCESS;
        case SQL_UNBIND:
            bindings_.clear();
            return SQL_SUCCESS;
        case SQL_RESET_PARAMS:
            params_.Clear();
            return SQL_SUCCESS;
        default:
            return Fail(state::kInvalidAttribute);
    }
}

SQLRETURN StmtHandle::CloseCursor() {
    if (pending_) return Fail(state::kSequenceError);
    if (!rows_) return Fail(state::kInvalidCursorState);
    CloseResults();
    return SQL_SUCCESS;
}

SQLRETURN StmtHandle::MoreResults() {
    // Every execution yields at most one result.
    CloseResults();
    return SQL_NO_DATA;
}

SQLRETURN StmtHandle::Cancel() {
    // An execution waiting for values at execution time ends without running.
    if (pending_) {
        pending_.reset();
        return SQL_SUCCESS;
    }
    // Without an execution running in another thread there is nothing to stop.
    if (executing_ && dbc.Connected()) dbc.Conn().Cancel();
    return SQL_SUCCESS;
}

}  // namespace odbcdrv
