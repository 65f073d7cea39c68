// One open database of the Access kind: an SQLite file reached through this
// driver, with the Access dialect translated statement by statement.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <string>

#include "drivers/access/AccessConnectParams.h"
#include "drivers/common/base/Backend.h"

namespace accessdrv {

class AccessConnection : public odbcdrv::Connection {
  public:
    // Opens (or with `create` makes) the database; throws
    // odbcdrv::DriverError when the file is missing, is no database of this
    // driver, or the password is wrong.
    explicit AccessConnection(const AccessConnectParams& params);
    ~AccessConnection() override;
    AccessConnection(const AccessConnection&) = delete;
    AccessConnection& operator=(const AccessConnection&) = delete;

    odbcdrv::ExecResult Execute(const std::string& sql) override;
    std::unique_ptr<odbcdrv::PreparedStatement> Prepare(const std::string& sql) override;
    std::vector<odbcdrv::ColumnInfo> TableColumns(const std::string& table) override;
    std::vector<std::string> TableNames() override;
    std::vector<odbcdrv::IndexInfo> Indexes(const std::string& table) override;
    void SetAutocommit(bool on) override;
    void EndTransaction(bool commit) override;
    void SetIsolation(SQLUINTEGER level) override;
    void Cancel() override;
    bool InTransaction() const override;
    void SetReadOnly(bool on) override;
    void StartTimeout(SQLULEN seconds) override;
    bool StopTimeout() override;

    // Without autocommit, opens the transaction that the next statement
    // joins, unless one is open.
    void BeginIfManual();

  private:
    static int Progress(void* self);

    sqlite3* db_ = nullptr;
    std::chrono::steady_clock::time_point deadline_;
    bool timedOut_ = false;
    bool autocommit_ = true;
    bool immediate_ = false;
    bool began_ = false;  // a transaction of the application's is open (or was lost)  //
                          // serializable: the write lock from the first statement on
};

}  // namespace accessdrv
