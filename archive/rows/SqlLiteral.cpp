#include "archive/rows/SqlLiteral.h"

#include <strings.h>

#include <charconv>
#include <cstdio>
#include <string>

#include "core/AsciiText.h"
#include "db/SqlDialect.h"

namespace {

// True when an engine reads the fixed text back as exactly this double: the
// digits as one integer are exactly a double, and the number of digits after
// the point is one the engines keep (Firebird reads a literal as a scaled
// 64-bit integer of at most 18 decimals and divides; a larger integer or
// scale is rounded twice, or refused).
bool ReadsBackExactly(const std::string& fixed) {
    std::string digits;
    size_t decimals = 0;
    bool point = false;
    for (char c : fixed) {
        if (c == '.') {
            point = true;
        } else if (c >= '0' && c <= '9') {
            if (!digits.empty() || c != '0') digits += c;
            if (point) ++decimals;
        }
    }
    if (decimals > 18 || digits.size() > 18) return false;
    const unsigned long long mantissa = digits.empty() ? 0 : std::stoull(digits);
    return mantissa <= (1ULL << 53) ||
           static_cast<unsigned long long>(static_cast<double>(mantissa)) == mantissa;
}

}  // namespace

std::string DoubleLiteral(double value) {
    char text[400];
    auto fixed = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    if (fixed.ec == std::errc()) {
        std::string s(text, fixed.ptr);
        if (ReadsBackExactly(s)) return s;
    }
    auto shortest = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific);
    return std::string(text, shortest.ec == std::errc() ? shortest.ptr : text);
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
    std::snprintf(text, sizeof text, "%c%d-%02d-%02d %02d:%02d:%02d", q, int(ts.year),
                  int(ts.month), int(ts.day), int(ts.hour), int(ts.minute), int(ts.second));
    std::string literal = text;
    if (ts.fraction != 0) {
        std::snprintf(text, sizeof text, ".%09u", unsigned(ts.fraction % 1000000000u));
        std::string fraction = text;
        while (fraction.back() == '0') fraction.pop_back();
        literal += fraction;
    }
    return literal + q;
}

std::string ColumnReference(const std::string& column) {
    if (strcasecmp(column.c_str(), "text") != 0 && strcasecmp(column.c_str(), "update") != 0)
        return column;
    return "\"" + asciitext::Lower(column) + "\"";
}
