#include "drivers/common/handles/StmtHandle.h"

#include "drivers/common/base/FaultInjector.h"
#include "drivers/common/base/SqlStates.h"
#include "drivers/common/sql/EscapeSql.h"
#include "drivers/common/values/StringOut.h"
#include "drivers/common/values/TypeInfo.h"

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

StmtHandle::StmtHandle(DbcHandle& d) : DbcStatement(SQL_HANDLE_STMT), dbc(d) {
    dbc.statements.insert(this);
    metadataId_ = dbc.MetadataId();
}

StmtHandle::~StmtHandle() {
    DropEngineState();
    dbc.statements.erase(this);
}

void StmtHandle::CloseResults() {
    rows_.reset();
    columns_ = prepared_ ? Described(prepared_->Columns()) : std::vector<ColumnInfo>();
    rowset_.clear();
    forwardRows_.clear();
    pos_ = 0;
    getState_.clear();
    engineDone_ = false;
    fetched_ = 0;
    place_ = Place::BeforeStart;
    rowsetStart_ = 0;
    cache_.clear();
    cacheFirst_ = 0;
    cacheBytes_ = 0;
}

void StmtHandle::DropEngineState() {
    rows_.reset();
    pending_.reset();
    prepared_.reset();
    isPrepared_ = false;
    markerTypes_.clear();
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
    staticCursor_ = cursorType_ == SQL_CURSOR_STATIC;
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

void StmtHandle::Engine(const std::function<void()>& f) {
    ExecutingFlag flag(executing_);
    if (queryTimeout_ == 0) return f();
    Connection& conn = dbc.Conn();
    conn.StartTimeout(queryTimeout_);
    try {
        f();
    } catch (const DriverError&) {
        if (conn.StopTimeout())
            throw DriverError(state::kTimeout,
                              std::string(StateText(state::kTimeout)) +
                                  ": the statement ran longer than its query time-out of " +
                                  std::to_string(queryTimeout_) + " seconds and was cancelled.");
        throw;
    }
    conn.StopTimeout();
}

std::string StmtHandle::EngineText(const std::string& sql) {
    if (noScan_) return sql;
    return EscapeSql::Translate(sql, TheBackend().Escapes(),
                                [this](const std::string& name, const std::string& arguments) {
                                    return dbc.Conn().ProcedureCall(name, arguments);
                                });
}

void StmtHandle::CheckMarkers(size_t markers) const {
    // SQLNumParams counts in a SQLSMALLINT.
    if (markers > 32767)
        throw DriverError(state::kSyntaxError,
                          std::string(StateText(state::kSyntaxError)) + ": the statement has " +
                              std::to_string(markers) +
                              " parameter markers; at most 32767 are allowed.");
}

SQLRETURN StmtHandle::Run(const std::string& sql) {
    if (!dbc.Connected()) return Fail(state::kNotConnected);
    rowCount_ = -1;
    if (FaultInjector::ShouldFail(sql))
        return Fail(FaultInjector::State(), FaultInjector::Message());
    ExecResult r;
    Engine([&] { r = dbc.Conn().Execute(sql); });
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
    const std::string text = EngineText(sql);
    // Without parameters the text goes to the engine as it is, as the program
    // sends its statements; with them it is prepared, then executed per set.
    if (!params_.Any()) return Run(text);
    Engine([&] { prepared_ = dbc.Conn().Prepare(text); });
    CheckMarkers(prepared_->ParamCount());
    preparedSql_ = text;
    return StartExecution();
}

SQLRETURN StmtHandle::Prepare(const std::string& sql) {
    if (!Ready()) return SQL_ERROR;
    DropEngineState();
    if (!dbc.Connected()) return Fail(state::kNotConnected);
    rowCount_ = -1;
    const std::string text = EngineText(sql);
    std::unique_ptr<PreparedStatement> prepared;
    Engine([&] { prepared = dbc.Conn().Prepare(text); });
    CheckMarkers(prepared->ParamCount());
    prepared_ = std::move(prepared);
    preparedSql_ = text;
    isPrepared_ = true;
    columns_ = Described(prepared_->Columns());
    return SQL_SUCCESS;
}

SQLRETURN StmtHandle::Execute() {
    if (!Ready()) return SQL_ERROR;
    if (!isPrepared_ || !prepared_) return Fail(state::kSequenceError);
    return StartExecution();
}

SQLRETURN StmtHandle::BindCol(SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER target,
                              SQLLEN bufferLength, SQLLEN* indicator) {
    if (bufferLength < 0) return Fail(state::kInvalidBufferLength);
    if (column == 0) {
        if (useBookmarks_ == SQL_UB_OFF) return Fail(state::kInvalidDescriptorIndex);
        bookmarkBinding_ = Binding{cType, target, bufferLength, indicator};
        return SQL_SUCCESS;
    }
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
    // The attributes that shape a cursor cannot change while one is open.
    switch (attribute) {
        case SQL_ATTR_CONCURRENCY:
        case SQL_ATTR_CURSOR_TYPE:
        case SQL_ATTR_CURSOR_SCROLLABLE:
        case SQL_ATTR_CURSOR_SENSITIVITY:
        case SQL_ATTR_USE_BOOKMARKS:
        case SQL_ATTR_SIMULATE_CURSOR:
            if (rows_) return Fail(state::kInvalidCursorState);
            break;
        default:
            break;
    }
    switch (attribute) {
        case SQL_ATTR_CONCURRENCY:
            if (v != SQL_CONCUR_READ_ONLY && v != SQL_CONCUR_LOCK && v != SQL_CONCUR_ROWVER &&
                v != SQL_CONCUR_VALUES)
                return Fail(state::kInvalidValue);
            return v == SQL_CONCUR_READ_ONLY ? SQL_SUCCESS : Warn(state::kOptionChanged);
        case SQL_ATTR_CURSOR_TYPE:
            // Keyset-driven and dynamic cursors are served by a static one,
            // as ODBC orders the substitutes.
            if (v != SQL_CURSOR_FORWARD_ONLY && v != SQL_CURSOR_STATIC &&
                v != SQL_CURSOR_KEYSET_DRIVEN && v != SQL_CURSOR_DYNAMIC)
                return Fail(state::kInvalidValue);
            cursorType_ =
                v == SQL_CURSOR_FORWARD_ONLY ? SQL_CURSOR_FORWARD_ONLY : SQL_CURSOR_STATIC;
            return v == cursorType_ ? SQL_SUCCESS : Warn(state::kOptionChanged);
        case SQL_ATTR_CURSOR_SCROLLABLE:
            if (v != SQL_NONSCROLLABLE && v != SQL_SCROLLABLE) return Fail(state::kInvalidValue);
            cursorType_ = v == SQL_SCROLLABLE ? SQL_CURSOR_STATIC : SQL_CURSOR_FORWARD_ONLY;
            return SQL_SUCCESS;
        case SQL_ATTR_CURSOR_SENSITIVITY:
            if (v != SQL_UNSPECIFIED && v != SQL_INSENSITIVE && v != SQL_SENSITIVE)
                return Fail(state::kInvalidValue);
            // Every cursor of the driver is insensitive: a static one when
            // it scrolls.
            if (v == SQL_SENSITIVE) return Fail(state::kNotImplemented);
            sensitivity_ = v;
            return SQL_SUCCESS;
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
            return SetRowsetSize(v, rowArraySize_);
        case SQL_ROWSET_SIZE:
            return SetRowsetSize(v, rowsetSize2_);
        case SQL_ATTR_ROW_BIND_TYPE:
            rowBindType_ = v;
            return SQL_SUCCESS;
        case SQL_ATTR_ROW_BIND_OFFSET_PTR:
            rowBindOffset_ = static_cast<SQLULEN*>(value);
            return SQL_SUCCESS;
        case SQL_ATTR_ROW_OPERATION_PTR:
            rowOperationPtr_ = static_cast<SQLUSMALLINT*>(value);
            return SQL_SUCCESS;
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
            if (v != SQL_NOSCAN_OFF && v != SQL_NOSCAN_ON) return Fail(state::kInvalidValue);
            noScan_ = v == SQL_NOSCAN_ON;
            return SQL_SUCCESS;
        case SQL_ATTR_RETRIEVE_DATA:
            if (v != SQL_RD_ON && v != SQL_RD_OFF) return Fail(state::kInvalidValue);
            retrieveData_ = v;
            return SQL_SUCCESS;
        case SQL_ATTR_USE_BOOKMARKS:
            if (v != SQL_UB_OFF && v != SQL_UB_ON && v != SQL_UB_VARIABLE)
                return Fail(state::kInvalidValue);
            useBookmarks_ = v;
            if (v == SQL_UB_OFF) bookmarkBinding_ = Binding{};
            return SQL_SUCCESS;
        case SQL_ATTR_FETCH_BOOKMARK_PTR:
            fetchBookmarkPtr_ = value;
            return SQL_SUCCESS;
        case SQL_ATTR_SIMULATE_CURSOR:
            if (v != SQL_SC_NON_UNIQUE && v != SQL_SC_TRY_UNIQUE && v != SQL_SC_UNIQUE)
                return Fail(state::kInvalidValue);
            simulateCursor_ = v;
            return SQL_SUCCESS;
        case SQL_ATTR_KEYSET_SIZE:
            keysetSize_ = v;
            return SQL_SUCCESS;
        case SQL_ATTR_ASYNC_ENABLE:
            return v == SQL_ASYNC_ENABLE_OFF ? SQL_SUCCESS : Warn(state::kOptionChanged);
        case SQL_ATTR_ENABLE_AUTO_IPD:
            return v == SQL_FALSE ? SQL_SUCCESS : Warn(state::kOptionChanged);
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
            v = cursorType_;
            break;
        case SQL_ATTR_CURSOR_SCROLLABLE:
            v = cursorType_ == SQL_CURSOR_STATIC ? SQL_SCROLLABLE : SQL_NONSCROLLABLE;
            break;
        case SQL_ATTR_CURSOR_SENSITIVITY:
            v = sensitivity_;
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
            v = rowArraySize_;
            break;
        case SQL_ROWSET_SIZE:
            v = rowsetSize2_;
            break;
        case SQL_ATTR_ROW_BIND_TYPE:
            v = rowBindType_;
            break;
        case SQL_ATTR_ROW_BIND_OFFSET_PTR:
            v = reinterpret_cast<SQLULEN>(rowBindOffset_);
            break;
        case SQL_ATTR_ROW_OPERATION_PTR:
            v = reinterpret_cast<SQLULEN>(rowOperationPtr_);
            break;
        case SQL_ATTR_ROWS_FETCHED_PTR:
            v = reinterpret_cast<SQLULEN>(rowsFetchedPtr_);
            break;
        case SQL_ATTR_ROW_STATUS_PTR:
            v = reinterpret_cast<SQLULEN>(rowStatusPtr_);
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
            // The number of the current row in the result; 0 off a row.
            if (!rows_ || place_ != Place::OnRowset || rowset_.empty())
                return Fail(state::kInvalidCursorState);
            v = rowsetStart_ + pos_ + 1;
            break;
        case SQL_ATTR_NOSCAN:
            v = noScan_ ? SQL_NOSCAN_ON : SQL_NOSCAN_OFF;
            break;
        case SQL_ATTR_RETRIEVE_DATA:
            v = retrieveData_;
            break;
        case SQL_ATTR_USE_BOOKMARKS:
            v = useBookmarks_;
            break;
        case SQL_ATTR_FETCH_BOOKMARK_PTR:
            v = reinterpret_cast<SQLULEN>(fetchBookmarkPtr_);
            break;
        case SQL_ATTR_SIMULATE_CURSOR:
            v = simulateCursor_;
            break;
        case SQL_ATTR_KEYSET_SIZE:
            v = keysetSize_;
            break;
        case SQL_ATTR_ASYNC_ENABLE:
            v = SQL_ASYNC_ENABLE_OFF;
            break;
        case SQL_ATTR_ENABLE_AUTO_IPD:
            v = SQL_FALSE;
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
            bookmarkBinding_ = Binding{};
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
    std::unique_lock<std::mutex> turn(Turn(), std::try_to_lock);
    if (turn.owns_lock()) {
        // Nothing runs on the connection. An execution waiting for values at
        // execution time ends without running; an open cursor is closed, as
        // unixODBC takes a cancel of a statement at rest for SQLFreeStmt's
        // SQL_CLOSE (ODBC 2's rule) and lets the next execution through.
        pending_.reset();
        CloseResults();
        return SQL_SUCCESS;
    }
    cancelRequested_ = true;
    // The engine stops only this statement's own work. While it runs, its
    // call holds the turn, and the connection cannot end under it (a
    // disconnect is refused while this cancel holds its lease).
    if (executing_) dbc.Conn().Cancel();
    return SQL_SUCCESS;
}

void StmtHandle::Enter() {
    // A cancel that came while another statement had the connection's turn.
    if (cancelRequested_.exchange(false)) {
        pending_.reset();
        CloseResults();
    }
}

void StmtHandle::Leave(SQLRETURN rc) {
    // A cancel during this call: a fetch it stopped, or that found no more
    // rows, leaves the cursor closed, as the driver manager now has it.
    if (cancelRequested_.exchange(false) && rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO &&
        rc != SQL_NEED_DATA)
        CloseResults();
}

}  // namespace odbcdrv
