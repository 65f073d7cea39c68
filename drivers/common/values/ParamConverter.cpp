#include "drivers/common/values/ParamConverter.h"

#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>

#include "drivers/common/base/SqlStates.h"
#include "drivers/common/values/Datetime.h"
#include "drivers/common/values/TypeInfo.h"
#include "drivers/common/values/ValueConverter.h"
#include "drivers/common/values/WideText.h"

namespace odbcdrv {

namespace {

template <class T>
T Read(const void* data) {
    T v;
    std::memcpy(&v, data, sizeof v);
    return v;
}

// SQL_NUMERIC_STRUCT: a magnitude of 128 bits, little-endian, with its sign
// and scale, written out as a decimal number.
std::string NumericText(const SQL_NUMERIC_STRUCT& n) {
    unsigned __int128 mag = 0;
    for (int i = SQL_MAX_NUMERIC_LEN - 1; i >= 0; --i) mag = (mag << 8) | n.val[i];
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(mag % 10)));
        mag /= 10;
    } while (mag);
    if (n.scale < 0) {
        if (digits != "0") digits.append(static_cast<size_t>(-n.scale), '0');
    } else if (n.scale > 0) {
        auto places = static_cast<size_t>(n.scale);
        if (digits.size() <= places) digits.insert(0, places - digits.size() + 1, '0');
        digits.insert(digits.size() - places, 1, '.');
    }
    bool zero = digits.find_first_not_of("0.") == std::string::npos;
    return n.sign == 0 && !zero ? "-" + digits : digits;
}

// A plain decimal number: sign, digits, at most one point.
bool IsDecimalText(const std::string& s, std::string& out) {
    size_t b = s.find_first_not_of(" \t"), e = s.find_last_not_of(" \t");
    if (b == std::string::npos) return false;
    std::string t = s.substr(b, e - b + 1);
    size_t i = t[0] == '+' || t[0] == '-' ? 1 : 0;
    bool digit = false, point = false;
    for (size_t k = i; k < t.size(); ++k) {
        if (t[k] >= '0' && t[k] <= '9')
            digit = true;
        else if (t[k] == '.' && !point)
            point = true;
        else
            return false;
    }
    if (!digit) return false;
    out = t[0] == '+' ? t.substr(1) : t;
    return true;
}

bool IsIntegerSql(SQLSMALLINT t) {
    return t == SQL_BIT || t == SQL_TINYINT || t == SQL_SMALLINT || t == SQL_INTEGER ||
           t == SQL_BIGINT;
}

bool IsApproximate(SQLSMALLINT t) {
    return t == SQL_REAL || t == SQL_FLOAT || t == SQL_DOUBLE;
}

// The value as the C type gave it, before the SQL type is applied.
Value FromC(SQLSMALLINT cType, const void* data, SQLLEN length, const ClientCharset& charset) {
    switch (cType) {
        case SQL_C_CHAR:
            return Value::String(charset.FromClient(
                std::string(static_cast<const char*>(data), static_cast<size_t>(length))));
        case SQL_C_WCHAR:
            return Value::String(
                FromWide(static_cast<const SQLWCHAR*>(data), static_cast<SQLINTEGER>(length / 2)));
        case SQL_C_BINARY:
            return Value::Bytes(
                std::string(static_cast<const char*>(data), static_cast<size_t>(length)));
        case SQL_C_BIT: {
            unsigned char b = Read<unsigned char>(data);
            if (b > 1) Refuse(state::kOutOfRange, "a bit is 0 or 1");
            return Value::Integer(b);
        }
        case SQL_C_STINYINT:
        case SQL_C_TINYINT:
            return Value::Integer(Read<signed char>(data));
        case SQL_C_UTINYINT:
            return Value::Integer(Read<unsigned char>(data));
        case SQL_C_SSHORT:
        case SQL_C_SHORT:
            return Value::Integer(Read<SQLSMALLINT>(data));
        case SQL_C_USHORT:
            return Value::Integer(Read<SQLUSMALLINT>(data));
        case SQL_C_SLONG:
        case SQL_C_LONG:
            return Value::Integer(Read<SQLINTEGER>(data));
        case SQL_C_ULONG:
            return Value::Integer(Read<SQLUINTEGER>(data));
        case SQL_C_SBIGINT:
            return Value::Integer(Read<SQLBIGINT>(data));
        case SQL_C_UBIGINT: {
            SQLUBIGINT u = Read<SQLUBIGINT>(data);
            if (u > static_cast<SQLUBIGINT>(std::numeric_limits<int64_t>::max()))
                Refuse(state::kOutOfRange);
            return Value::Integer(static_cast<int64_t>(u));
        }
        case SQL_C_FLOAT:
            return Value::Real(Read<float>(data));
        case SQL_C_DOUBLE:
            return Value::Real(Read<double>(data));
        case SQL_C_NUMERIC: {
            Value v;
            v.kind = Value::Kind::Decimal;
            v.s = NumericText(Read<SQL_NUMERIC_STRUCT>(data));
            return v;
        }
        case SQL_C_TYPE_DATE:
        case SQL_C_DATE: {
            auto d = Read<SQL_DATE_STRUCT>(data);
            CheckDate(d);
            SQL_TIMESTAMP_STRUCT ts{};
            ts.year = d.year;
            ts.month = d.month;
            ts.day = d.day;
            return MakeDatetime(Value::Kind::Date, ts);
        }
        case SQL_C_TYPE_TIME:
        case SQL_C_TIME: {
            auto t = Read<SQL_TIME_STRUCT>(data);
            CheckTime(t);
            SQL_TIMESTAMP_STRUCT ts{};
            ts.hour = t.hour;
            ts.minute = t.minute;
            ts.second = t.second;
            return MakeDatetime(Value::Kind::Time, ts);
        }
        case SQL_C_TYPE_TIMESTAMP:
        case SQL_C_TIMESTAMP: {
            auto ts = Read<SQL_TIMESTAMP_STRUCT>(data);
            CheckTimestamp(ts);
            return MakeDatetime(Value::Kind::Timestamp, ts);
        }
        default:
            Refuse(state::kInvalidCType);
    }
}

int64_t ToInteger(const Value& v, SQLSMALLINT sqlType) {
    int64_t i = 0;
    switch (v.kind) {
        case Value::Kind::Int:
            i = v.i;
            break;
        case Value::Kind::Double: {
            if (!std::isfinite(v.d) || std::fabs(v.d) >= 9.2e18) Refuse(state::kOutOfRange);
            if (std::trunc(v.d) != v.d)
                Refuse(state::kRightTruncated, "the number has a fraction the type cannot hold");
            i = static_cast<int64_t>(v.d);
            break;
        }
        case Value::Kind::Text:
        case Value::Kind::Decimal: {
            double d = 0;
            if (ValueConverter::ParseInteger(v.s, i)) break;
            if (!ValueConverter::ParseNumber(v.s, d)) Refuse(state::kInvalidCharValue);
            return ToInteger(Value::Real(d), sqlType);
        }
        default:
            Refuse(state::kRestrictedType);
    }
    int64_t lo = std::numeric_limits<int64_t>::min(), hi = std::numeric_limits<int64_t>::max();
    switch (sqlType) {
        case SQL_BIT:
            lo = 0, hi = 1;
            break;
        case SQL_TINYINT:
            lo = -128, hi = 255;
            break;
        case SQL_SMALLINT:
            lo = -32768, hi = 32767;
            break;
        case SQL_INTEGER:
            lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
            break;
        default:
            break;
    }
    if (i < lo || i > hi) Refuse(state::kOutOfRange);
    return i;
}

double ToDouble(const Value& v) {
    switch (v.kind) {
        case Value::Kind::Int:
            return static_cast<double>(v.i);
        case Value::Kind::Double:
            return v.d;
        case Value::Kind::Text:
        case Value::Kind::Decimal: {
            double d = 0;
            if (!ValueConverter::ParseNumber(v.s, d)) Refuse(state::kInvalidCharValue);
            return d;
        }
        default:
            Refuse(state::kRestrictedType);
    }
}

}  // namespace

SQLLEN ParamConverter::FixedSize(SQLSMALLINT cType) {
    switch (cType) {
        case SQL_C_CHAR:
        case SQL_C_WCHAR:
        case SQL_C_BINARY:
            return 0;
        case SQL_C_BIT:
        case SQL_C_STINYINT:
        case SQL_C_TINYINT:
        case SQL_C_UTINYINT:
            return 1;
        case SQL_C_SSHORT:
        case SQL_C_SHORT:
        case SQL_C_USHORT:
            return 2;
        case SQL_C_SLONG:
        case SQL_C_LONG:
        case SQL_C_ULONG:
        case SQL_C_FLOAT:
            return 4;
        case SQL_C_SBIGINT:
        case SQL_C_UBIGINT:
        case SQL_C_DOUBLE:
            return 8;
        case SQL_C_NUMERIC:
            return sizeof(SQL_NUMERIC_STRUCT);
        case SQL_C_TYPE_DATE:
        case SQL_C_DATE:
            return sizeof(SQL_DATE_STRUCT);
        case SQL_C_TYPE_TIME:
        case SQL_C_TIME:
            return sizeof(SQL_TIME_STRUCT);
        case SQL_C_TYPE_TIMESTAMP:
        case SQL_C_TIMESTAMP:
            return sizeof(SQL_TIMESTAMP_STRUCT);
        default:
            return -1;
    }
}

Value ParamConverter::Convert(SQLSMALLINT cType, SQLSMALLINT sqlType, const void* data,
                              SQLLEN length, const ClientCharset& charset) {
    if (cType == SQL_C_DEFAULT) cType = DefaultCType(sqlType, false);
    Value v = FromC(cType, data, length, charset);
    switch (sqlType) {
        case SQL_DATE:
            sqlType = SQL_TYPE_DATE;
            break;
        case SQL_TIME:
            sqlType = SQL_TYPE_TIME;
            break;
        case SQL_TIMESTAMP:
            sqlType = SQL_TYPE_TIMESTAMP;
            break;
        default:
            break;
    }
    if (IsCharType(sqlType)) {
        if (v.kind == Value::Kind::Text || v.kind == Value::Kind::Binary)
            return Value::String(std::move(v.s));
        ColumnInfo plain;
        plain.sqlType = cType == SQL_C_FLOAT ? SQL_REAL : SQL_DOUBLE;
        return Value::String(ValueConverter::ToText(v, plain));
    }
    if (IsBinaryType(sqlType)) {
        if (v.kind != Value::Kind::Text && v.kind != Value::Kind::Binary)
            Refuse(state::kRestrictedType);
        return Value::Bytes(std::move(v.s));
    }
    if (IsIntegerSql(sqlType)) {
        if (sqlType == SQL_BIT && v.kind == Value::Kind::Double && v.d > 0 && v.d < 2)
            return Value::Integer(v.d >= 1 ? 1 : 0);
        return Value::Integer(ToInteger(v, sqlType));
    }
    if (IsApproximate(sqlType)) return Value::Real(ToDouble(v));
    if (sqlType == SQL_NUMERIC || sqlType == SQL_DECIMAL) {
        Value d;
        d.kind = Value::Kind::Decimal;
        switch (v.kind) {
            case Value::Kind::Int:
                d.s = std::to_string(v.i);
                return d;
            case Value::Kind::Double:
                if (!std::isfinite(v.d)) Refuse(state::kOutOfRange);
                d.s = ValueConverter::FormatDouble(v.d, cType == SQL_C_FLOAT);
                return d;
            case Value::Kind::Decimal:
                return v;
            case Value::Kind::Text: {
                if (IsDecimalText(v.s, d.s)) return d;
                double x = 0;
                if (!ValueConverter::ParseNumber(v.s, x) || !std::isfinite(x))
                    Refuse(state::kInvalidCharValue);
                d.s = ValueConverter::FormatDouble(x, false);
                return d;
            }
            default:
                Refuse(state::kRestrictedType);
        }
    }
    if (IsDatetime(sqlType)) return ToDatetime(v, sqlType);
    if (sqlType == SQL_UNKNOWN_TYPE || sqlType == SQL_GUID) return v;
    Refuse(state::kRestrictedType);
}

}  // namespace odbcdrv
