#include "drivers/access/AccessBackend.h"

#include "drivers/access/AccessConnection.h"
#include "drivers/access/AccessError.h"

namespace accessdrv {

std::unique_ptr<odbcdrv::Connection> AccessBackend::Connect(const odbcdrv::ConnectKeys& keys) {
    auto get = [&](const char* key) {
        auto it = keys.find(key);
        return it == keys.end() ? std::string() : it->second;
    };
    std::string path = get("DBQ");
    if (path.empty())
        throw AccessError::Make("08001",
                                "No database given: the connection string needs DBQ=<file>.");
    bool create = get("CREATEDB") == "1";
    return std::make_unique<AccessConnection>(path, get("PWD"), create);
}

}  // namespace accessdrv

namespace odbcdrv {

Backend& TheBackend() {
    static accessdrv::AccessBackend backend;
    return backend;
}

}  // namespace odbcdrv
