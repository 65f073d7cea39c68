// An environment handle: the ODBC version the application declared.
#pragma once

#include <atomic>
#include <mutex>

#include "drivers/common/handles/Handle.h"

namespace odbcdrv {

class EnvHandle : public Handle {
  public:
    EnvHandle() : Handle(SQL_HANDLE_ENV) {}
    SQLRETURN SetAttr(SQLINTEGER attribute, SQLPOINTER value);
    SQLRETURN GetAttr(SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER* length);
    SQLRETURN EndTran(SQLSMALLINT completion);
    std::mutex& Turn() override { return turn_; }

    std::atomic<int> connections{0};  // live connection handles; the environment is freed last

  private:
    std::mutex turn_;
    SQLINTEGER odbcVersion_ = SQL_OV_ODBC3;
};

}  // namespace odbcdrv
