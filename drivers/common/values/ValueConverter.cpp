#include "drivers/common/values/ValueConverter.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>

#include "core/Cp1252.h"
#include "drivers/common/base/SqlStates.h"
#include "drivers/common/values/Datetime.h"
#include "drivers/common/values/TypeInfo.h"
#include "drivers/common/values/WideText.h"

namespace odbcdrv {

namespace {

bool IsTextCType(SQLSMALLINT c) {
    return c == SQL_C_CHAR || c == SQL_C_WCHAR || c == SQL_C_BINARY;
}

// Parses a number written as text (leading/trailing blanks and a leading
// "+" allowed); T is double or int64_t.
template <typename T>
bool ParseText(const std::string& s, T& out) {
    size_t b = s.find_first_not_of(" \t");
    size_t e = s.find_last_not_of(" \t");
    if (b == std::string::npos) return false;
    const char* first = s.data() + b;
    const char* last = s.data() + e + 1;
    if (*first == '+') ++first;
    auto r = std::from_chars(first, last, out);
    return r.ec == std::errc() && r.ptr == last;
}

bool ParseNumber(const std::string& s, double& out) {
    return ParseText(s, out);
}
bool ParseInteger(const std::string& s, int64_t& out) {
    return ParseText(s, out);
}

// Accepts "yyyy-mm-dd", "hh:mm:ss" and "yyyy-mm-dd hh:mm:ss[.fff]" of
// existing dates and times.
bool ParseDatetime(const std::string& s, SQL_TIMESTAMP_STRUCT& ts, bool& hasDate, bool& hasTime) {
    return ReadDatetime(s, ts, hasDate, hasTime) == DatetimeText::Valid;
}

struct Numeric {
    bool isInt = true;
    int64_t i = 0;
    double d = 0;
};

// The value as a number, or an error state for values that are not numbers.
const char* AsNumber(const Value& v, Numeric& n) {
    switch (v.kind) {
        case Value::Kind::Int:
            n.isInt = true;
            n.i = v.i;
            n.d = static_cast<double>(v.i);
            return nullptr;
        case Value::Kind::Double:
            n.isInt = false;
            n.d = v.d;
            return nullptr;
        case Value::Kind::Text:
        case Value::Kind::Decimal:
            if (ParseInteger(v.s, n.i)) {
                n.isInt = true;
                n.d = static_cast<double>(n.i);
                return nullptr;
            }
            if (ParseNumber(v.s, n.d)) {
                n.isInt = false;
                return nullptr;
            }
            return state::kInvalidCharValue;
        default:
            return state::kRestrictedType;
    }
}

// A value of fixed size into the buffer; a fraction that did not fit is
// reported with 01S07.
template <class T>
SQLRETURN PutFixed(const T& value, SQLPOINTER target, SQLLEN* ind, Diagnostics& diag,
                   bool fractionCut = false) {
    std::memcpy(target, &value, sizeof value);
    if (ind) *ind = sizeof value;
    if (fractionCut) {
        diag.Add(state::kFractionalTruncation);
        return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

template <class T>
SQLRETURN PutInteger(const Numeric& n, SQLPOINTER target, SQLLEN* ind, Diagnostics& diag) {
    bool fractional = false;
    T out;
    if (n.isInt) {
        if (n.i < static_cast<int64_t>(std::numeric_limits<T>::min()) ||
            (n.i > 0 &&
             static_cast<uint64_t>(n.i) > static_cast<uint64_t>(std::numeric_limits<T>::max()))) {
            diag.Add(state::kOutOfRange);
            return SQL_ERROR;
        }
        out = static_cast<T>(n.i);
    } else {
        double t = std::trunc(n.d);
        if (std::isnan(n.d) || t < static_cast<double>(std::numeric_limits<T>::min()) ||
            t > static_cast<double>(std::numeric_limits<T>::max())) {
            diag.Add(state::kOutOfRange);
            return SQL_ERROR;
        }
        fractional = t != n.d;
        out = static_cast<T>(t);
    }
    return PutFixed(out, target, ind, diag, fractional);
}

std::string FormatDouble(double d, bool single) {
    char buf[64];
    std::to_chars_result r = single ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(d))
                                    : std::to_chars(buf, buf + sizeof buf, d);
    return std::string(buf, r.ptr);
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

// A piece fills the buffer: clients that read a long value in pieces count on
// it (LibreOffice takes every cut piece as BufferLength - 1 bytes), so a
// character of several bytes may end in the next piece.
SQLRETURN PutPieces(const char* data, size_t size, size_t terminator, SQLPOINTER target,
                    SQLLEN bufferLength, SQLLEN* ind, GetDataState& st, Diagnostics& diag) {
    if (bufferLength < 0) {
        diag.Add(state::kInvalidBufferLength);
        return SQL_ERROR;
    }
    size_t remaining = size - st.offset;
    size_t room = 0;
    if (target && static_cast<size_t>(bufferLength) > terminator)
        room = static_cast<size_t>(bufferLength) - terminator;
    if (terminator == 2) room &= ~size_t{1};
    size_t n = remaining < room ? remaining : room;
    if (target && static_cast<size_t>(bufferLength) >= terminator) {
        std::memcpy(target, data + st.offset, n);
        std::memset(static_cast<char*>(target) + n, 0, terminator);
    }
    if (ind) *ind = static_cast<SQLLEN>(remaining);
    if (n < remaining || (terminator > 0 && static_cast<size_t>(bufferLength) < terminator)) {
        st.offset += n;
        diag.Add(state::kTruncated);
        return SQL_SUCCESS_WITH_INFO;
    }
    st.offset += n;
    st.done = true;
    return SQL_SUCCESS;
}

SQLRETURN PutDatetime(const Value& v, SQLSMALLINT cType, SQLPOINTER target, SQLLEN* ind,
                      Diagnostics& diag) {
    SQL_TIMESTAMP_STRUCT ts{};
    bool hasDate = false, hasTime = false;
    switch (v.kind) {
        case Value::Kind::Date:
            ts = v.ts;
            hasDate = true;
            break;
        case Value::Kind::Time:
            ts = v.ts;
            hasTime = true;
            break;
        case Value::Kind::Timestamp:
            ts = v.ts;
            hasDate = hasTime = true;
            break;
        case Value::Kind::Text:
            if (!ParseDatetime(v.s, ts, hasDate, hasTime)) {
                diag.Add(state::kInvalidDatetime);
                return SQL_ERROR;
            }
            break;
        default:
            diag.Add(state::kRestrictedType);
            return SQL_ERROR;
    }
    if (cType == SQL_C_TYPE_DATE || cType == SQL_C_DATE) {
        if (!hasDate) {
            diag.Add(state::kRestrictedType);
            return SQL_ERROR;
        }
        const SQL_DATE_STRUCT d{ts.year, ts.month, ts.day};
        return PutFixed(d, target, ind, diag,
                        hasTime && (ts.hour || ts.minute || ts.second || ts.fraction));
    }
    if (cType == SQL_C_TYPE_TIME || cType == SQL_C_TIME) {
        if (!hasTime) {
            diag.Add(state::kRestrictedType);
            return SQL_ERROR;
        }
        const SQL_TIME_STRUCT t{ts.hour, ts.minute, ts.second};
        return PutFixed(t, target, ind, diag, ts.fraction != 0);
    }
    if (!hasDate) SetToday(ts);  // a time alone takes today's date
    return PutFixed(ts, target, ind, diag);
}

}  // namespace

bool ValueConverter::ParseInteger(const std::string& s, int64_t& out) {
    return odbcdrv::ParseInteger(s, out);
}

bool ValueConverter::ParseNumber(const std::string& s, double& out) {
    return odbcdrv::ParseNumber(s, out);
}

bool ValueConverter::ParseDatetime(const std::string& s, SQL_TIMESTAMP_STRUCT& ts, bool& hasDate,
                                   bool& hasTime) {
    return odbcdrv::ParseDatetime(s, ts, hasDate, hasTime);
}

std::string ValueConverter::FormatDouble(double d, bool single) {
    return odbcdrv::FormatDouble(d, single);
}

std::string ValueConverter::ToText(const Value& v, const ColumnInfo& col) {
    char buf[64];
    switch (v.kind) {
        case Value::Kind::Null:
            return {};
        case Value::Kind::Int:
            return std::to_string(v.i);
        case Value::Kind::Double:
            return FormatDouble(v.d, col.sqlType == SQL_REAL);
        case Value::Kind::Text:
        case Value::Kind::Decimal:
            return v.s;
        case Value::Kind::Binary:
            return Hex(v.s);
        case Value::Kind::Date:
            std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", v.ts.year, v.ts.month, v.ts.day);
            return buf;
        case Value::Kind::Time:
            std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", v.ts.hour, v.ts.minute, v.ts.second);
            return buf;
        case Value::Kind::Timestamp: {
            std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02u:%02u:%02u", v.ts.year, v.ts.month,
                          v.ts.day, v.ts.hour, v.ts.minute, v.ts.second);
            std::string out = buf;
            if (v.ts.fraction) {
                std::snprintf(buf, sizeof buf, ".%09u", static_cast<unsigned>(v.ts.fraction));
                std::string frac = buf;
                while (frac.back() == '0') frac.pop_back();
                out += frac;
            }
            return out;
        }
    }
    return {};
}

namespace {

// A value as SQL_C_CHAR, SQL_C_WCHAR or SQL_C_BINARY, in pieces when the
// buffer is short. Converted once per value: the pieces after the first read
// what the first one converted. Text the application takes as it is held is
// read from the value itself.
SQLRETURN PutBytes(const Value& v, const ColumnInfo& col, SQLSMALLINT cType, SQLPOINTER target,
                   SQLLEN bufferLength, SQLLEN* ind, GetDataState& st, Diagnostics& diag,
                   const ClientCharset& charset, SQLULEN maxLength) {
    const bool plainBytes = v.kind == Value::Kind::Binary || v.kind == Value::Kind::Text ||
                            v.kind == Value::Kind::Decimal;
    const bool asHeld =
        plainBytes && (cType == SQL_C_BINARY ||
                       (cType == SQL_C_CHAR && !charset.Utf8() && v.kind != Value::Kind::Binary));
    if (!asHeld && st.convertedFor != cType) {
        std::string formatted;
        if (!plainBytes || v.kind == Value::Kind::Binary)
            formatted = ValueConverter::ToText(v, col);
        const std::string& text = plainBytes && v.kind != Value::Kind::Binary ? v.s : formatted;
        if (cType == SQL_C_CHAR) {
            st.converted = charset.ToClient(text);
        } else if (cType == SQL_C_WCHAR) {
            st.converted.resize(text.size() * 2);
            char* out = st.converted.data();
            for (unsigned char c : text) {
                const auto unit = static_cast<uint16_t>(cp1252::ToUnicode(c));
                std::memcpy(out, &unit, 2);
                out += 2;
            }
        } else {
            st.converted = text;
        }
        st.convertedFor = cType;
    }
    const std::string& bytes = asHeld ? v.s : st.converted;
    size_t size = bytes.size();
    if (maxLength > 0 && (IsCharType(col.sqlType) || IsBinaryType(col.sqlType)) && size > maxLength)
        size = cType == SQL_C_WCHAR ? maxLength & ~SQLULEN{1} : maxLength;
    const size_t terminator = cType == SQL_C_CHAR ? 1 : cType == SQL_C_WCHAR ? 2 : 0;
    SQLRETURN rc = PutPieces(bytes.data(), size, terminator, target, bufferLength, ind, st, diag);
    if (st.done) {
        st.converted.clear();
        st.converted.shrink_to_fit();
    }
    return rc;
}

// A value as one of the numeric C types.
SQLRETURN PutNumber(const Value& v, SQLSMALLINT cType, SQLPOINTER target, SQLLEN* ind,
                    Diagnostics& diag) {
    Numeric n;
    if (const char* bad = AsNumber(v, n)) {
        diag.Add(bad);
        return SQL_ERROR;
    }
    switch (cType) {
        case SQL_C_BIT: {
            if (n.d < 0 || n.d >= 2) {
                diag.Add(state::kOutOfRange);
                return SQL_ERROR;
            }
            const unsigned char b = n.d >= 1 ? 1 : 0;
            return PutFixed(b, target, ind, diag, !n.isInt && n.d != b);
        }
        case SQL_C_STINYINT:
        case SQL_C_TINYINT:
            return PutInteger<signed char>(n, target, ind, diag);
        case SQL_C_UTINYINT:
            return PutInteger<unsigned char>(n, target, ind, diag);
        case SQL_C_SSHORT:
        case SQL_C_SHORT:
            return PutInteger<SQLSMALLINT>(n, target, ind, diag);
        case SQL_C_USHORT:
            return PutInteger<SQLUSMALLINT>(n, target, ind, diag);
        case SQL_C_SLONG:
        case SQL_C_LONG:
            return PutInteger<SQLINTEGER>(n, target, ind, diag);
        case SQL_C_ULONG:
            return PutInteger<SQLUINTEGER>(n, target, ind, diag);
        case SQL_C_SBIGINT:
            return PutInteger<SQLBIGINT>(n, target, ind, diag);
        case SQL_C_UBIGINT:
            if (n.isInt && n.i < 0) {
                diag.Add(state::kOutOfRange);
                return SQL_ERROR;
            }
            return PutInteger<int64_t>(n, target, ind, diag);
        case SQL_C_DOUBLE: {
            const double d = n.isInt ? static_cast<double>(n.i) : n.d;
            return PutFixed(d, target, ind, diag);
        }
        case SQL_C_FLOAT: {
            double d = n.isInt ? static_cast<double>(n.i) : n.d;
            if (std::fabs(d) > std::numeric_limits<float>::max()) {
                diag.Add(state::kOutOfRange);
                return SQL_ERROR;
            }
            const float f = static_cast<float>(d);
            return PutFixed(f, target, ind, diag);
        }
        default:
            diag.Add(state::kInvalidCType);
            return SQL_ERROR;
    }
}

}  // namespace

SQLRETURN ValueConverter::Deliver(const Value& v, const ColumnInfo& col, SQLSMALLINT cType,
                                  SQLPOINTER target, SQLLEN bufferLength, SQLLEN* ind,
                                  GetDataState& st, Diagnostics& diag, const ClientCharset& charset,
                                  SQLULEN maxLength) {
    if (cType == SQL_C_DEFAULT) cType = DefaultCType(col.sqlType, col.isUnsigned);
    if (st.done) return SQL_NO_DATA;
    if (v.IsNull()) {
        if (!ind) {
            diag.Add(state::kIndicatorRequired);
            return SQL_ERROR;
        }
        *ind = SQL_NULL_DATA;
        if (IsTextCType(cType)) st.done = true;
        return SQL_SUCCESS;
    }
    if (!target && !IsTextCType(cType)) {
        diag.Add(state::kInvalidNullPointer);
        return SQL_ERROR;
    }
    switch (cType) {
        case SQL_C_CHAR:
        case SQL_C_WCHAR:
        case SQL_C_BINARY:
            return PutBytes(v, col, cType, target, bufferLength, ind, st, diag, charset, maxLength);
        case SQL_C_BIT:
        case SQL_C_STINYINT:
        case SQL_C_TINYINT:
        case SQL_C_UTINYINT:
        case SQL_C_SSHORT:
        case SQL_C_SHORT:
        case SQL_C_USHORT:
        case SQL_C_SLONG:
        case SQL_C_LONG:
        case SQL_C_ULONG:
        case SQL_C_SBIGINT:
        case SQL_C_UBIGINT:
        case SQL_C_DOUBLE:
        case SQL_C_FLOAT:
            return PutNumber(v, cType, target, ind, diag);
        case SQL_C_TYPE_DATE:
        case SQL_C_TYPE_TIME:
        case SQL_C_TYPE_TIMESTAMP:
        case SQL_C_DATE:
        case SQL_C_TIME:
        case SQL_C_TIMESTAMP:
            return PutDatetime(v, cType, target, ind, diag);
        default:
            diag.Add(state::kInvalidCType);
            return SQL_ERROR;
    }
}

}  // namespace odbcdrv
