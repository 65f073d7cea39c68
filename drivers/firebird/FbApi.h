// Access to the Firebird client's object interface: the master interface,
// its utility interface and the dispatcher, plus a status object that is
// released when it goes out of scope.
#pragma once

// The engine's headers define SQL_DOUBLE, SQL_TYPE_DATE and others with the
// engine's own codes. They come first so that the ODBC headers included after
// them give those names their ODBC values again; engine type codes are
// spelled out in FbTypes.h.
#include <firebird/Interface.h>
#include <ibase.h>

#include "drivers/common/base/Backend.h"

static_assert(SQL_DOUBLE == 8 && SQL_TYPE_DATE == 91 && SQL_TIMESTAMP == 11,
              "ODBC type codes must not be the engine's");

namespace fbdrv {

Firebird::IMaster* Master();
Firebird::IUtil* Util();
Firebird::IProvider* Provider();

// A status wrapper that throws Firebird::FbException on every engine error.
class FbStatus {
  public:
    FbStatus() : wrapper_(Master()->getStatus()) {}
    ~FbStatus() { wrapper_.dispose(); }
    FbStatus(const FbStatus&) = delete;
    FbStatus& operator=(const FbStatus&) = delete;
    Firebird::ThrowStatusWrapper* operator&() { return &wrapper_; }

  private:
    Firebird::ThrowStatusWrapper wrapper_;
};

// The engine's whole status text (all lines) and its SQLSTATE as a DriverError.
odbcdrv::DriverError ToDriverError(const Firebird::FbException& e,
                                   const char* fallbackState = "HY000");
// True when the status names the given engine error code anywhere.
bool HasErrorCode(const Firebird::FbException& e, intptr_t code);

}  // namespace fbdrv
