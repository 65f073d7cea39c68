// One attachment to a Firebird database. With autocommit every statement runs
// in a transaction of its own; without it, statements share one transaction
// until EndTransaction.
#pragma once

#include <vector>

#include "firebird/FbApi.h"

namespace fbdrv {

class FbConnection : public odbcdrv::Connection {
  public:
    explicit FbConnection(Firebird::IAttachment* attachment);
    ~FbConnection() override;
    odbcdrv::ExecResult Execute(const std::string& sql) override;
    std::vector<odbcdrv::ColumnInfo> TableColumns(const std::string& table) override;
    std::vector<std::string> TableNames() override;
    void SetAutocommit(bool on) override;
    void EndTransaction(bool commit) override;
    void SetIsolation(SQLUINTEGER level) override;
    void Cancel() override;

  private:
    odbcdrv::ExecResult Run(const std::string& sql);
    Firebird::ITransaction* SharedTransaction();
    Firebird::ITransaction* Begin();
    void BuildTpb();

    Firebird::IAttachment* att_;
    Firebird::ITransaction* tx_ = nullptr;  // the shared transaction without autocommit
    bool autocommit_ = true;
    SQLUINTEGER isolation_ = SQL_TXN_READ_COMMITTED;
    std::vector<unsigned char> tpb_;
};

}  // namespace fbdrv
