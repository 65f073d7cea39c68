#include "drivers/access/AccessResultSet.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/Cp1252.h"
#include "drivers/access/AccessError.h"
#include "drivers/access/AccessLexer.h"

namespace accessdrv {

namespace {

using odbcdrv::Value;
using K = AccessType::Kind;

std::string ColumnText(sqlite3_stmt* s, int i) {
    const unsigned char* t = sqlite3_column_text(s, i);
    return t ? std::string(reinterpret_cast<const char*>(t), size_t(sqlite3_column_bytes(s, i)))
             : std::string();
}

bool IsStoredDate(const std::string& s) {
    if (s.size() != 19) return false;
    for (size_t i = 0; i < 19; ++i) {
        char want = i == 4 || i == 7 ? '-' : i == 10 ? ' ' : i == 13 || i == 16 ? ':' : '0';
        if (want == '0' ? !(s[i] >= '0' && s[i] <= '9') : s[i] != want) return false;
    }
    return true;
}

bool IsPlainName(const std::string& name) {
    if (name.empty()) return false;
    for (unsigned char ch : name)
        if (!(std::isalnum(ch) || ch == '_' || ch >= 0x80)) return false;
    return !std::isdigit((unsigned char)name[0]);
}

// The type an expression column is reported with, from its first value.
AccessType TypeOfValue(sqlite3_stmt* s, int i, bool hasRow) {
    if (!hasRow) return AccessType(K::Long);
    switch (sqlite3_column_type(s, i)) {
        case SQLITE_INTEGER: {
            sqlite3_int64 v = sqlite3_column_int64(s, i);
            return v >= INT32_MIN && v <= INT32_MAX ? AccessType(K::Long) : AccessType(K::Double);
        }
        case SQLITE_FLOAT:
            return AccessType(K::Double);
        case SQLITE_TEXT: {
            std::string t = ColumnText(s, i);
            if (IsStoredDate(t)) return AccessType(K::DateTime);
            return t.size() > 255 ? AccessType(K::Memo) : AccessType(K::Text, 255);
        }
        case SQLITE_BLOB:
            return AccessType(K::LongBinary);
        default:
            return AccessType(K::Long);
    }
}

}  // namespace

AccessResultSet::AccessResultSet(SqliteStatement stmt, bool hasRow)
    : stmt_(std::move(stmt)), pending_(hasRow), done_(!hasRow) {
    Describe(stmt_.get(), hasRow, columns_, types_);
}

void AccessResultSet::Describe(sqlite3_stmt* s, bool hasRow,
                               std::vector<odbcdrv::ColumnInfo>& columns,
                               std::vector<AccessType>& types) {
    int n = sqlite3_column_count(s);
    for (int i = 0; i < n; ++i) {
        const char* decl = sqlite3_column_decltype(s, i);
        AccessType type = decl ? AccessType::FromStored(decl) : TypeOfValue(s, i, hasRow);
        odbcdrv::ColumnInfo c;
        const char* name = sqlite3_column_name(s, i);
        c.name = cp1252::FromUtf8(name ? name : "");
        // An expression without a name of its own is called ExprNNNN, as
        // Access calls it (SQLite would show the translated expression).
        if (!sqlite3_column_origin_name(s, i) && !IsPlainName(c.name))
            c.name = "Expr" + std::to_string(1000 + i);
        c.sqlType = type.SqlType();
        c.typeName = type.TypeName();
        c.columnSize = type.ColumnSize();
        c.decimalDigits = type.DecimalDigits();
        c.nullable = decl ? SQL_NULLABLE : SQL_NULLABLE_UNKNOWN;
        c.isUnsigned = type.IsUnsigned();
        if (const char* table = sqlite3_column_table_name(s, i))
            c.tableName = cp1252::FromUtf8(table);
        if (const char* origin = sqlite3_column_origin_name(s, i))
            c.baseName = cp1252::FromUtf8(origin);
        columns.push_back(std::move(c));
        types.push_back(type);
    }
}

bool AccessResultSet::Next(std::vector<Value>& row) {
    if (done_) return false;
    if (!pending_) {
        if (!stmt_.Step()) {
            done_ = true;
            return false;
        }
    }
    pending_ = false;
    row.clear();
    for (int i = 0; i < int(types_.size()); ++i) row.push_back(Convert(i));
    return true;
}

// The stored value in the column's declared type. SQLite keeps whatever a
// column was given; a value that does not fit the type is an error here, as
// it could not exist in an Access table.
Value AccessResultSet::Convert(int i) {
    sqlite3_stmt* s = stmt_.get();
    int st = sqlite3_column_type(s, i);
    if (st == SQLITE_NULL) return Value::Null();
    const AccessType& type = types_[size_t(i)];
    auto bad = [&](const char* state, const char* what) {
        return AccessError::Make(state, std::string("The value '") + ColumnText(s, i) +
                                            "' of the field '" + sqlite3_column_name(s, i) +
                                            "' is no " + what + ".");
    };
    auto number = [&](double& d) {
        if (st == SQLITE_INTEGER || st == SQLITE_FLOAT) {
            d = sqlite3_column_double(s, i);
            return true;
        }
        std::string t = ColumnText(s, i);
        const char* b = t.c_str();
        while (*b == ' ') ++b;
        char* end = nullptr;
        d = std::strtod(b, &end);
        if (end == b) return false;
        while (*end == ' ') ++end;
        return *end == 0 && std::isfinite(d);
    };
    if (type.IsInteger()) {
        if (st == SQLITE_INTEGER) {
            sqlite3_int64 v = sqlite3_column_int64(s, i);
            return Value::Integer(type.kind() == K::Bit ? (v != 0) : v);
        }
        double d;
        if (!number(d)) throw bad("22018", "number");
        if (type.kind() == K::Bit) return Value::Integer(d != 0);
        return Value::Integer(sqlite3_int64(std::nearbyint(d)));
    }
    switch (type.kind()) {
        case K::Double:
        case K::Single: {
            double d;
            if (!number(d)) throw bad("22018", "number");
            return Value::Real(d);
        }
        case K::DateTime:
        case K::Date:
        case K::Time: {
            std::string t = ColumnText(s, i);
            std::string norm = IsStoredDate(t) ? t : AccessLexer::ParseDate(t);
            if (norm.empty()) throw bad("22007", "date");
            Value v;
            v.kind = type.kind() == K::Date   ? Value::Kind::Date
                     : type.kind() == K::Time ? Value::Kind::Time
                                              : Value::Kind::Timestamp;
            int y, mo, d, h, mi, se;
            std::sscanf(norm.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &se);
            if (type.kind() != K::Time) {
                v.ts.year = SQLSMALLINT(y);
                v.ts.month = SQLUSMALLINT(mo);
                v.ts.day = SQLUSMALLINT(d);
            }
            if (type.kind() != K::Date) {
                v.ts.hour = SQLUSMALLINT(h);
                v.ts.minute = SQLUSMALLINT(mi);
                v.ts.second = SQLUSMALLINT(se);
            }
            return v;
        }
        case K::Binary:
        case K::LongBinary: {
            const void* b = sqlite3_column_blob(s, i);
            int n = sqlite3_column_bytes(s, i);
            return Value::Bytes(b ? std::string(static_cast<const char*>(b), size_t(n)) : "");
        }
        default:
            return Value::String(cp1252::FromUtf8(ColumnText(s, i)));
    }
}

}  // namespace accessdrv
