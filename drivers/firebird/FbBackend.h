// The Firebird engine behind the ODBC plumbing. Connection keys: DBNAME (a
// plain path opens the file with the embedded engine, host:path attaches
// through a server), UID, PWD, CREATEDB=1 (create the database when it does
// not exist: character set WIN1252, page size 8192, dialect 3),
// FORCEDWRITES=0|1 (switch the database's synchronous writes; a tool key for
// tests). AutoQuotedIdentifier and client are accepted and ignored: the
// client library is linked. The engine connection always speaks WIN1252;
// CHARSET is the application's character set, which the plumbing serves.
#pragma once

#include "firebird/FbApi.h"

namespace fbdrv {

class FbBackend : public odbcdrv::Backend {
  public:
    std::unique_ptr<odbcdrv::Connection> Connect(const odbcdrv::ConnectKeys& keys) override;
    const char* DriverName() const override { return "libtamarofb.so"; }
    const char* DbmsName() const override { return "Firebird"; }
    const char* DbmsVersion() const override { return "3.0"; }
    const odbcdrv::EscapeDialect& Escapes() const override;
    const std::vector<odbcdrv::TypeInfoRow>& Types() const override;
    bool EngineReadsDateText() const override { return true; }
};

}  // namespace fbdrv
