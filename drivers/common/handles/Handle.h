// Base of the three handle kinds: the kind tag checked by every entry point,
// the handle's diagnostic records, and the turn its calls take.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <mutex>

#include "drivers/common/base/Diagnostics.h"
#include "drivers/common/values/ClientCharset.h"
#include "drivers/common/values/StringOut.h"

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
    // The character set of the application's 8-bit text on this handle's
    // connection (code page 1252 before a connection exists).
    virtual const ClientCharset& Charset() const {
        static const ClientCharset cp1252;
        return cp1252;
    }
    TextForm NarrowForm() const {
        return Charset().Utf8() ? TextForm::NarrowUtf8 : TextForm::Narrow;
    }
    Diagnostics diag;

    // The calls on one connection and its statements take turns (so do those
    // on one environment): each entry point holds the turn for its work.
    virtual std::mutex& Turn() = 0;
    // Called with the turn held, before each call's own work and after it
    // with what it returns.
    virtual void Enter() {}
    virtual void Leave(SQLRETURN) {}

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
    friend class HandleRegistry;
    SQLSMALLINT type_;
    int users_ = 0;  // calls at work on the handle, counted under the registry's lock
};

}  // namespace odbcdrv
