#include "db/SqlDialect.h"

#include <cstring>

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

std::string EscapeSQL(const char* text) {
    std::string out;
    if (!text) return out;
    for (const char* p = text; *p; ++p) {
        if (*p == '\'') out += '\'';
        out += *p;
    }
    return out;
}
