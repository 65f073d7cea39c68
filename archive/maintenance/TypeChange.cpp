#include "archive/maintenance/TypeChange.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>

namespace {

enum class Family { Text, Integer, Exact, Approximate, Date, Time, Timestamp, Binary, Other };

Family FamilyOf(int code) {
    switch (code) {
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_LONGVARCHAR:
            return Family::Text;
        case SQL_BIT:
        case SQL_TINYINT:
        case SQL_SMALLINT:
        case SQL_INTEGER:
        case SQL_BIGINT:
            return Family::Integer;
        case SQL_NUMERIC:
        case SQL_DECIMAL:
            return Family::Exact;
        case SQL_REAL:
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return Family::Approximate;
        case SQL_TYPE_DATE:
            return Family::Date;
        case SQL_TYPE_TIME:
            return Family::Time;
        case SQL_DATETIME:
        case SQL_TYPE_TIMESTAMP:
            return Family::Timestamp;
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY:
            return Family::Binary;
        default:
            return Family::Other;
    }
}

// The range of an integer type: its least and greatest value, and the
// decimal digits of the greatest.
struct Range {
    long double least, greatest;
    int digits;
};

Range RangeOf(int code) {
    switch (code) {
        case SQL_BIT:
            return {0, 1, 1};
        case SQL_TINYINT:  // the Access kind's byte
            return {0, 255, 3};
        case SQL_SMALLINT:
            return {-32768.0L, 32767.0L, 5};
        case SQL_INTEGER:
            return {-2147483648.0L, 2147483647.0L, 10};
        default:
            return {-9223372036854775808.0L, 9223372036854775807.0L, 19};
    }
}

// A decimal number as digits without leading or trailing zeros and a
// power of ten: value = digits * 10^exponent (digits empty for zero).
struct Decimal {
    bool negative = false;
    std::string digits;
    int exponent = 0;

    int IntegerDigits() const {
        return digits.empty() ? 0 : std::max(0, int(digits.size()) + exponent);
    }
    int FractionDigits() const { return std::max(0, -exponent); }
};

// Reads a number in plain or exponent form ("-12.50", "1e+20"). With
// canonical, only the form a number's own text has: no sign but "-", no
// leading zeros, no exponent, a fraction with at least one digit.
bool ParseDecimal(const std::string& text, Decimal& out, bool canonical) {
    out = Decimal();
    size_t i = 0;
    if (i < text.size() && (text[i] == '-' || (!canonical && text[i] == '+')))
        out.negative = text[i++] == '-';
    std::string digits;
    int pointAt = -1;
    const size_t first = i;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            digits += c;
        } else if (c == '.' && pointAt < 0) {
            pointAt = int(digits.size());
        } else {
            break;
        }
    }
    if (digits.empty()) return false;
    const int integerPart = pointAt < 0 ? int(digits.size()) : pointAt;
    if (canonical && (integerPart == 0 || (integerPart > 1 && text[first] == '0') ||
                      pointAt == int(digits.size())))
        return false;
    int exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        if (canonical) return false;
        const char* begin = text.data() + i + 1;
        if (*begin == '+') ++begin;
        const auto [end, ec] = std::from_chars(begin, text.data() + text.size(), exponent);
        if (ec != std::errc() || end != text.data() + text.size()) return false;
        if (exponent > 400 || exponent < -400) return false;
        i = text.size();
    }
    if (i != text.size()) return false;
    out.exponent = exponent - (pointAt < 0 ? 0 : int(digits.size()) - pointAt);
    const size_t lead = digits.find_first_not_of('0');
    if (lead == std::string::npos) {
        // Zero: "-0" is no number's own text.
        if (canonical && out.negative) return false;
        out.negative = false;
        out.exponent = 0;
        return true;
    }
    digits.erase(0, lead);
    while (digits.back() == '0') {
        digits.pop_back();
        ++out.exponent;
    }
    out.digits = digits;
    return true;
}

bool FitsInteger(const Decimal& d, int code) {
    if (d.FractionDigits() > 0) return false;
    const Range r = RangeOf(code);
    if (d.IntegerDigits() > r.digits) return false;
    long double value = 0;
    for (char c : d.digits) value = value * 10 + (c - '0');
    for (int e = 0; e < d.exponent; ++e) value *= 10;
    if (d.negative) value = -value;
    return value >= r.least && value <= r.greatest;
}

bool FitsExact(const Decimal& d, int precision, int scale) {
    if (precision <= 0) return false;
    return d.FractionDigits() <= scale && d.IntegerDigits() <= precision - scale;
}

// The number a floating-point column makes of a value, in its shortest text.
std::string Approximated(const std::string& value, int code) {
    const double parsed = std::strtod(value.c_str(), nullptr);
    char buf[64];
    const auto r = code == SQL_REAL ? std::to_chars(buf, buf + sizeof buf, float(parsed))
                                    : std::to_chars(buf, buf + sizeof buf, parsed);
    return std::string(buf, r.ptr);
}

bool SameValue(const Decimal& a, const Decimal& b) {
    return a.negative == b.negative && a.digits == b.digits && a.exponent == b.exponent;
}

bool Digits(const std::string& text, size_t at, size_t n) {
    for (size_t i = at; i < at + n; ++i)
        if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
    return true;
}

// "YYYY-MM-DD", "HH:MM:SS" and "YYYY-MM-DD HH:MM:SS" as written.
bool IsDateText(const std::string& t) {
    return t.size() == 10 && Digits(t, 0, 4) && t[4] == '-' && Digits(t, 5, 2) && t[7] == '-' &&
           Digits(t, 8, 2);
}
bool IsTimeText(const std::string& t) {
    return t.size() == 8 && Digits(t, 0, 2) && t[2] == ':' && Digits(t, 3, 2) && t[5] == ':' &&
           Digits(t, 6, 2);
}
bool IsTimestampText(const std::string& t) {
    return t.size() == 19 && IsDateText(t.substr(0, 10)) && t[10] == ' ' &&
           IsTimeText(t.substr(11));
}

}  // namespace

bool TypeChange::IsBinary(int code) {
    return FamilyOf(code) == Family::Binary;
}

bool TypeChange::Widens() const {
    const Family from = FamilyOf(from_.code), to = FamilyOf(to_.code);
    const bool fromLong = from_.code == SQL_LONGVARCHAR || from_.code == SQL_LONGVARBINARY;
    if (from == Family::Text && to == Family::Text)
        return to_.code == SQL_LONGVARCHAR || (!fromLong && to_.size >= from_.size);
    if (from == Family::Binary && to == Family::Binary)
        return to_.code == SQL_LONGVARBINARY ||
               (!fromLong && to_.code == SQL_VARBINARY && to_.size >= from_.size);
    if (from == Family::Integer && from_.code != SQL_BIT) {
        const Range r = RangeOf(from_.code);
        if (to == Family::Integer && to_.code != SQL_BIT) {
            const Range t = RangeOf(to_.code);
            return t.least <= r.least && t.greatest >= r.greatest;
        }
        if (to == Family::Exact) return to_.size > 0 && to_.size - to_.digits >= r.digits;
        if (to == Family::Approximate) return r.digits <= (to_.code == SQL_REAL ? 5 : 15);
        return false;
    }
    if (from == Family::Exact && from_.size > 0) {
        if (to == Family::Exact)
            return to_.size > 0 && to_.digits >= from_.digits &&
                   to_.size - to_.digits >= from_.size - from_.digits;
        if (to == Family::Integer && to_.code != SQL_BIT && from_.digits == 0)
            return RangeOf(to_.code).digits > from_.size;
        if (to == Family::Approximate) return to_.code != SQL_REAL && from_.size <= 15;
        return false;
    }
    if (from == Family::Approximate && to == Family::Approximate)
        return from_.code == SQL_REAL || to_.code != SQL_REAL;
    return from == Family::Date && to == Family::Timestamp;
}

bool TypeChange::Keeps(const std::string& value) const {
    const Family from = FamilyOf(from_.code), to = FamilyOf(to_.code);
    if (from == Family::Binary || to == Family::Binary) {
        if (from != Family::Binary || to != Family::Binary) return false;
        if (to_.code == SQL_LONGVARBINARY) return true;
        // A fixed width pads a shorter value.
        return to_.code == SQL_BINARY ? value.size() == size_t(to_.size)
                                      : value.size() <= size_t(to_.size);
    }
    if (from == Family::Other || to == Family::Other) return false;
    if (to == Family::Text) {
        // The engines write a floating-point number and a truth value as
        // text in forms of their own.
        if (from == Family::Approximate || from_.code == SQL_BIT) return false;
        if (to_.code == SQL_LONGVARCHAR) return true;
        size_t length = value.size();
        // A fixed-width text's trailing blanks are its padding.
        if (from_.code == SQL_CHAR)
            while (length > 0 && value[length - 1] == ' ') --length;
        return length <= size_t(to_.size);
    }
    if (to == Family::Date)
        return from == Family::Text ? IsDateText(value)
                                    : from == Family::Timestamp && value.size() == 19 &&
                                          value.compare(10, 9, " 00:00:00") == 0;
    if (to == Family::Time) return from == Family::Text && IsTimeText(value);
    if (to == Family::Timestamp)
        return from == Family::Date ||
               (from == Family::Text && (IsDateText(value) || IsTimestampText(value)));
    // A number.
    if (from == Family::Date || from == Family::Time || from == Family::Timestamp) return false;
    const bool text = from == Family::Text;
    Decimal d;
    if (!ParseDecimal(value, d, text)) return false;
    if (to == Family::Integer) {
        // A text gives back what it held only without a fraction.
        if (text && value.find('.') != std::string::npos) return false;
        return FitsInteger(d, to_.code);
    }
    if (to == Family::Exact) {
        // "12.50" is 12.50 to a scale of 2 or more, not to one.
        const size_t point = value.find('.');
        if (text && point != std::string::npos && value.size() - point - 1 > size_t(to_.digits))
            return false;
        return FitsExact(d, to_.size, to_.digits);
    }
    const std::string approximated = Approximated(value, to_.code);
    // A text must come back as it was: "12.50" would come back as 12.5.
    if (text) return approximated == value;
    Decimal back;
    return ParseDecimal(approximated, back, false) && SameValue(back, d);
}
