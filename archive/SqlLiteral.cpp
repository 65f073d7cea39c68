#include "archive/SqlLiteral.h"

#include <charconv>
#include <cstdio>

#include "db/SqlDialect.h"

std::string DoubleLiteral(double value) {
    char text[400];
    auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6);
    std::string s(text, result.ec == std::errc() ? result.ptr : text);
    if (s.find('.') != std::string::npos) {
        while (!s.empty() && s.back() == '0') s.pop_back();
        if (!s.empty() && s.back() == '.') s.pop_back();
    }
    if (s.empty() || s == "-") s = "0";
    return s;
}

std::string TextLiteral(const std::string& text) {
    return "'" + EscapeSQL(text) + "'";
}

std::string DateLiteral(const SQL_DATE_STRUCT& d, char q) {
    char text[64];
    std::snprintf(text, sizeof text, "%c%d-%02d-%02d%c", q, int(d.year), int(d.month), int(d.day),
                  q);
    return text;
}

std::string TimeLiteral(const SQL_TIME_STRUCT& t, char q) {
    char text[64];
    std::snprintf(text, sizeof text, "%c%02d:%02d:%02d%c", q, int(t.hour), int(t.minute),
                  int(t.second), q);
    return text;
}

std::string TimestampLiteral(const SQL_TIMESTAMP_STRUCT& ts, char q) {
    char text[96];
    std::snprintf(text, sizeof text, "%c%d-%02d-%02d %02d:%02d:%02d%c", q, int(ts.year),
                  int(ts.month), int(ts.day), int(ts.hour), int(ts.minute), int(ts.second), q);
    return text;
}
