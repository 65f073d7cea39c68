// What a connection string asks of the Access-kind driver. The connection
// string is code page 1252 text, as all narrow ODBC text; SQLite is given
// the file name and the password in UTF-8.
#pragma once

#include <string>

#include "drivers/common/base/Backend.h"

namespace accessdrv {

struct AccessConnectParams {
    std::string path1252;  // DBQ, as given: for messages
    std::string path;      // DBQ in UTF-8: for the file system
    std::string password;  // PWD in UTF-8
    bool create = false;   // CREATEDB=1: make a missing database

    // Throws odbcdrv::DriverError (08001) when no database is named.
    static AccessConnectParams From(const odbcdrv::ConnectKeys& keys);
};

}  // namespace accessdrv
