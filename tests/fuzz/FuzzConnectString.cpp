// Both drivers' reading of a connection string, which any ODBC client can
// send. The input's first byte picks a mode: 0 parses the rest as a
// connection string; otherwise the rest is cut at NUL bytes into keys and
// values, written as KEY={value} and parsed back, which must give them again.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "core/Cp1252.h"
#include "drivers/access/AccessConnectParams.h"
#include "drivers/common/sql/ConnectString.h"
#include "drivers/firebird/FbConnectParams.h"

namespace {

void Interpret(const odbcdrv::ConnectKeys& keys) {
    try {
        const fbdrv::FbConnectParams fb = fbdrv::FbConnectParams::From(keys);
        // The engine gets exactly the file named, in UTF-8.
        auto it = keys.find("DBNAME");
        if (it != keys.end() && !it->second.empty() && cp1252::FromUtf8(fb.dbname) != it->second)
            std::abort();
        if (fb.timeoutSeconds < 1 || fb.timeoutSeconds > 3600) std::abort();
    } catch (const odbcdrv::DriverError&) {
    }
    try {
        const accessdrv::AccessConnectParams access = accessdrv::AccessConnectParams::From(keys);
        if (cp1252::FromUtf8(access.path) != access.path1252) std::abort();
    } catch (const odbcdrv::DriverError&) {
    }
}

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] == 0) {
        Interpret(odbcdrv::ParseConnectString(input));
        return 0;
    }
    std::map<std::string, std::string> expected;
    std::string text;
    size_t start = 0;
    while (start < input.size()) {
        size_t keyEnd = input.find('\0', start);
        if (keyEnd == std::string::npos) break;
        size_t valueEnd = input.find('\0', keyEnd + 1);
        if (valueEnd == std::string::npos) valueEnd = input.size();
        std::string key = input.substr(start, keyEnd - start);
        const std::string value = input.substr(keyEnd + 1, valueEnd - keyEnd - 1);
        start = valueEnd + 1;
        // Keys are plain words; values may hold anything but NUL.
        bool plain = !key.empty();
        for (char c : key)
            plain = plain && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_');
        if (!plain || expected.count(Upper(key))) continue;
        expected[Upper(key)] = value;
        std::string braced;
        for (char c : value) braced += c == '}' ? std::string("}}") : std::string(1, c);
        text += key + "={" + braced + "};";
    }
    const odbcdrv::ConnectKeys keys = odbcdrv::ParseConnectString(text);
    if (std::map<std::string, std::string>(keys.begin(), keys.end()) != expected) std::abort();
    Interpret(keys);
    return 0;
}
