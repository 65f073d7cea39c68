// The life of StmtHandle and its executions: preparing and running a
// statement under its query time-out, its result set, freeing, closing and
// cancelling.
#include "drivers/common/handles/StmtHandle.h"

#include "drivers/common/base/FaultInjector.h"
#include "drivers/common/base/SqlStates.h"
#include "drivers/common/sql/EscapeSql.h"

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

void StmtHandle::SetResult(std::unique_ptr<ResultSet> rows) {
    CloseResults();
    rows_ = std::move(rows);
    columns_ = Described(rows_->Columns());
    staticCursor_ = cursorType_ == SQL_CURSOR_STATIC;
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

SQLRETURN StmtHandle::RowCount(SQLLEN* count) {
    if (!count) return Fail(state::kInvalidNullPointer);
    *count = rowCount_;
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
