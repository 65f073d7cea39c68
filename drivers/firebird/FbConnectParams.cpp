#include "firebird/FbConnectParams.h"

#include "core/Cp1252.h"

namespace fbdrv {

namespace {

// Without a login timeout from the application an unreachable server still
// fails within this many seconds rather than the engine's default minutes.
constexpr int kDefaultTimeout = 15;
constexpr int kLongestTimeout = 3600;

std::string Key(const odbcdrv::ConnectKeys& keys, const char* name) {
    auto it = keys.find(name);
    return it == keys.end() ? std::string() : it->second;
}

std::string KeyOr(const odbcdrv::ConnectKeys& keys, const char* name, const char* other) {
    std::string value = Key(keys, name);
    return value.empty() ? Key(keys, other) : value;
}

// Seconds from a decimal text; anything else (or 0) gives the default.
int Timeout(const std::string& text) {
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return kDefaultTimeout;
        value = value * 10 + (c - '0');
        if (value > kLongestTimeout) return kLongestTimeout;
    }
    return value > 0 ? static_cast<int>(value) : kDefaultTimeout;
}

}  // namespace

FbConnectParams FbConnectParams::From(const odbcdrv::ConnectKeys& keys) {
    FbConnectParams p;
    const std::string dbname = KeyOr(keys, "DBNAME", "DATABASE");
    if (dbname.empty()) throw odbcdrv::DriverError("08001", "No database given (DBNAME)");
    p.dbname = cp1252::ToUtf8(dbname);
    p.user = cp1252::ToUtf8(KeyOr(keys, "UID", "USER"));
    p.password = cp1252::ToUtf8(KeyOr(keys, "PWD", "PASSWORD"));
    p.timeoutSeconds = Timeout(Key(keys, "LOGIN_TIMEOUT"));
    const std::string forced = Key(keys, "FORCEDWRITES");
    if (forced == "0" || forced == "1") p.forcedWrites = forced == "1" ? 1 : 0;
    p.create = Key(keys, "CREATEDB") == "1";
    p.embeddedOnly = dbname[0] == '/' || dbname[0] == '.';
    return p;
}

}  // namespace fbdrv
