#include "drivers/access/AccessType.h"

#include <algorithm>
#include <map>

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
    static const std::map<std::string, K> names = {
        {"text", K::Text},
        {"varchar", K::Text},
        {"char varying", K::Text},
        {"character varying", K::Text},
        {"string", K::Text},
        {"alphanumeric", K::Text},
        {"nvarchar", K::Text},
        {"national varchar", K::Text},
        {"char", K::Char},
        {"character", K::Char},
        {"nchar", K::Char},
        {"memo", K::Memo},
        {"longtext", K::Memo},
        {"longchar", K::Memo},
        {"note", K::Memo},
        {"ntext", K::Memo},
        {"long varchar", K::Memo},
        {"integer", K::Long},
        {"int", K::Long},
        {"long", K::Long},
        {"integer4", K::Long},
        {"smallint", K::Short},
        {"short", K::Short},
        {"integer2", K::Short},
        {"byte", K::Byte},
        {"tinyint", K::Byte},
        {"integer1", K::Byte},
        {"bit", K::Bit},
        {"yesno", K::Bit},
        {"logical", K::Bit},
        {"logical1", K::Bit},
        {"boolean", K::Bit},
        {"double", K::Double},
        {"double precision", K::Double},
        {"float", K::Double},
        {"float8", K::Double},
        {"ieeedouble", K::Double},
        {"number", K::Double},
        {"numeric", K::Double},
        {"decimal", K::Double},
        {"dec", K::Double},
        {"money", K::Double},
        {"currency", K::Double},
        {"single", K::Single},
        {"real", K::Single},
        {"float4", K::Single},
        {"ieeesingle", K::Single},
        {"datetime", K::DateTime},
        {"timestamp", K::DateTime},
        {"date", K::Date},
        {"time", K::Time},
        {"counter", K::Counter},
        {"autoincrement", K::Counter},
        {"identity", K::Counter},
        {"binary", K::Binary},
        {"varbinary", K::Binary},
        {"longbinary", K::LongBinary},
        {"image", K::LongBinary},
        {"oleobject", K::LongBinary},
        {"general", K::LongBinary},
    };
    return names;
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
    auto sized = [&](const char* prefix, K k) -> std::optional<AccessType> {
        std::string p = prefix;
        if (d.rfind(p + "(", 0) != 0 || d.back() != ')') return std::nullopt;
        int n = std::atoi(d.c_str() + p.size() + 1);
        return AccessType(k, n > 0 ? n : 255);
    };
    if (auto t = sized("VARCHAR", K::Text)) return *t;
    if (auto t = sized("CHAR", K::Char)) return *t;
    if (auto t = sized("VARBINARY", K::Binary)) return *t;
    static const std::map<std::string, K> exact = {
        {"LONGTEXT", K::Memo},
        {"INT", K::Long},
        {"SMALLINT", K::Short},
        {"TINYINT", K::Byte},
        {"BIT", K::Bit},
        {"DOUBLE", K::Double},
        {"REAL", K::Single},
        {"DATETIME", K::DateTime},
        {"DATE", K::Date},
        {"TIME", K::Time},
        {"COUNTER INT", K::Counter},
        {"LONGBINARY", K::LongBinary},
    };
    if (auto it = exact.find(d); it != exact.end()) return AccessType(it->second);
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
    switch (kind_) {
        case K::Text:
            return "VARCHAR(" + std::to_string(size_) + ")";
        case K::Char:
            return "CHAR(" + std::to_string(size_) + ")";
        case K::Memo:
            return "LONGTEXT";
        case K::Long:
            return "INT";
        case K::Short:
            return "SMALLINT";
        case K::Byte:
            return "TINYINT";
        case K::Bit:
            return "BIT";
        case K::Double:
            return "DOUBLE";
        case K::Single:
            return "REAL";
        case K::DateTime:
            return "DATETIME";
        case K::Date:
            return "DATE";
        case K::Time:
            return "TIME";
        case K::Counter:
            return "COUNTER INT";
        case K::Binary:
            return "VARBINARY(" + std::to_string(size_) + ")";
        case K::LongBinary:
            return "LONGBINARY";
    }
    return "LONGTEXT";
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
    switch (kind_) {
        case K::Text:
            return SQL_VARCHAR;
        case K::Char:
            return SQL_CHAR;
        case K::Memo:
            return SQL_LONGVARCHAR;
        case K::Long:
        case K::Counter:
            return SQL_INTEGER;
        case K::Short:
            return SQL_SMALLINT;
        case K::Byte:
            return SQL_TINYINT;
        case K::Bit:
            return SQL_BIT;
        case K::Double:
            return SQL_DOUBLE;
        case K::Single:
            return SQL_REAL;
        case K::DateTime:
            return SQL_TYPE_TIMESTAMP;
        case K::Date:
            return SQL_TYPE_DATE;
        case K::Time:
            return SQL_TYPE_TIME;
        case K::Binary:
            return SQL_VARBINARY;
        case K::LongBinary:
            return SQL_LONGVARBINARY;
    }
    return SQL_LONGVARCHAR;
}

std::string AccessType::TypeName() const {
    switch (kind_) {
        case K::Text:
            return "VARCHAR";
        case K::Char:
            return "CHAR";
        case K::Memo:
            return "LONGCHAR";
        case K::Long:
            return "INTEGER";
        case K::Counter:
            return "COUNTER";
        case K::Short:
            return "SMALLINT";
        case K::Byte:
            return "BYTE";
        case K::Bit:
            return "BIT";
        case K::Double:
            return "DOUBLE";
        case K::Single:
            return "REAL";
        case K::DateTime:
            return "DATETIME";
        case K::Date:
            return "DATE";
        case K::Time:
            return "TIME";
        case K::Binary:
            return "VARBINARY";
        case K::LongBinary:
            return "LONGBINARY";
    }
    return "LONGCHAR";
}

SQLULEN AccessType::ColumnSize() const {
    switch (kind_) {
        case K::Text:
        case K::Char:
        case K::Binary:
            return SQLULEN(size_);
        case K::Memo:
        case K::LongBinary:
            return 1073741823;
        case K::Long:
        case K::Counter:
            return 10;
        case K::Short:
            return 5;
        case K::Byte:
            return 3;
        case K::Bit:
            return 1;
        case K::Double:
            return 53;
        case K::Single:
            return 24;
        case K::DateTime:
            return 19;
        case K::Date:
            return 10;
        case K::Time:
            return 8;
    }
    return 0;
}

SQLSMALLINT AccessType::DecimalDigits() const {
    return 0;
}

}  // namespace accessdrv
