#include "drivers/access/AccessType.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <map>
#include <utility>
#include <vector>

namespace accessdrv {

namespace {

using K = AccessType::Kind;

std::string Upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return char(c >= 'a' && c <= 'z' ? c - 32 : c); });
    return s;
}

// Access's own type names and the synonyms its SQL accepts.
const std::map<std::string, K>& DeclaredNames() {
    static const std::map<std::string, K> names = [] {
        const std::pair<K, std::vector<const char*>> synonyms[] = {
            {K::Text,
             {"text", "varchar", "char varying", "character varying", "string", "alphanumeric",
              "nvarchar", "national varchar"}},
            {K::Char, {"char", "character", "nchar"}},
            {K::Memo, {"memo", "longtext", "longchar", "note", "ntext", "long varchar"}},
            {K::Long, {"integer", "int", "long", "integer4"}},
            {K::Short, {"smallint", "short", "integer2"}},
            {K::Byte, {"byte", "tinyint", "integer1"}},
            {K::Bit, {"bit", "yesno", "logical", "logical1", "boolean"}},
            {K::Double,
             {"double", "double precision", "float", "float8", "ieeedouble", "number", "numeric",
              "decimal", "dec", "money", "currency"}},
            {K::Single, {"single", "real", "float4", "ieeesingle"}},
            {K::DateTime, {"datetime", "timestamp"}},
            {K::Date, {"date"}},
            {K::Time, {"time"}},
            {K::Counter, {"counter", "autoincrement", "identity"}},
            {K::Binary, {"binary", "varbinary"}},
            {K::LongBinary, {"longbinary", "image", "oleobject", "general"}},
        };
        std::map<std::string, K> all;
        for (const auto& [kind, words] : synonyms)
            for (const char* word : words) all.emplace(word, kind);
        return all;
    }();
    return names;
}

// What a kind is stored as and reported as: the declared type written into
// SQLite (the sized kinds add their size in parentheses), the ODBC type, the
// type name, and the column size (the sized kinds: their size).
struct KindFacts {
    K kind;
    bool sized;
    const char* stored;
    SQLSMALLINT sqlType;
    const char* typeName;
    SQLULEN columnSize;
};

// One row a kind, in the order of the kinds.
constexpr KindFacts kFacts[] = {
    {K::Text, true, "VARCHAR", SQL_VARCHAR, "VARCHAR", 0},
    {K::Char, true, "CHAR", SQL_CHAR, "CHAR", 0},
    {K::Memo, false, "LONGTEXT", SQL_LONGVARCHAR, "LONGCHAR", 1073741823},
    {K::Long, false, "INT", SQL_INTEGER, "INTEGER", 10},
    {K::Short, false, "SMALLINT", SQL_SMALLINT, "SMALLINT", 5},
    {K::Byte, false, "TINYINT", SQL_TINYINT, "BYTE", 3},
    {K::Bit, false, "BIT", SQL_BIT, "BIT", 1},
    {K::Double, false, "DOUBLE", SQL_DOUBLE, "DOUBLE", 53},
    {K::Single, false, "REAL", SQL_REAL, "REAL", 24},
    {K::DateTime, false, "DATETIME", SQL_TYPE_TIMESTAMP, "DATETIME", 19},
    {K::Date, false, "DATE", SQL_TYPE_DATE, "DATE", 10},
    {K::Time, false, "TIME", SQL_TYPE_TIME, "TIME", 8},
    {K::Counter, false, "COUNTER INT", SQL_INTEGER, "COUNTER", 10},
    {K::Binary, true, "VARBINARY", SQL_VARBINARY, "VARBINARY", 0},
    {K::LongBinary, false, "LONGBINARY", SQL_LONGVARBINARY, "LONGBINARY", 1073741823},
};
static_assert([] {
    for (size_t i = 0; i < std::size(kFacts); ++i)
        if (kFacts[i].kind != static_cast<K>(i)) return false;
    return std::size(kFacts) == static_cast<size_t>(K::LongBinary) + 1;
}());

const KindFacts& Facts(K kind) {
    return kFacts[static_cast<size_t>(kind)];
}

std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

}  // namespace

std::optional<AccessType> AccessType::FromDeclaration(const std::string& words, int length) {
    auto it = DeclaredNames().find(words);
    if (it == DeclaredNames().end()) return std::nullopt;
    K k = it->second;
    if (k == K::Text || k == K::Char || k == K::Binary) {
        // Access gives a text without length its largest size.
        if (length < 0) length = 255;
        if (length < 1 || length > 255) return std::nullopt;
        return AccessType(k, length);
    }
    return AccessType(k);
}

bool AccessType::IsTypeName(const std::string& words) {
    return DeclaredNames().count(words) > 0;
}

AccessType AccessType::FromStored(const std::string& declared) {
    std::string d = Upper(declared);
    for (const KindFacts& f : kFacts) {
        const std::string name = f.stored;
        if (!f.sized && d == name) return AccessType(f.kind);
        if (f.sized && d.rfind(name + "(", 0) == 0 && d.back() == ')') {
            int n = std::atoi(d.c_str() + name.size() + 1);
            return AccessType(f.kind, n > 0 ? n : 255);
        }
    }
    if (d.find("INT") != std::string::npos) return AccessType(K::Long);
    if (d.find("CHAR") != std::string::npos || d.find("CLOB") != std::string::npos ||
        d.find("TEXT") != std::string::npos || d.empty())
        return AccessType(K::Memo);
    if (d.find("BLOB") != std::string::npos) return AccessType(K::LongBinary);
    if (d.find("REAL") != std::string::npos || d.find("FLOA") != std::string::npos ||
        d.find("DOUB") != std::string::npos)
        return AccessType(K::Double);
    return AccessType(K::Memo);
}

bool AccessType::IsInteger() const {
    return kind_ == K::Long || kind_ == K::Short || kind_ == K::Byte || kind_ == K::Bit ||
           kind_ == K::Counter;
}

bool AccessType::IsDateKind() const {
    return kind_ == K::DateTime || kind_ == K::Date || kind_ == K::Time;
}

std::string AccessType::StoredName() const {
    const KindFacts& f = Facts(kind_);
    return f.sized ? std::string(f.stored) + "(" + std::to_string(size_) + ")" : f.stored;
}

std::string AccessType::Constraints(const std::string& q, const std::string& column) const {
    auto check = [&](const char* tag, const std::string& cond) {
        return " CONSTRAINT " + Quote(std::string(tag) + ":" + column) + " CHECK(" + cond + ")";
    };
    auto number = [&](const char* lo, const char* hi) {
        std::string cond = q + " IS NULL OR (typeof(" + q + ") IN ('integer','real')";
        if (lo) cond += std::string(" AND ") + q + " BETWEEN " + lo + " AND " + hi;
        return check("num", cond + ")");
    };
    switch (kind_) {
        case K::Text:
        case K::Char:
            return " COLLATE NOCASE" +
                   check("len", "length(" + q + ") <= " + std::to_string(size_));
        case K::Memo:
            return " COLLATE NOCASE";
        case K::Long:
        case K::Counter:
            return number("-2147483648", "2147483647");
        case K::Short:
            return number("-32768", "32767");
        case K::Byte:
            return number("0", "255");
        case K::Bit:
        case K::Double:
            return number(nullptr, nullptr);
        case K::Single:
            return number("-3.402823466e38", "3.402823466e38");
        case K::DateTime:
        case K::Date:
        case K::Time:
            // Dates are kept as 'YYYY-MM-DD HH:MM:SS' so that they compare and
            // sort as text in date order.
            return check("date", q + " IS NULL OR (typeof(" + q + ")='text' AND " + q +
                                     " GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] "
                                     "[0-9][0-9]:[0-9][0-9]:[0-9][0-9]')");
        case K::Binary:
            return check("len", "length(" + q + ") <= " + std::to_string(size_));
        case K::LongBinary:
            return "";
    }
    return "";
}

SQLSMALLINT AccessType::SqlType() const {
    return Facts(kind_).sqlType;
}

std::string AccessType::TypeName() const {
    return Facts(kind_).typeName;
}

SQLULEN AccessType::ColumnSize() const {
    const KindFacts& f = Facts(kind_);
    return f.sized ? SQLULEN(size_) : f.columnSize;
}

SQLSMALLINT AccessType::DecimalDigits() const {
    return 0;
}

}  // namespace accessdrv
