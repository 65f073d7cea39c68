#include "tools/InsertBuilder.h"

#include <cstdio>

#include "core/AsciiText.h"

InsertBuilder::InsertBuilder(PracticeKind kind, const std::string& table)
    : quote_(kind == PracticeKind::Firebird ? '\'' : '#'), table_(table) {}

InsertBuilder& InsertBuilder::Add(const std::string& column, const std::string& literal) {
    if (!columns_.empty()) {
        columns_ += ", ";
        values_ += ", ";
    }
    columns_ += column;
    values_ += literal;
    return *this;
}

InsertBuilder& InsertBuilder::Int(const std::string& column, int64_t value) {
    return Add(column, std::to_string(value));
}

InsertBuilder& InsertBuilder::Text(const std::string& column, const std::string& value) {
    return Add(column, "'" + asciitext::EscapeQuotes(value) + "'");
}

InsertBuilder& InsertBuilder::Real(const std::string& column, double value, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    return Add(column, buf);
}

std::tm InsertBuilder::Utc(int64_t seconds) {
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    return tm;
}

InsertBuilder& InsertBuilder::Date(const std::string& column, int64_t seconds) {
    std::tm tm = Utc(seconds);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%c%04d-%02d-%02d%c", quote_, tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, quote_);
    return Add(column, buf);
}

InsertBuilder& InsertBuilder::Time(const std::string& column, int64_t seconds) {
    std::tm tm = Utc(seconds);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%c%02d:%02d:%02d%c", quote_, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  quote_);
    return Add(column, buf);
}

InsertBuilder& InsertBuilder::Timestamp(const std::string& column, int64_t seconds) {
    std::tm tm = Utc(seconds);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%c%04d-%02d-%02d %02d:%02d:%02d%c", quote_, tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, quote_);
    return Add(column, buf);
}

std::string InsertBuilder::Sql() const {
    return "insert into " + table_ + " (" + columns_ + ") values (" + values_ + ")";
}
