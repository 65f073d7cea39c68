#include "archive/export/ValueText.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "core/Cp1252.h"

namespace {

std::string Two(int n) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", n);
    return text;
}

// ".123" for a fraction of nanoseconds, without trailing zeros; "" for none.
std::string Fraction(SQLUINTEGER nanoseconds) {
    if (nanoseconds == 0) return {};
    char text[16];
    std::snprintf(text, sizeof text, ".%09u", unsigned(nanoseconds % 1000000000u));
    std::string s = text;
    while (s.back() == '0') s.pop_back();
    return s;
}

std::string IsoDate(const SQL_TIMESTAMP_STRUCT& w) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", int(w.year), int(w.month), int(w.day));
    return text;
}

std::string IsoTime(const SQL_TIMESTAMP_STRUCT& w) {
    return Two(w.hour) + ":" + Two(w.minute) + ":" + Two(w.second) + Fraction(w.fraction);
}

std::string GermanDate(int year, int month, int day) {
    char text[48];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d", day, month, year);
    return text;
}

// Hours and minutes, the seconds only when there are any.
std::string GermanTime(const SQL_TIMESTAMP_STRUCT& w) {
    std::string text = Two(w.hour) + ":" + Two(w.minute);
    if (w.second != 0 || w.fraction != 0) text += ":" + Two(w.second);
    return text;
}

// The shortest text that reads back as exactly this double.
std::string ShortestDouble(double v) {
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, v);
    return ec == std::errc() ? std::string(text, end) : std::string();
}

// A decimal number as text with a leading digit: ".5" -> "0.5".
std::string NormalisedDecimal(std::string text) {
    const size_t sign = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (text.size() > sign && text[sign] == '.') text.insert(sign, "0");
    if (!text.empty() && text[0] == '+') text.erase(0, 1);
    return text;
}

bool JsonNumberSyntax(const std::string& s) {
    size_t i = 0;
    if (i < s.size() && s[i] == '-') ++i;
    if (i >= s.size() || !std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    if (s[i] == '0' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])))
        return false;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
    if (i < s.size() && s[i] == '.') {
        ++i;
        if (i >= s.size() || !std::isdigit(static_cast<unsigned char>(s[i]))) return false;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        if (i >= s.size() || !std::isdigit(static_cast<unsigned char>(s[i]))) return false;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
    }
    return i == s.size();
}

std::string WithComma(std::string text) {
    for (char& c : text)
        if (c == '.') c = ',';
    return text;
}

// Velunda keeps the days of its records ("datum", "aufnahmedatum") as
// seconds since 1970: shown as the day they stand for in this time zone.
bool IsStoredDate(const RecordColumn& column) {
    return (column.type == SQL_INTEGER || column.type == SQL_BIGINT) &&
           (column.name == "datum" || column.name == "aufnahmedatum");
}

// Velunda's money columns: decimals of two places on Firebird, doubles named
// "betrag" on the Access kind.
bool IsAmount(const RecordColumn& column) {
    return column.name == "betrag";
}

}  // namespace

std::string IsoValueText(const RecordValue& value) {
    switch (value.kind) {
        case ValueKind::Null:
        case ValueKind::Binary:
            return {};
        case ValueKind::Integer:
            return std::to_string(value.integer);
        case ValueKind::Boolean:
            return value.integer != 0 ? "true" : "false";
        case ValueKind::Decimal:
            return NormalisedDecimal(value.text);
        case ValueKind::Real:
            return ShortestDouble(value.real);
        case ValueKind::Date:
            return IsoDate(value.when);
        case ValueKind::Time:
            return IsoTime(value.when);
        case ValueKind::Timestamp:
            return IsoDate(value.when) + "T" + IsoTime(value.when);
        case ValueKind::Text:
            return cp1252::ToUtf8(value.text);
    }
    return {};
}

bool IsJsonNumber(const RecordValue& value) {
    switch (value.kind) {
        case ValueKind::Integer:
            return true;
        case ValueKind::Decimal:
            return JsonNumberSyntax(NormalisedDecimal(value.text));
        case ValueKind::Real:
            return std::isfinite(value.real);
        default:
            return false;
    }
}

std::string GermanValueText(const RecordValue& value, const RecordColumn& column) {
    switch (value.kind) {
        case ValueKind::Null:
            return "–";
        case ValueKind::Binary:
            return {};
        case ValueKind::Integer:
            if (IsStoredDate(column) && value.integer != 0)
                return GermanLocalDay(int32_t(value.integer));
            return std::to_string(value.integer);
        case ValueKind::Boolean:
            return value.integer != 0 ? "Ja" : "Nein";
        case ValueKind::Decimal:
            return WithComma(NormalisedDecimal(value.text));
        case ValueKind::Real: {
            if (IsAmount(column) && std::isfinite(value.real)) {
                char text[64];
                const auto [end, ec] = std::to_chars(text, text + sizeof text, value.real,
                                                     std::chars_format::fixed, 2);
                if (ec == std::errc()) return WithComma(std::string(text, end));
            }
            return WithComma(ShortestDouble(value.real));
        }
        case ValueKind::Date:
            return GermanDate(value.when.year, value.when.month, value.when.day);
        case ValueKind::Time:
            return GermanTime(value.when);
        case ValueKind::Timestamp:
            return GermanDate(value.when.year, value.when.month, value.when.day) + " " +
                   GermanTime(value.when);
        case ValueKind::Text:
            return value.text;
    }
    return {};
}

std::string GermanLocalDay(int64_t seconds, bool withTime) {
    const time_t t = time_t(seconds);
    tm local{};
    localtime_r(&t, &local);
    char text[48];
    std::strftime(text, sizeof text, withTime ? "%d.%m.%Y um %H:%M Uhr" : "%d.%m.%Y", &local);
    return text;
}

std::string GermanCount(uint64_t n) {
    std::string digits = std::to_string(n);
    for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ".");
    return digits;
}

std::string ColumnTypeName(const RecordColumn& column) {
    const std::string size = std::to_string(column.size);
    switch (column.type) {
        case SQL_BIT:
            return "boolean";
        case SQL_TINYINT:
            return "tinyint";
        case SQL_SMALLINT:
            return "smallint";
        case SQL_INTEGER:
            return "integer";
        case SQL_BIGINT:
            return "bigint";
        case SQL_REAL:
            return "real";
        case SQL_DOUBLE:
        case SQL_FLOAT:
            return "double";
        case SQL_NUMERIC:
        case SQL_DECIMAL:
            return "decimal(" + size + "," + std::to_string(column.digits) + ")";
        case SQL_TYPE_DATE:
            return "date";
        case SQL_TYPE_TIME:
            return "time";
        case SQL_TYPE_TIMESTAMP:
            return "timestamp";
        case SQL_CHAR:
        case SQL_WCHAR:
            return "char(" + size + ")";
        case SQL_VARCHAR:
        case SQL_WVARCHAR:
            return "varchar(" + size + ")";
        case SQL_LONGVARCHAR:
        case SQL_WLONGVARCHAR:
            return "text";
        default:
            return "binary";
    }
}
