#include "drivers/common/sql/ConnectString.h"

#include <odbcinst.h>

#include <cctype>
#include <cstring>
#include <vector>

#include "core/AsciiText.h"
#include "core/Cp1252.h"

namespace odbcdrv {

using asciitext::Trim;

ConnectKeys ParseConnectString(const std::string& text) {
    ConnectKeys keys;
    size_t i = 0;
    while (i < text.size()) {
        size_t eq = text.find_first_of("=;", i);
        if (eq == std::string::npos) break;
        if (text[eq] == ';') {  // a fragment without "=" carries nothing
            i = eq + 1;
            continue;
        }
        std::string key = Trim(text.substr(i, eq - i));
        for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        size_t j = eq + 1;
        while (j < text.size() && (text[j] == ' ' || text[j] == '\t')) ++j;
        std::string value;
        if (j < text.size() && text[j] == '{') {
            ++j;
            while (j < text.size()) {
                if (text[j] == '}') {
                    if (j + 1 < text.size() && text[j + 1] == '}') {
                        value.push_back('}');
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                value.push_back(text[j++]);
            }
            size_t semi = text.find(';', j);
            i = semi == std::string::npos ? text.size() : semi + 1;
        } else {
            size_t semi = text.find(';', j);
            size_t end = semi == std::string::npos ? text.size() : semi;
            value = Trim(text.substr(j, end - j));
            i = semi == std::string::npos ? text.size() : semi + 1;
        }
        if (!key.empty()) keys.emplace(key, value);
    }
    return keys;
}

ConnectKeys DataSourceKeys(const std::string& dsn) {
    ConnectKeys keys;
    if (dsn.empty()) return keys;
    // The configuration files are text in the system's encoding (UTF-8).
    std::string section = cp1252::ToUtf8(dsn);
    // Every data source names its driver; without one there is no such source.
    char driver[1024] = "";
    SQLGetPrivateProfileString(section.c_str(), "Driver", "", driver, sizeof driver, "odbc.ini");
    if (!driver[0]) return keys;
    std::vector<char> names(8192);
    int n = SQLGetPrivateProfileString(section.c_str(), nullptr, "", names.data(),
                                       static_cast<int>(names.size()), "odbc.ini");
    if (n <= 0) return keys;
    names.back() = '\0';
    for (const char* name = names.data(); *name && name < names.data() + names.size();
         name += std::strlen(name) + 1) {
        std::vector<char> value(4096);
        SQLGetPrivateProfileString(section.c_str(), name, "", value.data(),
                                   static_cast<int>(value.size()), "odbc.ini");
        value.back() = '\0';
        std::string key = Trim(name);
        for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (!key.empty()) keys.emplace(key, cp1252::FromUtf8(Trim(value.data())));
    }
    return keys;
}

}  // namespace odbcdrv
