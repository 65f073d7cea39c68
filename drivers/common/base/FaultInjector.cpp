#include "drivers/common/base/FaultInjector.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace odbcdrv {

namespace {
std::mutex lock;
long long counted = 0;
std::string lastSetting;  // the variables the count was started under

bool ContainsNoCase(const std::string& hay, const std::string& needle) {
    auto it = std::search(hay.begin(), hay.end(), needle.begin(), needle.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    });
    return it != hay.end();
}
}  // namespace

bool FaultInjector::ShouldFail(const std::string& sql) {
    const char* after = std::getenv("TAMARO_ODBC_FAIL_AFTER");
    if (!after || !*after) return false;
    char* end = nullptr;
    long long n = std::strtoll(after, &end, 10);
    if (end == after || n < 0) return false;
    const char* match = std::getenv("TAMARO_ODBC_FAIL_MATCH");
    std::lock_guard<std::mutex> g(lock);
    std::string setting = std::string(after) + '\n' + (match ? match : "");
    if (setting != lastSetting) {
        lastSetting = setting;
        counted = 0;
    }
    if (match && *match && !ContainsNoCase(sql, match)) return false;
    return ++counted == n + 1;
}

bool FaultInjector::EndShouldFail(const char* end) {
    const char* match = std::getenv("TAMARO_ODBC_FAIL_MATCH");
    if (!match || !*match || !ContainsNoCase(end, match)) return false;
    return ShouldFail(end);
}

bool FaultInjector::Late() {
    const char* late = std::getenv("TAMARO_ODBC_FAIL_LATE");
    return late && std::string(late) == "1";
}

const char* FaultInjector::State() {
    const char* state = std::getenv("TAMARO_ODBC_FAIL_STATE");
    return state && std::strlen(state) == 5 ? state : "HY000";
}

bool FaultInjector::CatalogFails(const std::string& table, long long* rowsBefore) {
    const char* setting = std::getenv("TAMARO_ODBC_FAIL_CATALOG");
    if (!setting || !*setting) return false;
    std::string name = setting;
    *rowsBefore = -1;
    const size_t colon = name.rfind(':');
    if (colon != std::string::npos) {
        char* end = nullptr;
        const long long n = std::strtoll(name.c_str() + colon + 1, &end, 10);
        if (end != name.c_str() + colon + 1 && *end == 0 && n >= 0) *rowsBefore = n;
        name.resize(colon);
    }
    return name.size() == table.size() && ContainsNoCase(table, name);  // equal without case
}

}  // namespace odbcdrv
