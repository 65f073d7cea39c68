#include "drivers/common/sql/EscapeSql.h"

#include <strings.h>

#include <cctype>
#include <cstdio>

#include "core/AsciiText.h"
#include "drivers/common/base/SqlStates.h"
#include "drivers/common/values/Datetime.h"

namespace odbcdrv {

namespace {

using asciitext::Trim;

// The bit of each ODBC scalar function in SQLGetInfo's masks; `arguments`
// tells the form when the bits tell forms apart (LOCATE), else -1.
struct FunctionBit {
    const char* name;
    int arguments;
    SQLUSMALLINT infoType;
    SQLUINTEGER bit;
};

constexpr FunctionBit kBits[] = {
    {"ASCII", -1, SQL_STRING_FUNCTIONS, SQL_FN_STR_ASCII},
    {"CHAR", -1, SQL_STRING_FUNCTIONS, SQL_FN_STR_CHAR},
    {"CHAR_LENGTH", -1, SQL_STRING_FUNCTIONS, SQL_FN_STR_CHAR_LENGTH},
    {"CHARACTER_LENGTH", -1, SQL_STRING_FUNCTIONS, SQL_FN_STR_CHARACTER_LENGTH},
    {"CONCAT", -1, SQL_STRING_FUNCTIONS, SQL_FN_STR_CONCAT},
    {"LCASE", -1, SQL_STRING_FUNCTIONS, SQL_FN_STR_LCASE},
    {"LEFT", -1, SQL_STRING_FUNCTIONS, SQL_FN_STR_LEFT},
    {"LENGTH", -1, SQL_STRING_FUNCTIONS, SQL_FN_STR_LENGTH},
    {"LOCATE", 2, SQL_STRING_FUNCTIONS, SQL_FN_STR_LOCATE_2},
    {"LOCATE", 3, SQL_STRING_FUNCTIONS, SQL_FN_STR_LOCATE},
    {"LTRIM", -1, SQL_STRING_FUNCTIONS, SQL_FN_STR_LTRIM},
    {"OCTET_LENGTH", -1, SQL_STRING_FUNCTIONS, SQL_FN_STR_OCTET_LENGTH},
    {"REPLACE", -1, SQL_STRING_FUNCTIONS, SQL_FN_STR_REPLACE},
    {"RIGHT", -1, SQL_STRING_FUNCTIONS, SQL_FN_STR_RIGHT},
    {"RTRIM", -1, SQL_STRING_FUNCTIONS, SQL_FN_STR_RTRIM},
    {"SPACE", -1, SQL_STRING_FUNCTIONS, SQL_FN_STR_SPACE},
    {"SUBSTRING", -1, SQL_STRING_FUNCTIONS, SQL_FN_STR_SUBSTRING},
    {"UCASE", -1, SQL_STRING_FUNCTIONS, SQL_FN_STR_UCASE},
    {"ABS", -1, SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_ABS},
    {"CEILING", -1, SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_CEILING},
    {"COS", -1, SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_COS},
    {"EXP", -1, SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_EXP},
    {"FLOOR", -1, SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_FLOOR},
    {"LOG", -1, SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_LOG},
    {"LOG10", -1, SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_LOG10},
    {"MOD", -1, SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_MOD},
    {"PI", -1, SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_PI},
    {"POWER", -1, SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_POWER},
    {"ROUND", -1, SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_ROUND},
    {"SIGN", -1, SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_SIGN},
    {"SIN", -1, SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_SIN},
    {"SQRT", -1, SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_SQRT},
    {"TAN", -1, SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_TAN},
    {"CURDATE", -1, SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_CURDATE},
    {"CURTIME", -1, SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_CURTIME},
    {"CURRENT_DATE", -1, SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_CURRENT_DATE},
    {"CURRENT_TIME", -1, SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_CURRENT_TIME},
    {"CURRENT_TIMESTAMP", -1, SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_CURRENT_TIMESTAMP},
    {"DAYOFMONTH", -1, SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_DAYOFMONTH},
    {"DAYOFWEEK", -1, SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_DAYOFWEEK},
    {"DAYOFYEAR", -1, SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_DAYOFYEAR},
    {"HOUR", -1, SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_HOUR},
    {"MINUTE", -1, SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_MINUTE},
    {"MONTH", -1, SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_MONTH},
    {"NOW", -1, SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_NOW},
    {"SECOND", -1, SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_SECOND},
    {"YEAR", -1, SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_YEAR},
    {"IFNULL", -1, SQL_SYSTEM_FUNCTIONS, SQL_FN_SYS_IFNULL},
    {"USER", -1, SQL_SYSTEM_FUNCTIONS, SQL_FN_SYS_USERNAME},
};

[[noreturn]] void Syntax(const std::string& what) {
    throw DriverError(state::kSyntaxError,
                      std::string(StateText(state::kSyntaxError)) + ": " + what);
}

bool StartsWithNoCase(const std::string& s, size_t i, const char* prefix) {
    size_t n = std::char_traits<char>::length(prefix);
    return s.size() - i >= n && strncasecmp(s.data() + i, prefix, n) == 0;
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

constexpr const char* kLongOpen = "--(*vendor(microsoft),product(odbc)";
constexpr const char* kLongClose = "*)--";

// Each level of nesting is read by a call of its own and copied into the
// level around it: the limit bounds both the stack and the work (at most
// this many copies of the text).
constexpr size_t kMaxEscapeDepth = 64;

class Translator {
  public:
    Translator(const std::string& sql, const EscapeDialect& d, const EscapeSql::CallText& call)
        : s_(sql), d_(d), call_(call) {}

    // Copies and translates from i_ up to the end, or up to the closing
    // `close` of the escape being read (consumed); `close` empty at the top.
    std::string Scan(const char* close) {
        std::string out;
        while (i_ < s_.size()) {
            const char c = s_[i_];
            if (close && *close == '}' && c == '}') {
                ++i_;
                return out;
            }
            if (close && *close == '*' && s_.compare(i_, 4, kLongClose) == 0) {
                i_ += 4;
                return out;
            }
            if (c == '\'') {
                Quoted(out, '\'');
            } else if (c == '"') {
                Quoted(out, '"');
            } else if (c == '[' && d_.bracketNames) {
                Quoted(out, ']');
            } else if (c == '`' && d_.backQuoteNames) {
                Quoted(out, '`');
            } else if (c == '#' && d_.hashDates) {
                Quoted(out, '#');
            } else if (c == '-' && StartsWithNoCase(s_, i_, kLongOpen)) {
                i_ += std::char_traits<char>::length(kLongOpen);
                out += Escape(kLongClose);
            } else if (c == '-' && d_.lineComments && s_.compare(i_, 2, "--") == 0) {
                size_t e = s_.find('\n', i_);
                e = e == std::string::npos ? s_.size() : e;
                out.append(s_, i_, e - i_);
                i_ = e;
            } else if (c == '/' && s_.compare(i_, 2, "/*") == 0) {
                size_t e = s_.find("*/", i_ + 2);
                e = e == std::string::npos ? s_.size() : e + 2;
                out.append(s_, i_, e - i_);
                i_ = e;
            } else if (c == '{') {
                ++i_;
                out += Escape("}");
            } else {
                out += c;
                ++i_;
            }
        }
        if (close) Syntax("an escape sequence is not closed");
        return out;
    }

  private:
    // A literal or quoted name, copied whole; the closing character doubled
    // stands for itself (not in brackets and date literals).
    void Quoted(std::string& out, char closing) {
        size_t j = i_ + 1;
        for (;;) {
            if (j >= s_.size()) break;
            if (s_[j] == closing) {
                if (closing != ']' && closing != '#' && j + 1 < s_.size() && s_[j + 1] == closing) {
                    j += 2;
                    continue;
                }
                ++j;
                break;
            }
            ++j;
        }
        out.append(s_, i_, j - i_);
        i_ = j;
    }

    std::string Escape(const char* close) {
        if (++depth_ > kMaxEscapeDepth) throw NestedTooDeep("escape sequences", kMaxEscapeDepth);
        std::string text = EscapeBody(close);
        --depth_;
        return text;
    }

    std::string EscapeBody(const char* close) {
        while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
        std::string keyword;
        if (i_ < s_.size() && s_[i_] == '?') {
            ++i_;
            while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
            if (i_ >= s_.size() || s_[i_] != '=') Syntax("'?' in an escape sequence");
            ++i_;
            keyword = "?=";
            while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
        }
        size_t b = i_;
        while (i_ < s_.size() && std::isalpha(static_cast<unsigned char>(s_[i_]))) ++i_;
        std::string word = Upper(s_.substr(b, i_ - b));
        if (keyword == "?=") {
            if (word != "CALL") Syntax("'{?=' is followed by 'call'");
            Scan(close);
            throw DriverError(state::kNotImplemented,
                              std::string(StateText(state::kNotImplemented)) +
                                  ": procedures return no value through '{?= call ...}'");
        }
        if (word.empty()) Syntax("an escape sequence without a keyword");
        const std::string body = Trim(Scan(close));
        if (word == "D" || word == "T" || word == "TS") return Datetime(word, body);
        if (word == "FN") return Function(body);
        if (word == "OJ") return " " + body;
        if (word == "ESCAPE") return " ESCAPE " + body;
        if (word == "CALL") return Call(body);
        Syntax("unknown escape sequence '" + word + "'");
    }

    std::string Datetime(const std::string& word, const std::string& body) {
        const std::string text = "{" + word + " " + body + "}";
        SQL_TIMESTAMP_STRUCT ts{};
        bool hasDate = false, hasTime = false;
        switch (ReadDatetime(text, ts, hasDate, hasTime)) {
            case DatetimeText::None:
                throw DriverError(state::kInvalidDatetime,
                                  std::string(StateText(state::kInvalidDatetime)) + ": " + text);
            case DatetimeText::Invalid:
                throw DriverError(state::kDatetimeOverflow,
                                  std::string(StateText(state::kDatetimeOverflow)) + ": " + text);
            case DatetimeText::Valid:
                break;
        }
        char date[48], time[48];
        std::snprintf(date, sizeof date, "%04d-%02u-%02u", ts.year, ts.month, ts.day);
        std::snprintf(time, sizeof time, "%02u:%02u:%02u", ts.hour, ts.minute, ts.second);
        std::string t = time;
        if (d_.fractionDigits > 0 && ts.fraction > 0) {
            char frac[16];
            std::snprintf(frac, sizeof frac, "%09u", static_cast<unsigned>(ts.fraction));
            std::string f(frac, static_cast<size_t>(d_.fractionDigits));
            while (!f.empty() && f.back() == '0') f.pop_back();
            if (!f.empty()) t += "." + f;
        }
        if (word == "D") return std::string(d_.dateOpen) + date + d_.dateClose;
        if (word == "T") return std::string(d_.timeOpen) + t + d_.timeClose;
        return std::string(d_.timestampOpen) + date + " " + t + d_.timestampClose;
    }

    // The arguments of "name(a, b, ...)" split at the commas of its own level.
    static std::vector<std::string> Arguments(const std::string& inner) {
        std::vector<std::string> args;
        std::string current;
        int depth = 0;
        char quote = 0;
        for (char c : inner) {
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '\'' || c == '"') {
                quote = c;
            } else if (c == '(') {
                ++depth;
            } else if (c == ')') {
                --depth;
            } else if (c == ',' && depth == 0) {
                args.push_back(Trim(current));
                current.clear();
                continue;
            }
            current += c;
        }
        if (!Trim(current).empty() || !args.empty()) args.push_back(Trim(current));
        return args;
    }

    // An argument inside the engine's text: in parentheses unless it is one
    // name, number, marker or literal.
    static std::string Operand(const std::string& a) {
        bool simple = !a.empty();
        for (char c : a)
            if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '$' ||
                  c == '?'))
                simple = false;
        if (a.size() >= 2 && a.front() == '\'' && a.back() == '\'' &&
            a.find('\'', 1) == a.size() - 1)
            simple = true;
        return simple ? a : "(" + a + ")";
    }

    static std::string Fill(const char* native, const std::vector<std::string>& args) {
        std::string out;
        for (const char* p = native; *p; ++p) {
            if (*p == '$' && p[1] >= '1' && p[1] <= '9') {
                out += Operand(args[static_cast<size_t>(p[1] - '1')]);
                ++p;
            } else {
                out += *p;
            }
        }
        return out;
    }

    std::string Function(const std::string& body) {
        size_t open = body.find('(');
        if (open == std::string::npos || body.back() != ')')
            Syntax("'{fn' is followed by a function call");
        const std::string name = Upper(Trim(body.substr(0, open)));
        const std::vector<std::string> args =
            Arguments(body.substr(open + 1, body.size() - open - 2));
        if (name == "CONVERT" && args.size() == 2) {
            const std::string type = Upper(args[1]);
            for (const EscapeDialect::Conversion& c : d_.conversions)
                if (type == c.type) return Fill(c.native, args);
            Syntax("CONVERT to " + args[1] + " is not supported");
        }
        bool known = false;
        for (const EscapeDialect::Function& f : d_.functions) {
            if (name != f.name) continue;
            known = true;
            if (static_cast<size_t>(f.arguments) == args.size()) return Fill(f.native, args);
        }
        if (known) Syntax("wrong number of arguments for the scalar function " + name);
        // A function the table does not name is the engine's own.
        return body;
    }

    std::string Call(const std::string& body) {
        size_t open = body.find('(');
        std::string name = Trim(body.substr(0, open));
        std::string args;
        if (open != std::string::npos) {
            if (body.back() != ')') Syntax("the arguments of a procedure call are not closed");
            args = Trim(body.substr(open + 1, body.size() - open - 2));
        }
        if (name.empty()) Syntax("'{call' is followed by a procedure name");
        if (!d_.procedures)
            throw DriverError(state::kNotImplemented,
                              std::string(StateText(state::kNotImplemented)) +
                                  ": the database kind has no procedures to call");
        return call_(name, args);
    }

    const std::string& s_;
    const EscapeDialect& d_;
    const EscapeSql::CallText& call_;
    size_t i_ = 0;
    size_t depth_ = 0;
};

}  // namespace

std::string EscapeSql::Translate(const std::string& sql, const EscapeDialect& dialect,
                                 const CallText& call) {
    // Statements without braces or the long form, as the program sends them,
    // pass untouched.
    if (sql.find('{') == std::string::npos && sql.find("--(*") == std::string::npos) return sql;
    Translator t(sql, dialect, call);
    return t.Scan(nullptr);
}

SQLUINTEGER EscapeSql::FunctionBits(const EscapeDialect& dialect, SQLUSMALLINT infoType) {
    SQLUINTEGER bits = 0;
    for (const EscapeDialect::Function& f : dialect.functions)
        for (const FunctionBit& b : kBits)
            if (b.infoType == infoType && std::string(b.name) == f.name &&
                (b.arguments < 0 || b.arguments == f.arguments))
                bits |= b.bit;
    return bits;
}

SQLUINTEGER EscapeSql::ConversionBits(const EscapeDialect& dialect) {
    SQLUINTEGER bits = 0;
    for (const EscapeDialect::Conversion& c : dialect.conversions) bits |= c.bit;
    return bits;
}

}  // namespace odbcdrv
