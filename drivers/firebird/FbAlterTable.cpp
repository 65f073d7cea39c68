#include "firebird/FbAlterTable.h"

#include <strings.h>

#include <cctype>
#include <vector>

namespace fbdrv {

namespace {

struct Token {
    size_t begin = 0;
    size_t end = 0;
    bool word = false;  // a plain word; quoted names and literals are not
};

bool IsWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' ||
           static_cast<unsigned char>(c) >= 0x80;
}

// Words, quoted names, string literals and single punctuation characters;
// blanks and comments are skipped.
std::vector<Token> Tokens(const std::string& s) {
    std::vector<Token> out;
    size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
            while (i < s.size() && s[i] != '\n') ++i;
        } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            size_t close = s.find("*/", i + 2);
            i = close == std::string::npos ? s.size() : close + 2;
        } else if (c == '\'' || c == '"') {
            size_t j = i + 1;
            for (; j < s.size(); ++j) {
                if (s[j] != c) continue;
                if (j + 1 < s.size() && s[j + 1] == c) {
                    ++j;
                    continue;
                }
                break;
            }
            const size_t end = j < s.size() ? j + 1 : s.size();
            out.push_back({i, end, false});
            i = end;
        } else if (IsWordChar(c)) {
            size_t j = i;
            while (j < s.size() && IsWordChar(s[j])) ++j;
            out.push_back({i, j, true});
            i = j;
        } else {
            out.push_back({i, i + 1, false});
            ++i;
        }
    }
    return out;
}

bool Is(const std::string& s, const Token& t, const char* word) {
    return t.word && t.end - t.begin == std::char_traits<char>::length(word) &&
           strncasecmp(s.c_str() + t.begin, word, t.end - t.begin) == 0;
}

// Words that may follow the column name of the engine's own ALTER [COLUMN].
bool IsAlterColumnKeyword(const std::string& s, const Token& t) {
    for (const char* w :
         {"type", "to", "position", "set", "drop", "computed", "generated", "restart"})
        if (Is(s, t, w)) return true;
    return false;
}

}  // namespace

std::string AcceptAlterTableForms(const std::string& sql) {
    const std::vector<Token> t = Tokens(sql);
    if (t.size() < 4 || !Is(sql, t[0], "alter") || !Is(sql, t[1], "table")) return sql;

    // Positions where text is removed (COLUMN after ADD) or inserted (TYPE).
    struct Edit {
        size_t at;
        size_t removeTo;  // == at for an insertion
        const char* insert;
    };
    std::vector<Edit> edits;
    int depth = 0;
    bool clauseStart = true;  // after the table name and after each top-level comma
    for (size_t i = 3; i < t.size(); ++i) {
        const Token& k = t[i];
        const char c = sql[k.begin];
        if (!k.word && k.end - k.begin == 1 && (c == '(' || c == ')' || c == ',')) {
            if (c == '(') ++depth;
            if (c == ')') --depth;
            clauseStart = depth == 0 && c == ',';
            continue;
        }
        if (!clauseStart) continue;
        clauseStart = false;
        if (Is(sql, k, "add") && i + 1 < t.size() && Is(sql, t[i + 1], "column")) {
            size_t to = i + 2 < t.size() ? t[i + 2].begin : t[i + 1].end;
            edits.push_back({t[i + 1].begin, to, ""});
        } else if (Is(sql, k, "alter")) {
            size_t name = i + 1;
            if (name < t.size() && Is(sql, t[name], "column")) ++name;
            const size_t next = name + 1;
            if (next < t.size() && t[next].word && !IsAlterColumnKeyword(sql, t[next]))
                edits.push_back({t[next].begin, t[next].begin, "type "});
        }
    }
    if (edits.empty()) return sql;
    std::string out;
    size_t from = 0;
    for (const Edit& e : edits) {
        out.append(sql, from, e.at - from);
        out += e.insert;
        from = e.removeTo;
    }
    out.append(sql, from, std::string::npos);
    return out;
}

}  // namespace fbdrv
