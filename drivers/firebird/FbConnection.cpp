#include "firebird/FbConnection.h"

#include "core/AsciiText.h"
#include "drivers/common/sql/MemoryResultSet.h"
#include "firebird/FbAlterTable.h"
#include "firebird/FbParamMessage.h"
#include "firebird/FbResultSet.h"
#include "firebird/FbRowReader.h"
#include "firebird/FbTypes.h"

namespace fbdrv {

using odbcdrv::ColumnInfo;
using odbcdrv::ExecResult;
using odbcdrv::Value;

namespace {

using asciitext::EscapeQuotes;

// Ends a transaction after a failure; a transaction that cannot even be
// rolled back is only released.
void Abandon(Firebird::ITransaction* tx) {
    try {
        FbStatus st;
        tx->rollback(&st);
    } catch (const Firebird::FbException&) {
        tx->release();
    }
}

}  // namespace

// A writer waits for a conflicting lock at most a minute instead of hanging
// the program.
constexpr int kLockTimeoutSeconds = 60;

FbConnection::FbConnection(Firebird::IAttachment* attachment)
    : att_(attachment), precision_([this](const std::string& table, const std::string& column) {
          return Precision(table, column);
      }) {
    try {
        BuildTpb();
    } catch (...) {
        att_->release();
        throw;
    }
}

// Read committed with record versions (the default), so that readers never
// wait for writers; repeatable read is the engine's snapshot; serializable is
// its snapshot with table stability: a table the transaction has touched
// cannot be changed by another transaction until this one ends, so that rows
// read, copied and deleted in one transaction stay exactly those rows.
void FbConnection::BuildTpb() {
    FbStatus st;
    Firebird::IXpbBuilder* b = Util()->getXpbBuilder(&st, Firebird::IXpbBuilder::TPB, nullptr, 0);
    try {
        b->insertTag(&st, readOnly_ ? isc_tpb_read : isc_tpb_write);
        if (isolation_ == SQL_TXN_SERIALIZABLE) {
            b->insertTag(&st, isc_tpb_consistency);
        } else if (isolation_ == SQL_TXN_REPEATABLE_READ) {
            b->insertTag(&st, isc_tpb_concurrency);
        } else {
            b->insertTag(&st, isc_tpb_read_committed);
            b->insertTag(&st, isc_tpb_rec_version);
        }
        b->insertTag(&st, isc_tpb_wait);
        b->insertInt(&st, isc_tpb_lock_timeout, kLockTimeoutSeconds);
        const unsigned char* p = b->getBuffer(&st);
        tpb_.assign(p, p + b->getBufferLength(&st));
    } catch (...) {
        b->dispose();
        throw;
    }
    b->dispose();
}

void FbConnection::SetIsolation(SQLUINTEGER level) {
    if (level == isolation_) return;
    isolation_ = level;
    try {
        BuildTpb();
    } catch (const Firebird::FbException& e) {
        throw ToDriverError(e);
    }
}

Firebird::ITransaction* FbConnection::Begin() {
    FbStatus st;
    return att_->startTransaction(&st, static_cast<unsigned>(tpb_.size()), tpb_.data());
}

FbConnection::~FbConnection() {
    if (watchdog_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(watchMutex_);
            watchEnd_ = true;
        }
        watchWake_.notify_all();
        watchdog_.join();
    }
    if (tx_) Abandon(tx_);
    try {
        FbStatus st;
        att_->detach(&st);
    } catch (const Firebird::FbException&) {
        att_->release();
    }
}

Firebird::ITransaction* FbConnection::SharedTransaction() {
    if (!tx_) tx_ = Begin();
    return tx_;
}

// Engine errors come out as DriverErrors; with autocommit a failure ends the
// statement's own transaction.
template <class Body>
auto FbConnection::WithTransaction(Body&& body) {
    Firebird::ITransaction* tx = nullptr;
    try {
        tx = autocommit_ ? Begin() : SharedTransaction();
        return body(tx);
    } catch (const Firebird::FbException& e) {
        if (autocommit_ && tx) Abandon(tx);
        throw ToDriverError(e);
    } catch (...) {
        if (autocommit_ && tx) Abandon(tx);
        throw;
    }
}

ExecResult FbConnection::Execute(const std::string& sql) {
    return WithTransaction([&](Firebird::ITransaction* tx) {
        FbStatement stmt(StatementExecutor(), att_, tx, AcceptAlterTableForms(sql), precision_);
        if (stmt.ParamCount() > 0) throw odbcdrv::UnboundParameters(stmt.ParamCount(), 0);
        return Run(stmt, tx, {}, true);
    });
}

std::unique_ptr<odbcdrv::PreparedStatement> FbConnection::Prepare(const std::string& sql) {
    return WithTransaction(
        [&](Firebird::ITransaction* tx) -> std::unique_ptr<odbcdrv::PreparedStatement> {
            auto stmt = std::make_unique<FbStatement>(StatementExecutor(), att_, tx,
                                                      AcceptAlterTableForms(sql), precision_);
            if (autocommit_) {
                FbStatus st;
                tx->commit(&st);
            }
            return stmt;
        });
}

FbStatement::Executor FbConnection::StatementExecutor() {
    return [this](FbStatement& stmt, const std::vector<Value>& params) {
        return ExecutePrepared(stmt, params);
    };
}

ExecResult FbConnection::ExecutePrepared(FbStatement& stmt, const std::vector<Value>& params) {
    return WithTransaction(
        [&](Firebird::ITransaction* tx) { return Run(stmt, tx, params, false); });
}

// On failure the caller ends an autocommit transaction.
ExecResult FbConnection::Run(FbStatement& stmt, Firebird::ITransaction* tx,
                             const std::vector<Value>& params, bool handOver) {
    FbStatus st;
    const unsigned type = stmt.Type();
    std::vector<Value> values = stmt.EngineValues(params);
    std::unique_ptr<FbParamMessage> input;
    if (!values.empty()) input = std::make_unique<FbParamMessage>(att_, tx, stmt.Input(), values);
    Firebird::IMessageMetadata* inMeta = input ? input->Metadata() : nullptr;
    unsigned char* inBuffer = input ? input->Buffer() : nullptr;
    Firebird::IMessageMetadata* meta = stmt.Output();
    ExecResult r;

    if (type == isc_info_sql_stmt_select || type == isc_info_sql_stmt_select_for_upd) {
        Firebird::IResultSet* cursor =
            stmt.Statement()->openCursor(&st, tx, inMeta, inBuffer, meta, 0);
        meta->addRef();
        try {
            r.rows = std::make_unique<FbResultSet>(att_, stmt.Statement(), handOver, cursor, meta,
                                                   tx, autocommit_, &precision_);
        } catch (...) {
            meta->release();
            cursor->release();
            throw;
        }
        if (handOver) stmt.Release();
        return r;
    }

    if (type == isc_info_sql_stmt_commit || type == isc_info_sql_stmt_rollback ||
        type == isc_info_sql_stmt_start_trans) {
        // Transactions are the driver's business: COMMIT and ROLLBACK act on
        // the shared transaction, and with autocommit there is none pending.
        if (autocommit_) {
            tx->commit(&st);
        } else if (type != isc_info_sql_stmt_start_trans) {
            tx_ = nullptr;
            if (type == isc_info_sql_stmt_commit)
                tx->commit(&st);
            else
                tx->rollback(&st);
        }
        return r;
    }

    if (meta->getCount(&st) > 0) {
        // A statement that returns one row (RETURNING, EXECUTE PROCEDURE).
        FbRowReader reader(att_, meta);
        std::vector<unsigned char> buffer(reader.MessageLength());
        stmt.Statement()->execute(&st, tx, inMeta, inBuffer, meta, buffer.data());
        auto rows = std::make_unique<odbcdrv::MemoryResultSet>(reader.Columns());
        std::vector<Value> row;
        reader.Decode(buffer.data(), tx, row);
        rows->AddRow(std::move(row));
        r.rows = std::move(rows);
    } else {
        stmt.Statement()->execute(&st, tx, inMeta, inBuffer, nullptr, nullptr);
    }
    if (type == isc_info_sql_stmt_insert || type == isc_info_sql_stmt_update ||
        type == isc_info_sql_stmt_delete)
        r.rowCount = static_cast<SQLLEN>(stmt.Statement()->getAffectedRecords(&st));
    r.searchedUpdateOrDelete = type == isc_info_sql_stmt_update || type == isc_info_sql_stmt_delete;
    if (type == isc_info_sql_stmt_ddl) precisions_.clear();
    if (autocommit_) tx->commit(&st);
    return r;
}

SQLULEN FbConnection::Precision(const std::string& table, const std::string& column) {
    auto known = precisions_.find(table);
    if (known == precisions_.end()) {
        ExecResult r = Execute(
            "select trim(rf.rdb$field_name), f.rdb$field_precision from rdb$relation_fields rf "
            "join rdb$fields f on f.rdb$field_name = rf.rdb$field_source "
            "where rf.rdb$relation_name = '" +
            EscapeQuotes(table) + "' and f.rdb$field_precision is not null");
        std::map<std::string, SQLULEN> columns;
        std::vector<Value> row;
        while (r.rows && r.rows->Next(row))
            columns[row[0].s] = static_cast<SQLULEN>(row[1].i > 0 ? row[1].i : 0);
        known = precisions_.emplace(table, std::move(columns)).first;
    }
    auto c = known->second.find(column);
    return c == known->second.end() ? 0 : c->second;
}

std::vector<std::string> FbConnection::TableNames() {
    ExecResult r = Execute(
        "select trim(rdb$relation_name) from rdb$relations "
        "where coalesce(rdb$system_flag, 0) = 0 and rdb$view_blr is null order by 1");
    std::vector<std::string> names;
    std::vector<Value> row;
    while (r.rows && r.rows->Next(row)) names.push_back(row[0].s);
    return names;
}

std::vector<std::string> FbConnection::ViewNames() {
    ExecResult r = Execute(
        "select trim(rdb$relation_name) from rdb$relations "
        "where coalesce(rdb$system_flag, 0) = 0 and rdb$view_blr is not null order by 1");
    std::vector<std::string> names;
    std::vector<Value> row;
    while (r.rows && r.rows->Next(row)) names.push_back(row[0].s);
    return names;
}

std::vector<odbcdrv::IndexInfo> FbConnection::Indexes(const std::string& table) {
    ExecResult r = Execute(
        "select trim(i.rdb$index_name), coalesce(i.rdb$unique_flag, 0), "
        "coalesce(i.rdb$index_type, 0), trim(s.rdb$field_name), trim(c.rdb$constraint_type) "
        "from rdb$indices i "
        "left join rdb$index_segments s on s.rdb$index_name = i.rdb$index_name "
        "left join rdb$relation_constraints c on c.rdb$index_name = i.rdb$index_name "
        "where upper(trim(i.rdb$relation_name)) = upper('" +
        EscapeQuotes(table) +
        "') and coalesce(i.rdb$index_inactive, 0) = 0 "
        "order by 1, s.rdb$field_position");
    std::vector<odbcdrv::IndexInfo> indexes;
    std::vector<Value> row;
    while (r.rows && r.rows->Next(row)) {
        if (indexes.empty() || indexes.back().name != row[0].s) {
            odbcdrv::IndexInfo index;
            index.name = row[0].s;
            index.unique = row[1].i == 1;
            index.descending = row[2].i == 1;
            index.primaryKey = !row[4].IsNull() && row[4].s == "PRIMARY KEY";
            indexes.push_back(std::move(index));
        }
        // An index on an expression has no segments.
        if (!row[3].IsNull()) indexes.back().columns.push_back(row[3].s);
    }
    return indexes;
}

std::vector<ColumnInfo> FbConnection::TableColumns(const std::string& table) {
    std::string sql =
        "select trim(rf.rdb$relation_name), trim(rf.rdb$field_name), f.rdb$field_type, "
        "coalesce(f.rdb$field_sub_type, 0), coalesce(f.rdb$field_scale, 0), "
        "coalesce(f.rdb$field_precision, 0), "
        "coalesce(f.rdb$character_length, f.rdb$field_length), "
        "coalesce(rf.rdb$null_flag, f.rdb$null_flag, 0), coalesce(f.rdb$character_set_id, 0) "
        "from rdb$relation_fields rf join rdb$fields f on f.rdb$field_name = rf.rdb$field_source "
        "where upper(trim(rf.rdb$relation_name)) = upper('" +
        EscapeQuotes(table) + "') order by rf.rdb$field_position";
    ExecResult r = Execute(sql);
    std::vector<ColumnInfo> cols;
    std::vector<Value> row;
    while (r.rows && r.rows->Next(row)) {
        ColumnInfo c;
        c.tableName = row[0].s;
        c.name = row[1].s;
        c.baseName = c.name;
        int64_t type = row[2].i, sub = row[3].i, scale = row[4].i, precision = row[5].i;
        int64_t chars = row[6].i;
        c.nullable = row[7].i ? SQL_NO_NULLS : SQL_NULLABLE;
        DescribeType(MessageTypeOfField(type), static_cast<int>(sub), static_cast<int>(scale),
                     static_cast<unsigned>(row[8].i), static_cast<SQLULEN>(chars), c);
        // A scaled column reports the precision it was declared with, where
        // it has one.
        if ((c.sqlType == SQL_NUMERIC || c.sqlType == SQL_DECIMAL) && precision > 0)
            c.columnSize = static_cast<SQLULEN>(precision);
        cols.push_back(std::move(c));
    }
    return cols;
}

void FbConnection::SetAutocommit(bool on) {
    if (on && tx_) EndTransaction(true);
    autocommit_ = on;
}

void FbConnection::EndTransaction(bool commit) {
    if (!tx_) return;
    Firebird::ITransaction* tx = tx_;
    tx_ = nullptr;
    try {
        FbStatus st;
        if (commit)
            tx->commit(&st);
        else
            tx->rollback(&st);
    } catch (const Firebird::FbException& e) {
        Abandon(tx);
        throw ToDriverError(e);
    }
}

void FbConnection::SetReadOnly(bool on) {
    if (on == readOnly_) return;
    readOnly_ = on;
    try {
        BuildTpb();
    } catch (const Firebird::FbException& e) {
        throw ToDriverError(e);
    }
}

// The thread sleeps until the deadline it knows of, or without end while
// nothing is armed. Arming again with a later deadline (every fetch does)
// does not wake it: it finds the new deadline when it wakes.
void FbConnection::Watch() {
    std::unique_lock<std::mutex> lock(watchMutex_);
    while (!watchEnd_) {
        if (!watchArmed_) {
            watchSleepsUntil_ = std::chrono::steady_clock::time_point::max();
            watchWake_.wait(lock);
            continue;
        }
        if (std::chrono::steady_clock::now() >= watchDeadline_) {
            watchArmed_ = false;
            watchFired_ = true;
            Cancel();
            continue;
        }
        watchSleepsUntil_ = watchDeadline_;
        watchWake_.wait_until(lock, watchDeadline_);
    }
}

void FbConnection::StartTimeout(SQLULEN seconds) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(watchMutex_);
        watchDeadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        watchArmed_ = true;
        watchFired_ = false;
        wake = watchDeadline_ < watchSleepsUntil_;
    }
    if (!watchdog_.joinable())
        watchdog_ = std::thread([this] { Watch(); });
    else if (wake)
        watchWake_.notify_all();
}

bool FbConnection::StopTimeout() {
    std::lock_guard<std::mutex> lock(watchMutex_);
    watchArmed_ = false;
    const bool fired = watchFired_;
    watchFired_ = false;
    return fired;
}

std::string FbConnection::ProcedureCall(const std::string& name, const std::string& arguments) {
    // A name in double quotes is kept as written, any other is upper case.
    std::string stored = name;
    if (stored.size() >= 2 && stored.front() == '"' && stored.back() == '"') {
        stored = stored.substr(1, stored.size() - 2);
    } else {
        for (char& c : stored)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    ExecResult r =
        Execute("select rdb$procedure_type from rdb$procedures where rdb$procedure_name = '" +
                EscapeQuotes(stored) + "'");
    std::vector<Value> row;
    const bool selectable = r.rows && r.rows->Next(row) && !row.empty() &&
                            row[0].kind == Value::Kind::Int && row[0].i == 1;
    const std::string args = arguments.empty() ? std::string() : "(" + arguments + ")";
    return (selectable ? "SELECT * FROM " : "EXECUTE PROCEDURE ") + name + args;
}

void FbConnection::Cancel() {
    try {
        FbStatus st;
        att_->cancelOperation(&st, fb_cancel_raise);
    } catch (const Firebird::FbException&) {
        // Nothing was running any more.
    }
}

}  // namespace fbdrv
