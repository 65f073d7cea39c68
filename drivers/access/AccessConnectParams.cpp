#include "drivers/access/AccessConnectParams.h"

#include "core/Cp1252.h"
#include "drivers/access/AccessError.h"

namespace accessdrv {

AccessConnectParams AccessConnectParams::From(const odbcdrv::ConnectKeys& keys) {
    auto get = [&](const char* key) {
        auto it = keys.find(key);
        return it == keys.end() ? std::string() : it->second;
    };
    AccessConnectParams p;
    p.path1252 = get("DBQ");
    if (p.path1252.empty())
        throw AccessError::Make("08001",
                                "No database given: the connection string needs DBQ=<file>.");
    p.path = cp1252::ToUtf8(p.path1252);
    p.password = cp1252::ToUtf8(get("PWD"));
    p.create = get("CREATEDB") == "1";
    return p;
}

}  // namespace accessdrv
