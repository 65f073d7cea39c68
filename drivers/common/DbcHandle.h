// A connection handle: the engine connection behind it, its attributes and
// the answers of SQLGetInfo/SQLGetFunctions.
#pragma once

#include <memory>
#include <set>

#include "common/Backend.h"
#include "common/EnvHandle.h"

namespace odbcdrv {

class StmtHandle;

class DbcHandle : public Handle {
  public:
    explicit DbcHandle(EnvHandle& env);
    ~DbcHandle() override;

    SQLRETURN DriverConnect(const std::string& in, SQLCHAR* out, SQLSMALLINT outMax,
                            SQLSMALLINT* outLength);
    SQLRETURN Disconnect();
    SQLRETURN SetAttr(SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length);
    SQLRETURN GetAttr(SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER bufferLength,
                      SQLINTEGER* length);
    SQLRETURN EndTran(SQLSMALLINT completion);
    SQLRETURN GetInfo(SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT bufferLength,
                      SQLSMALLINT* length);
    static SQLRETURN GetFunctions(SQLUSMALLINT function, SQLUSMALLINT* supported);

    bool Connected() const { return conn_ != nullptr; }
    Connection& Conn() { return *conn_; }

    EnvHandle& env;
    std::set<StmtHandle*> statements;

  private:
    std::unique_ptr<Connection> conn_;
    ConnectKeys keys_;
    SQLUINTEGER loginTimeout_ = 0;
    bool autocommit_ = true;
};

}  // namespace odbcdrv
