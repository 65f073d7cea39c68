// Base of the three handle kinds: the kind tag checked by every entry point
// and the handle's diagnostic records.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include "common/Diagnostics.h"

namespace odbcdrv {

class Handle {
  public:
    explicit Handle(SQLSMALLINT type) : type_(type) {}
    virtual ~Handle() = default;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    SQLSMALLINT Type() const { return type_; }
    // True on handles of a connection opened through the wide functions.
    virtual bool OpenedWide() const { return false; }
    Diagnostics diag;

    // Records an error and returns SQL_ERROR, so calls can end with
    // `return Fail(...)`.
    SQLRETURN Fail(const char* sqlstate, const std::string& message = {}) {
        diag.Add(sqlstate, message);
        return SQL_ERROR;
    }
    SQLRETURN Warn(const char* sqlstate, const std::string& message = {}) {
        diag.Add(sqlstate, message);
        return SQL_SUCCESS_WITH_INFO;
    }

  private:
    SQLSMALLINT type_;
};

}  // namespace odbcdrv
