// Case, blanks and quotes of ASCII text: letters outside A-Z keep their case,
// whatever the locale. Header-only so that the drivers, the tools and the
// tests use it without linking the engine.
#pragma once

#include <string>

namespace asciitext {

// The text with A-Z in lower case.
inline std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    return s;
}

// The text without blanks, tabs and line ends at either end.
inline std::string Trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    const size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

// The text for the inside of an SQL string literal: each ' doubled.
inline std::string EscapeQuotes(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        out.push_back(c);
        if (c == '\'') out.push_back('\'');
    }
    return out;
}

}  // namespace asciitext
