// What a connection string asks of the Firebird engine, taken apart before
// anything is attached. The connection string is code page 1252 text, as all
// narrow ODBC text; the engine is given its file name and the other strings
// of the attach in UTF-8 (with isc_dpb_utf8_filename), so that a database in
// a folder such as "Praxis Müller" is found by the embedded engine and by a
// server alike.
#pragma once

#include <string>

#include "drivers/common/base/Backend.h"

namespace fbdrv {

struct FbConnectParams {
    std::string dbname;    // DBNAME (or DATABASE), UTF-8: a path, or host[/port]:path
    std::string user;      // UID (or USER), UTF-8; empty: none given
    std::string password;  // PWD (or PASSWORD), UTF-8; empty: none given
    // The connection character set: the driver keeps text in code page 1252
    // (the key CHARSET names the application's character set instead, see
    // common/values/ClientCharset.h).
    std::string charset = "WIN1252";
    int timeoutSeconds = 15;    // LOGIN_TIMEOUT, 1 to 3600
    int forcedWrites = -1;      // FORCEDWRITES=0|1; -1 leaves the database's setting
    bool create = false;        // CREATEDB=1
    bool embeddedOnly = false;  // a plain path: the embedded engine alone

    // Throws odbcdrv::DriverError (08001) when no database is named.
    static FbConnectParams From(const odbcdrv::ConnectKeys& keys);
};

}  // namespace fbdrv
