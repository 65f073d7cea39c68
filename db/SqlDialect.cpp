#include "db/SqlDialect.h"

#include <sql.h>
#include <sqlext.h>

#include <cstring>

#include "core/AsciiText.h"

namespace {

struct Placeholder {
    const char* name;
    const char* firebird;
    const char* access;
};

// Replaced in this order; no replacement contains a placeholder.
constexpr Placeholder kPlaceholders[] = {
    {"§VARCHAR§", "varchar", "text"},
    {"§MEMO§", "blob sub_type text", "memo"},
    {"§ADDCOL§", "add column", "add"},
    {"§ALTERCOL§", "alter column", "alter"},
    {"§TYPE§", "type", ""},
    {"§DROPCOL§", "drop", "drop column"},
    {"§BOOL§", "smallint", "bit"},
    {"§AUTO§", "integer not null", "counter"},
};

void ReplaceAll(std::string& text, const std::string& from, const char* to) {
    size_t toLength = std::strlen(to);
    for (size_t pos = text.find(from); pos != std::string::npos;
         pos = text.find(from, pos + toLength))
        text.replace(pos, from.size(), to);
}

}  // namespace

std::string TranslateSQL(const char* sql, const char* extension) {
    std::string text = sql ? sql : "";
    bool access = extension && std::strcmp(extension, ".mdb") == 0;
    for (const Placeholder& p : kPlaceholders)
        ReplaceAll(text, p.name, access ? p.access : p.firebird);
    return text;
}

std::string SQLTypeName(int32_t code) {
    switch (code) {
        case 1:
            return "char";
        case 2:
            return "numeric";
        case 3:
            return "decimal";
        case 4:
            return "integer";
        case 5:
            return "smallint";
        case 6:
            return "float";
        case 7:
            return "real";
        case 8:
            return "double precision";
        case 9:
            return "timestamp";
        case 12:
            return "varchar";
        case 91:
            return "date";
        case 92:
            return "time";
        case 93:
            return "timestamp";
        case -1:
            return "memo";
        case -4:
            return "binary-BLOB";
        case -6:
            return "byte";
        case -7:
            return "bit";
        default:
            return "";
    }
}

std::string ColumnDeclaration(int code, int size, int digits, const char* extension) {
    const bool access = extension && std::strcmp(extension, ".mdb") == 0;
    const std::string n = "(" + std::to_string(size) + ")";
    switch (code) {
        case SQL_CHAR:
            return "char" + n;
        case SQL_VARCHAR:
            return "varchar" + n;
        case SQL_LONGVARCHAR:
            return "§MEMO§";
        case SQL_NUMERIC:
        case SQL_DECIMAL: {
            // Without its scale Firebird would make an amount an integer.
            const std::string type = code == SQL_NUMERIC ? "numeric" : "decimal";
            if (size <= 0) return type;
            return type + "(" + std::to_string(size) + "," + std::to_string(digits) + ")";
        }
        case SQL_INTEGER:
            return "integer";
        case SQL_SMALLINT:
            return "smallint";
        case SQL_BIGINT:
            return "bigint";
        case SQL_REAL:
            return access ? "real" : "float";
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return "double precision";
        case SQL_TYPE_DATE:
            return "date";
        case SQL_TYPE_TIME:
            return "time";
        case SQL_DATETIME:
        case SQL_TYPE_TIMESTAMP:
            return "timestamp";
        case SQL_BIT:
            return access ? "bit" : "boolean";
        case SQL_TINYINT:
            return access ? "byte" : "smallint";
        case SQL_BINARY:
            return access ? "binary" + n : "char" + n + " character set octets";
        case SQL_VARBINARY:
            return access ? "binary" + n : "varchar" + n + " character set octets";
        case SQL_LONGVARBINARY:
            return access ? "longbinary" : "blob sub_type 0";
        default:
            return "";
    }
}

std::string EscapeSQL(const char* text) {
    return text ? asciitext::EscapeQuotes(text) : std::string();
}
