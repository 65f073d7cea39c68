// Turns SQLite's failures into the driver's diagnostics: an SQLSTATE, a
// clear text in the words of the Access kind, and SQLite's own message.
#pragma once

#include <sqlite3.h>

#include <string>

#include "drivers/common/base/Backend.h"

namespace accessdrv {

class AccessError {
  public:
    static constexpr const char* kPrefix = "[Tamaro][Access driver] ";
    // The error that SQLite reports for `rc` on `db`.
    static odbcdrv::DriverError FromSqlite(sqlite3* db, int rc);
    // An error of the driver itself; `text` is UTF-8 and becomes CP1252.
    static odbcdrv::DriverError Make(const char* sqlstate, const std::string& text, int native = 0);
};

}  // namespace accessdrv
