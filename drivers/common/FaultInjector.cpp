#include "common/FaultInjector.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
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

}  // namespace odbcdrv
