// The Access-kind driver: connection keys DRIVER, DBQ and PWD, and the
// tool key CREATEDB=1 that makes a missing database.
#pragma once

#include "drivers/common/base/Backend.h"

namespace accessdrv {

class AccessBackend : public odbcdrv::Backend {
  public:
    std::unique_ptr<odbcdrv::Connection> Connect(const odbcdrv::ConnectKeys& keys) override;
    const char* DriverName() const override { return "libtamaroaccess.so"; }
    const char* DbmsName() const override { return "ACCESS"; }
    const char* DbmsVersion() const override { return "04.00.0000"; }
    char IdentifierQuote() const override { return '`'; }
    const odbcdrv::EscapeDialect& Escapes() const override;
    const std::vector<odbcdrv::TypeInfoRow>& Types() const override;
};

}  // namespace accessdrv
