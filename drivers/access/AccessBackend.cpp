#include "drivers/access/AccessBackend.h"

#include "drivers/access/AccessConnectParams.h"
#include "drivers/access/AccessConnection.h"

namespace accessdrv {

std::unique_ptr<odbcdrv::Connection> AccessBackend::Connect(const odbcdrv::ConnectKeys& keys) {
    return std::make_unique<AccessConnection>(AccessConnectParams::From(keys));
}

}  // namespace accessdrv

namespace odbcdrv {

Backend& TheBackend() {
    static accessdrv::AccessBackend backend;
    return backend;
}

}  // namespace odbcdrv
