#include "drivers/access/AccessConnection.h"

#include <sys/stat.h>

#include "core/Cp1252.h"
#include "drivers/access/AccessError.h"
#include "drivers/access/AccessFunctions.h"
#include "drivers/access/AccessMeta.h"
#include "drivers/access/AccessSchema.h"
#include "drivers/access/AccessStatement.h"

namespace accessdrv {

namespace {

// How long a statement waits for another process that holds the file.
constexpr int kBusyTimeoutMs = 5000;

}  // namespace

AccessConnection::AccessConnection(const AccessConnectParams& params) {
    const std::string& path = params.path;
    const std::string& password = params.password;
    const bool create = params.create;
    struct stat st {};
    bool exists = ::stat(path.c_str(), &st) == 0;
    if (!exists && !create) throw AccessError::Make("08001", "Could not find file '" + path + "'.");
    if (exists && !S_ISREG(st.st_mode))
        throw AccessError::Make("08001", "'" + path + "' is not a database file.");
    int flags = SQLITE_OPEN_READWRITE | (exists ? 0 : SQLITE_OPEN_CREATE) | SQLITE_OPEN_FULLMUTEX;
    int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        std::string msg = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        sqlite3_close_v2(db_);
        db_ = nullptr;
        throw AccessError::Make(
            "08001", "Could not open the database '" + path + "' (SQLite: " + msg + ").", rc);
    }
    try {
        sqlite3_busy_timeout(db_, kBusyTimeoutMs);
        // Tamaro commits every statement on its own. Waiting for the disk at
        // each commit costs about 20 ms per row, so writes are left to the
        // operating system as Jet leaves them to its lazy writer. The rollback
        // journal stays, so a crash of the program never leaves half a
        // statement, and the file is consistent between statements for the
        // backup copies made while it is open.
        sqlite3_exec(db_, "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
        // Inside a transaction every insert into a table with a counter
        // keeps a statement journal (its trigger writes a second time), and
        // Debian's SQLite keeps such temporary data in files: hundreds of MB
        // of writes for a run of a thousand patients. It lives for one
        // statement and is small, so memory holds it.
        sqlite3_exec(db_, "PRAGMA temp_store=MEMORY", nullptr, nullptr, nullptr);
        sqlite3_extended_result_codes(db_, 1);
        AccessFunctions::Register(db_);
        if (!exists)
            AccessMeta::Create(db_, password);
        else
            AccessMeta::CheckPassword(db_, password, params.path1252);
    } catch (...) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
        if (!exists) ::unlink(path.c_str());
        throw;
    }
}

AccessConnection::~AccessConnection() {
    if (db_ && !sqlite3_get_autocommit(db_))
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db_);
}

void AccessConnection::BeginIfManual() {
    if (autocommit_) return;
    if (!sqlite3_get_autocommit(db_)) return;
    // SQLite ends a transaction by itself after some errors (a full disk, an
    // I/O error); the statements after it must not start a new one as if
    // nothing had been lost.
    if (began_)
        throw AccessError::Make("40001",
                                "The transaction was rolled back by the database engine after an "
                                "error; end it with a rollback.");
    if (int rc =
            sqlite3_exec(db_, immediate_ ? "BEGIN IMMEDIATE" : "BEGIN", nullptr, nullptr, nullptr);
        rc != SQLITE_OK)
        throw AccessError::FromSqlite(db_, rc);
    began_ = true;
}

odbcdrv::ExecResult AccessConnection::Execute(const std::string& sql1252) {
    AccessStatement stmt(
        *this, [this] { BeginIfManual(); }, db_, sql1252, false);
    if (stmt.ParamCount() > 0) throw odbcdrv::UnboundParameters(stmt.ParamCount(), 0);
    return stmt.Execute({});
}

std::unique_ptr<odbcdrv::PreparedStatement> AccessConnection::Prepare(const std::string& sql1252) {
    return std::make_unique<AccessStatement>(
        *this, [this] { BeginIfManual(); }, db_, sql1252, true);
}

std::vector<odbcdrv::IndexInfo> AccessConnection::Indexes(const std::string& table) {
    AccessSchema schema(db_);
    std::string stored = schema.StoredTableName(cp1252::ToUtf8(table));
    std::vector<odbcdrv::IndexInfo> out;
    if (stored.empty()) return out;
    for (const AccessIndex& index : schema.Indexes(stored)) {
        odbcdrv::IndexInfo info;
        info.name = cp1252::FromUtf8(index.name);
        info.unique = index.unique;
        info.primaryKey = index.primaryKey;
        info.descending = index.descending;
        for (const std::string& c : index.columns) info.columns.push_back(cp1252::FromUtf8(c));
        out.push_back(std::move(info));
    }
    return out;
}

std::vector<odbcdrv::ColumnInfo> AccessConnection::TableColumns(const std::string& table) {
    AccessSchema schema(db_);
    std::string stored = schema.StoredTableName(cp1252::ToUtf8(table));
    std::vector<odbcdrv::ColumnInfo> out;
    if (stored.empty()) return out;
    for (const ColumnDef& c : schema.Columns(stored)) {
        odbcdrv::ColumnInfo info;
        info.name = cp1252::FromUtf8(c.name);
        info.sqlType = c.type.SqlType();
        info.typeName = c.type.TypeName();
        info.columnSize = c.type.ColumnSize();
        info.decimalDigits = c.type.DecimalDigits();
        info.nullable = c.notNull ? SQL_NO_NULLS : SQL_NULLABLE;
        info.isUnsigned = c.type.IsUnsigned();
        info.tableName = cp1252::FromUtf8(stored);
        out.push_back(std::move(info));
    }
    return out;
}

std::vector<std::string> AccessConnection::TableNames() {
    std::vector<std::string> names = AccessSchema(db_).TableNames();
    for (std::string& n : names) n = cp1252::FromUtf8(n);
    return names;
}

void AccessConnection::SetAutocommit(bool on) {
    // Switching autocommit on commits the open transaction, as ODBC asks.
    if (on && !autocommit_ && (began_ || !sqlite3_get_autocommit(db_))) EndTransaction(true);
    autocommit_ = on;
    // A transaction the application ends itself must be on the disk when
    // its commit returns: it may be one of several that together make one
    // change.
    sqlite3_exec(db_, on ? "PRAGMA synchronous=OFF" : "PRAGMA synchronous=FULL", nullptr, nullptr,
                 nullptr);
}

void AccessConnection::SetIsolation(SQLUINTEGER level) {
    // SQLite's transactions are serializable whatever is asked; serializable
    // also takes the write lock at the start, so that no other writer comes
    // between this transaction's reads and its writes.
    immediate_ = level == SQL_TXN_SERIALIZABLE;
}

void AccessConnection::EndTransaction(bool commit) {
    const bool lost = began_ && sqlite3_get_autocommit(db_);
    began_ = false;
    if (lost && commit)
        throw AccessError::Make("40001",
                                "The transaction was rolled back by the database engine after an "
                                "error; nothing was committed.");
    if (sqlite3_get_autocommit(db_)) return;
    int rc = sqlite3_exec(db_, commit ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) throw AccessError::FromSqlite(db_, rc);
}

void AccessConnection::Cancel() {
    sqlite3_interrupt(db_);
}

bool AccessConnection::InTransaction() const {
    return !autocommit_ && (began_ || !sqlite3_get_autocommit(db_));
}

void AccessConnection::SetReadOnly(bool on) {
    // SQLite then refuses every change of data or schema with
    // SQLITE_READONLY.
    sqlite3_exec(db_, on ? "PRAGMA query_only=ON" : "PRAGMA query_only=OFF", nullptr, nullptr,
                 nullptr);
}

// Asked by SQLite every 1000 steps of the running statement: a non-zero
// answer interrupts it.
int AccessConnection::Progress(void* self) {
    auto* c = static_cast<AccessConnection*>(self);
    if (std::chrono::steady_clock::now() < c->deadline_) return 0;
    c->timedOut_ = true;
    return 1;
}

void AccessConnection::StartTimeout(SQLULEN seconds) {
    timedOut_ = false;
    deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    sqlite3_progress_handler(db_, 1000, &AccessConnection::Progress, this);
}

bool AccessConnection::StopTimeout() {
    sqlite3_progress_handler(db_, 0, nullptr, nullptr);
    const bool fired = timedOut_;
    timedOut_ = false;
    return fired;
}

}  // namespace accessdrv
