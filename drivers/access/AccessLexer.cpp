#include "drivers/access/AccessLexer.h"

#include <strings.h>

#include <cctype>
#include <cstdio>

#include "drivers/common/base/Backend.h"

namespace accessdrv {

namespace {

bool IsWordStart(unsigned char c) {
    return std::isalpha(c) || c == '_' || c >= 0x80;
}
bool IsWordChar(unsigned char c) {
    return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80;
}

bool DaysOk(int y, int m, int d) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 100 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return d <= days[m - 1] + (m == 2 && leap ? 1 : 0);
}

// Reads an unsigned number of 1..4 digits at s[i].
bool Digits(const std::string& s, size_t& i, int& v, int maxLen) {
    size_t start = i;
    v = 0;
    while (i < s.size() && std::isdigit((unsigned char)s[i]) && i - start < size_t(maxLen))
        v = v * 10 + (s[i++] - '0');
    return i > start;
}

}  // namespace

bool SqlToken::Is(const char* word) const {
    if (kind == Kind::Word) return strcasecmp(text.c_str(), word) == 0;
    if (kind == Kind::Punct) return text == word;
    return false;
}

std::string AccessLexer::ParseDate(const std::string& raw) {
    std::string s;
    size_t b = raw.find_first_not_of(" \t"), e = raw.find_last_not_of(" \t");
    if (b == std::string::npos) return "";
    s = raw.substr(b, e - b + 1);
    int y = 1899, mo = 12, d = 30, h = 0, mi = 0, se = 0;
    size_t i = 0;
    bool haveDate = false, haveTime = false;
    // Date part: y-m-d or m/d/y.
    {
        size_t j = 0;
        int a, b2, c;
        if (Digits(s, j, a, 4) && j < s.size() && (s[j] == '-' || s[j] == '/')) {
            char sep = s[j++];
            if (Digits(s, j, b2, 2) && j < s.size() && s[j] == sep && (++j, Digits(s, j, c, 4))) {
                if (sep == '-')
                    y = a, mo = b2, d = c;
                else
                    mo = a, d = b2, y = c;
                if (y < 100) y += y < 30 ? 2000 : 1900;
                if (!DaysOk(y, mo, d)) return "";
                haveDate = true;
                i = j;
            } else {
                return "";
            }
        }
    }
    while (i < s.size() && s[i] == ' ') ++i;
    if (i < s.size()) {
        if (!Digits(s, i, h, 2) || i >= s.size() || s[i] != ':') return "";
        ++i;
        if (!Digits(s, i, mi, 2)) return "";
        if (i < s.size() && s[i] == ':') {
            ++i;
            if (!Digits(s, i, se, 2)) return "";
        }
        while (i < s.size() && s[i] == ' ') ++i;
        if (i < s.size()) {
            std::string ampm = s.substr(i);
            if (strcasecmp(ampm.c_str(), "am") == 0 || strcasecmp(ampm.c_str(), "pm") == 0) {
                if (h < 1 || h > 12) return "";
                if (h == 12) h = 0;
                if (std::tolower((unsigned char)ampm[0]) == 'p') h += 12;
            } else {
                return "";
            }
        }
        if (h > 23 || mi > 59 || se > 59) return "";
        haveTime = true;
    }
    if (!haveDate && !haveTime) return "";
    char buf[80];  // room for any int values, though they are range-checked above
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, se);
    return buf;
}

std::vector<SqlToken> AccessLexer::Tokenize(const std::string& sql) {
    std::vector<SqlToken> out;
    size_t i = 0, n = sql.size();
    std::string space;
    auto syntax = [](const std::string& what) {
        return odbcdrv::DriverError("42000", "[Tamaro][Access driver] Syntax error: " + what);
    };
    while (i < n) {
        unsigned char c = sql[i];
        if (std::isspace(c)) {
            space += char(c);
            ++i;
            continue;
        }
        // A block comment counts as white space; "--" stays two minus signs,
        // as "a--1" is a subtraction in Access SQL.
        if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
            size_t close = sql.find("*/", i + 2);
            i = close == std::string::npos ? n : close + 2;
            space += ' ';
            continue;
        }
        SqlToken t;
        t.space = std::move(space);
        space.clear();
        if (IsWordStart(c)) {
            size_t s = i;
            while (i < n && IsWordChar(sql[i])) ++i;
            t.kind = SqlToken::Kind::Word;
            t.text = sql.substr(s, i - s);
        } else if (std::isdigit(c) ||
                   (c == '.' && i + 1 < n && std::isdigit((unsigned char)sql[i + 1]))) {
            size_t s = i;
            while (i < n && std::isdigit((unsigned char)sql[i])) ++i;
            if (i < n && sql[i] == '.') {
                ++i;
                while (i < n && std::isdigit((unsigned char)sql[i])) ++i;
            }
            if (i < n && (sql[i] == 'e' || sql[i] == 'E')) {
                size_t j = i + 1;
                if (j < n && (sql[j] == '+' || sql[j] == '-')) ++j;
                if (j < n && std::isdigit((unsigned char)sql[j])) {
                    i = j;
                    while (i < n && std::isdigit((unsigned char)sql[i])) ++i;
                }
            }
            t.kind = SqlToken::Kind::Number;
            t.text = sql.substr(s, i - s);
        } else if (c == '\'') {
            size_t s = i++;
            for (;;) {
                if (i >= n) throw syntax("unterminated text literal");
                if (sql[i] == '\'') {
                    if (i + 1 < n && sql[i + 1] == '\'') {
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                ++i;
            }
            t.kind = SqlToken::Kind::String;
            t.text = sql.substr(s, i - s);
        } else if (c == '[' || c == '"' || c == '`') {
            char close = c == '[' ? ']' : char(c);
            ++i;
            std::string name;
            for (;;) {
                if (i >= n) throw syntax("unterminated name");
                if (sql[i] == close) {
                    if (close != ']' && i + 1 < n && sql[i + 1] == close) {
                        name += close;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                name += sql[i++];
            }
            if (name.empty()) throw syntax("empty name");
            t.kind = SqlToken::Kind::Name;
            t.text = std::move(name);
        } else if (c == '#') {
            size_t close = sql.find('#', i + 1);
            if (close == std::string::npos) throw syntax("unterminated date literal");
            std::string content = sql.substr(i + 1, close - i - 1);
            t.kind = SqlToken::Kind::Date;
            t.text = ParseDate(content);
            if (t.text.empty())
                throw odbcdrv::DriverError(
                    "22007", "[Tamaro][Access driver] Syntax error in date in query expression '#" +
                                 content + "#'.");
            i = close + 1;
        } else {
            static const char* two[] = {"<>", "<=", ">=", "!=", "==", "||"};
            t.kind = SqlToken::Kind::Punct;
            t.text = std::string(1, char(c));
            for (const char* op : two)
                if (i + 1 < n && sql[i] == op[0] && sql[i + 1] == op[1]) t.text = op;
            i += t.text.size();
        }
        out.push_back(std::move(t));
    }
    return out;
}

}  // namespace accessdrv
