// The driver's own table inside each database file: it marks the file as a
// database of this driver and keeps the database password.
#pragma once

#include <sqlite3.h>

#include <string>

namespace accessdrv {

class AccessMeta {
  public:
    static constexpr const char* kTable = "tamaro_meta";

    // Creates the table in a new database and stores the password.
    // Throws odbcdrv::DriverError.
    static void Create(sqlite3* db, const std::string& password);
    // Compares the password with the stored one; throws odbcdrv::DriverError
    // (28000) when it differs, or when the file is no database of this driver.
    static void CheckPassword(sqlite3* db, const std::string& password, const std::string& path);
};

}  // namespace accessdrv
