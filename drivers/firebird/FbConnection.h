// One attachment to a Firebird database. With autocommit every statement runs
// in a transaction of its own; without it, statements share one transaction
// until EndTransaction.
#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "firebird/FbApi.h"
#include "firebird/FbStatement.h"

namespace fbdrv {

class FbConnection : public odbcdrv::Connection {
  public:
    explicit FbConnection(Firebird::IAttachment* attachment);
    ~FbConnection() override;
    odbcdrv::ExecResult Execute(const std::string& sql) override;
    std::unique_ptr<odbcdrv::PreparedStatement> Prepare(const std::string& sql) override;
    std::vector<odbcdrv::ColumnInfo> TableColumns(const std::string& table) override;
    std::vector<std::string> TableNames() override;
    std::vector<std::string> ViewNames() override;
    std::vector<odbcdrv::IndexInfo> Indexes(const std::string& table) override;
    void SetAutocommit(bool on) override;
    void EndTransaction(bool commit) override;
    void SetIsolation(SQLUINTEGER level) override;
    void Cancel() override;
    bool InTransaction() const override { return tx_ != nullptr; }
    void SetReadOnly(bool on) override;
    void StartTimeout(SQLULEN seconds) override;
    bool StopTimeout() override;
    // Selectable procedures are read with SELECT, the others executed.
    std::string ProcedureCall(const std::string& name, const std::string& arguments) override;

  private:
    // Executes a statement of this connection with the application's values;
    // its statements reach it through StatementExecutor().
    odbcdrv::ExecResult ExecutePrepared(FbStatement& stmt,
                                        const std::vector<odbcdrv::Value>& params);
    FbStatement::Executor StatementExecutor();
    // Executes stmt in tx. With `handOver` a result set takes the engine
    // statement with it (the statement of a single execution).
    odbcdrv::ExecResult Run(FbStatement& stmt, Firebird::ITransaction* tx,
                            const std::vector<odbcdrv::Value>& params, bool handOver);
    Firebird::ITransaction* SharedTransaction();
    // Runs `body` with the transaction a statement runs in: one of its own
    // with autocommit, else the shared one.
    template <class Body>
    auto WithTransaction(Body&& body);
    Firebird::ITransaction* Begin();
    void BuildTpb();
    SQLULEN Precision(const std::string& table, const std::string& column);

    Firebird::IAttachment* att_;
    Firebird::ITransaction* tx_ = nullptr;  // the shared transaction without autocommit
    bool autocommit_ = true;
    SQLUINTEGER isolation_ = SQL_TXN_READ_COMMITTED;
    bool readOnly_ = false;
    // The query time-out: a thread of the connection's own, started with the
    // first time-out, waits for each deadline and cancels the engine's
    // operation when it passes.
    void Watch();
    std::thread watchdog_;
    std::mutex watchMutex_;
    std::condition_variable watchWake_;
    bool watchArmed_ = false;
    bool watchEnd_ = false;
    bool watchFired_ = false;
    std::chrono::steady_clock::time_point watchDeadline_;
    std::chrono::steady_clock::time_point watchSleepsUntil_ =
        std::chrono::steady_clock::time_point::max();
    std::vector<unsigned char> tpb_;
    FbStatement::PrecisionLookup precision_;
    // Declared precision of the scaled columns of each table read so far;
    // forgotten when this connection changes the schema.
    std::map<std::string, std::map<std::string, SQLULEN>> precisions_;
};

}  // namespace fbdrv
