#include "drivers/common/values/Datetime.h"

#include <cctype>
#include <cstdio>
#include <ctime>

#include "drivers/common/base/Backend.h"
#include "drivers/common/base/SqlStates.h"

namespace odbcdrv {

namespace {

// Reads 1 to `most` digits at s[i].
bool Number(const std::string& s, size_t& i, unsigned& v, size_t most) {
    size_t start = i;
    v = 0;
    while (i < s.size() && i - start < most && std::isdigit(static_cast<unsigned char>(s[i])))
        v = v * 10 + static_cast<unsigned>(s[i++] - '0');
    return i > start;
}

bool Expect(const std::string& s, size_t& i, char c) {
    if (i >= s.size() || s[i] != c) return false;
    ++i;
    return true;
}

void SkipBlanks(const std::string& s, size_t& i) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
}

bool ReadDate(const std::string& s, size_t& i, SQL_TIMESTAMP_STRUCT& ts) {
    unsigned y, m, d;
    if (!Number(s, i, y, 4) || !Expect(s, i, '-') || !Number(s, i, m, 2) || !Expect(s, i, '-') ||
        !Number(s, i, d, 2))
        return false;
    ts.year = static_cast<SQLSMALLINT>(y);
    ts.month = static_cast<SQLUSMALLINT>(m);
    ts.day = static_cast<SQLUSMALLINT>(d);
    return true;
}

bool ReadTime(const std::string& s, size_t& i, SQL_TIMESTAMP_STRUCT& ts) {
    unsigned h, m, sec;
    if (!Number(s, i, h, 2) || !Expect(s, i, ':') || !Number(s, i, m, 2) || !Expect(s, i, ':') ||
        !Number(s, i, sec, 2))
        return false;
    ts.hour = static_cast<SQLUSMALLINT>(h);
    ts.minute = static_cast<SQLUSMALLINT>(m);
    ts.second = static_cast<SQLUSMALLINT>(sec);
    if (i < s.size() && s[i] == '.') {
        ++i;
        SQLUINTEGER frac = 0;
        int digits = 0;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            if (digits < 9) frac = frac * 10 + static_cast<SQLUINTEGER>(s[i] - '0'), ++digits;
            ++i;
        }
        while (digits++ < 9) frac *= 10;
        ts.fraction = frac;
    }
    return true;
}

[[noreturn]] void Overflow(const char* what) {
    Refuse(state::kDatetimeOverflow, std::string("the ") + what + " does not exist");
}

}  // namespace

bool DateExists(int year, unsigned month, unsigned day) {
    static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= days[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool TimeExists(unsigned hour, unsigned minute, unsigned second, unsigned long fraction) {
    return hour <= 23 && minute <= 59 && second <= 59 && fraction <= 999999999ul;
}

DatetimeText ReadDatetime(const std::string& text, SQL_TIMESTAMP_STRUCT& ts, bool& hasDate,
                          bool& hasTime) {
    ts = {};
    hasDate = hasTime = false;
    size_t i = 0;
    SkipBlanks(text, i);
    // An escape: {d '...'}, {t '...'} or {ts '...'}.
    char escape = 0;
    if (i < text.size() && text[i] == '{') {
        ++i;
        SkipBlanks(text, i);
        size_t word = i;
        while (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i]))) ++i;
        std::string kind = text.substr(word, i - word);
        for (char& c : kind) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (kind == "d")
            escape = 'd';
        else if (kind == "t")
            escape = 't';
        else if (kind == "ts")
            escape = 's';
        else
            return DatetimeText::None;
        SkipBlanks(text, i);
        if (!Expect(text, i, '\'')) return DatetimeText::None;
    }
    size_t mark = i;
    if (escape != 't' && ReadDate(text, i, ts)) {
        hasDate = true;
        mark = i;
        if (i < text.size() && (text[i] == ' ' || text[i] == 'T')) {
            ++i;
            SkipBlanks(text, i);
            if (ReadTime(text, i, ts))
                hasTime = true;
            else
                i = mark;
        }
    } else {
        i = mark;
        ts = {};
        if (escape == 'd' || !ReadTime(text, i, ts)) return DatetimeText::None;
        hasTime = true;
    }
    if (escape) {
        if (!Expect(text, i, '\'')) return DatetimeText::None;
        SkipBlanks(text, i);
        if (!Expect(text, i, '}')) return DatetimeText::None;
        if (escape == 'd' && hasTime) return DatetimeText::None;
        if (escape == 's') hasTime = true;
    }
    SkipBlanks(text, i);
    if (i != text.size()) return DatetimeText::None;
    if (hasDate && !DateExists(ts.year, ts.month, ts.day)) return DatetimeText::Invalid;
    if (hasTime && !TimeExists(ts.hour, ts.minute, ts.second, ts.fraction))
        return DatetimeText::Invalid;
    return DatetimeText::Valid;
}

Value MakeDatetime(Value::Kind kind, const SQL_TIMESTAMP_STRUCT& ts) {
    Value v;
    v.kind = kind;
    v.ts = ts;
    return v;
}

void SetToday(SQL_TIMESTAMP_STRUCT& ts) {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    ts.year = static_cast<SQLSMALLINT>(tm.tm_year + 1900);
    ts.month = static_cast<SQLUSMALLINT>(tm.tm_mon + 1);
    ts.day = static_cast<SQLUSMALLINT>(tm.tm_mday);
}

void CheckDate(const SQL_DATE_STRUCT& d) {
    if (!DateExists(d.year, d.month, d.day)) Overflow("date");
}

void CheckTime(const SQL_TIME_STRUCT& t) {
    if (!TimeExists(t.hour, t.minute, t.second)) Overflow("time");
}

void CheckTimestamp(const SQL_TIMESTAMP_STRUCT& ts) {
    if (!DateExists(ts.year, ts.month, ts.day)) Overflow("date");
    if (!TimeExists(ts.hour, ts.minute, ts.second, ts.fraction)) Overflow("time");
}

Value ToDatetime(const Value& v, SQLSMALLINT sqlType) {
    SQL_TIMESTAMP_STRUCT ts{};
    bool hasDate = false, hasTime = false;
    switch (v.kind) {
        case Value::Kind::Date:
            ts = v.ts, hasDate = true;
            break;
        case Value::Kind::Time:
            ts = v.ts, hasTime = true;
            break;
        case Value::Kind::Timestamp:
            ts = v.ts, hasDate = hasTime = true;
            break;
        case Value::Kind::Text:
            switch (ReadDatetime(v.s, ts, hasDate, hasTime)) {
                case DatetimeText::None:
                    Refuse(state::kInvalidDatetime, "'" + v.s + "'");
                case DatetimeText::Invalid:
                    Refuse(state::kDatetimeOverflow,
                           "'" + v.s + "' names no existing date or time");
                case DatetimeText::Valid:
                    break;
            }
            break;
        default:
            Refuse(state::kRestrictedType);
    }
    if (sqlType == SQL_DATE) sqlType = SQL_TYPE_DATE;
    if (sqlType == SQL_TIME) sqlType = SQL_TYPE_TIME;
    if (sqlType == SQL_TIMESTAMP) sqlType = SQL_TYPE_TIMESTAMP;
    if (sqlType == SQL_TYPE_DATE) {
        if (!hasDate) Refuse(state::kRestrictedType);
        if (hasTime && (ts.hour || ts.minute || ts.second || ts.fraction))
            Refuse("22008", "the date carries a time of day");
        ts.hour = ts.minute = ts.second = 0;
        ts.fraction = 0;
        return MakeDatetime(Value::Kind::Date, ts);
    }
    if (sqlType == SQL_TYPE_TIME) {
        if (!hasTime) Refuse(state::kRestrictedType);
        if (ts.fraction) Refuse("22008", "the time carries fractions of a second");
        ts.year = 0, ts.month = 0, ts.day = 0;
        return MakeDatetime(Value::Kind::Time, ts);
    }
    if (!hasDate) {
        SetToday(ts);  // a time alone takes today's date
    }
    return MakeDatetime(Value::Kind::Timestamp, ts);
}

}  // namespace odbcdrv
