#include "drivers/access/AccessFunctions.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "core/Cp1252.h"
#include "drivers/access/AccessCollation.h"
#include "drivers/common/sql/SearchPattern.h"

namespace accessdrv {

namespace {

// Text values are UTF-8 inside SQLite; functions that count characters work
// on the CP1252 form, where every character is one byte.
std::string Arg1252(sqlite3_value* v) {
    const unsigned char* t = sqlite3_value_text(v);
    return t ? cp1252::FromUtf8(
                   std::string(reinterpret_cast<const char*>(t), size_t(sqlite3_value_bytes(v))))
             : std::string();
}

void Result1252(sqlite3_context* ctx, const std::string& s) {
    std::string u = cp1252::ToUtf8(s);
    sqlite3_result_text(ctx, u.data(), int(u.size()), SQLITE_TRANSIENT);
}

bool AllNull(int argc, sqlite3_value** argv, sqlite3_context* ctx) {
    for (int i = 0; i < argc; ++i)
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL) {
            sqlite3_result_null(ctx);
            return true;
        }
    return false;
}

// A number from a value: numbers as they are, text when it is a whole number
// text (blanks around it allowed). False for anything else.
bool Number(sqlite3_value* v, double& d, bool& isInt, sqlite3_int64& i) {
    switch (sqlite3_value_type(v)) {
        case SQLITE_INTEGER:
            i = sqlite3_value_int64(v);
            d = double(i);
            isInt = true;
            return true;
        case SQLITE_FLOAT:
            d = sqlite3_value_double(v);
            isInt = false;
            return true;
        case SQLITE_TEXT: {
            const char* t = reinterpret_cast<const char*>(sqlite3_value_text(v));
            while (*t == ' ') ++t;
            if (!*t) return false;
            char* end = nullptr;
            long long li = std::strtoll(t, &end, 10);
            const char* e = end;
            while (*e == ' ') ++e;
            if (end != t && !*e) {
                i = li;
                d = double(li);
                isInt = true;
                return true;
            }
            double dd = std::strtod(t, &end);
            e = end;
            while (*e == ' ') ++e;
            if (end == t || *e || !std::isfinite(dd)) return false;
            d = dd;
            isInt = false;
            return true;
        }
        default:
            return false;
    }
}

void Mismatch(sqlite3_context* ctx) {
    sqlite3_result_error(ctx, "Data type mismatch in expression", -1);
}

// Access's + : text + text concatenates, numbers add, Null gives Null.
void Plus(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AllNull(argc, argv, ctx)) return;
    int ta = sqlite3_value_type(argv[0]), tb = sqlite3_value_type(argv[1]);
    if (ta == SQLITE_TEXT && tb == SQLITE_TEXT) {
        std::string s(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])),
                      size_t(sqlite3_value_bytes(argv[0])));
        s.append(reinterpret_cast<const char*>(sqlite3_value_text(argv[1])),
                 size_t(sqlite3_value_bytes(argv[1])));
        sqlite3_result_text(ctx, s.data(), int(s.size()), SQLITE_TRANSIENT);
        return;
    }
    double da, db;
    bool ia, ib;
    sqlite3_int64 xa, xb;
    if (!Number(argv[0], da, ia, xa) || !Number(argv[1], db, ib, xb)) return Mismatch(ctx);
    sqlite3_int64 sum;
    if (ia && ib && !__builtin_add_overflow(xa, xb, &sum))
        sqlite3_result_int64(ctx, sum);
    else
        sqlite3_result_double(ctx, da + db);
}

// Access's & : both sides as text, Null as empty text.
void Concat(sqlite3_context* ctx, int, sqlite3_value** argv) {
    std::string s;
    for (int i = 0; i < 2; ++i) {
        const unsigned char* t = sqlite3_value_text(argv[i]);
        if (t) s.append(reinterpret_cast<const char*>(t), size_t(sqlite3_value_bytes(argv[i])));
    }
    sqlite3_result_text(ctx, s.data(), int(s.size()), SQLITE_TRANSIENT);
}

// The divisor of "/": a zero is an error, as in Access, and the division is
// one of floating-point numbers, as Access's "/" is.
void Divisor(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AllNull(argc, argv, ctx)) return;
    double d;
    bool isInt;
    sqlite3_int64 i;
    if (!Number(argv[0], d, isInt, i)) return Mismatch(ctx);
    if (d == 0) return sqlite3_result_error(ctx, "Division by zero", -1);
    sqlite3_result_double(ctx, d);
}

// The divisor of "Mod", rounded to a whole number as Access rounds it; a zero
// is an error.
void Modulus(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AllNull(argc, argv, ctx)) return;
    double d;
    bool isInt;
    sqlite3_int64 i;
    if (!Number(argv[0], d, isInt, i)) return Mismatch(ctx);
    if (!isInt) {
        if (std::fabs(d) >= 9.2e18) return Mismatch(ctx);
        i = sqlite3_int64(std::nearbyint(d));
    }
    if (i == 0) return sqlite3_result_error(ctx, "Division by zero", -1);
    sqlite3_result_int64(ctx, i);
}

void Chr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AllNull(argc, argv, ctx)) return;
    double d;
    bool isInt;
    sqlite3_int64 i;
    if (!Number(argv[0], d, isInt, i)) return Mismatch(ctx);
    long code = std::lround(d);
    if (code < 0 || code > 255) return sqlite3_result_error(ctx, "Invalid procedure call: chr", -1);
    Result1252(ctx, std::string(1, char(code)));
}

void Asc(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AllNull(argc, argv, ctx)) return;
    std::string s = Arg1252(argv[0]);
    if (s.empty()) return sqlite3_result_error(ctx, "Invalid procedure call: asc", -1);
    sqlite3_result_int(ctx, (unsigned char)s[0]);
}

template <double (*Round)(double)>
void Rounder(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AllNull(argc, argv, ctx)) return;
    double d;
    bool isInt;
    sqlite3_int64 i;
    if (!Number(argv[0], d, isInt, i)) return Mismatch(ctx);
    if (isInt) return sqlite3_result_int64(ctx, i);
    double r = Round(d);
    if (std::fabs(r) < 9.2e18)
        sqlite3_result_int64(ctx, sqlite3_int64(r));
    else
        sqlite3_result_double(ctx, r);
}

double Nearest(double d) {
    return std::nearbyint(d);
}

void Cdbl(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AllNull(argc, argv, ctx)) return;
    double d;
    bool isInt;
    sqlite3_int64 i;
    if (!Number(argv[0], d, isInt, i)) return Mismatch(ctx);
    sqlite3_result_double(ctx, d);
}

void Val(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AllNull(argc, argv, ctx)) return;
    std::string s = Arg1252(argv[0]);
    sqlite3_result_double(ctx, std::strtod(s.c_str(), nullptr));
}

void Cstr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AllNull(argc, argv, ctx)) return;
    const unsigned char* t = sqlite3_value_text(argv[0]);
    sqlite3_result_text(ctx, reinterpret_cast<const char*>(t), sqlite3_value_bytes(argv[0]),
                        SQLITE_TRANSIENT);
}

void Mid(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AllNull(argc, argv, ctx)) return;
    std::string s = Arg1252(argv[0]);
    long start = long(sqlite3_value_int64(argv[1]));
    if (start < 1) return sqlite3_result_error(ctx, "Invalid procedure call: mid", -1);
    size_t from = size_t(start - 1);
    if (from >= s.size()) return Result1252(ctx, "");
    size_t len = argc > 2 ? size_t(std::max<sqlite3_int64>(0, sqlite3_value_int64(argv[2])))
                          : std::string::npos;
    Result1252(ctx, s.substr(from, len));
}

void Left(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AllNull(argc, argv, ctx)) return;
    std::string s = Arg1252(argv[0]);
    sqlite3_int64 n = sqlite3_value_int64(argv[1]);
    if (n < 0) return sqlite3_result_error(ctx, "Invalid procedure call: left", -1);
    Result1252(ctx, s.substr(0, size_t(n)));
}

void Right(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AllNull(argc, argv, ctx)) return;
    std::string s = Arg1252(argv[0]);
    sqlite3_int64 n = sqlite3_value_int64(argv[1]);
    if (n < 0) return sqlite3_result_error(ctx, "Invalid procedure call: right", -1);
    Result1252(ctx, size_t(n) >= s.size() ? s : s.substr(s.size() - size_t(n)));
}

// Case mapping of code page 1252, umlauts included (SQLite's upper() and
// lower() change only ASCII letters).
unsigned char Upper1252(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
    if (c == 0x9A || c == 0x9C || c == 0x9E) return c - 0x10;
    if (c == 0xFF) return 0x9F;
    return c;
}

unsigned char Lower1252(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
    if (c == 0x8A || c == 0x8C || c == 0x8E) return c + 0x10;
    if (c == 0x9F) return 0xFF;
    return c;
}

template <unsigned char (*Map)(unsigned char)>
void CaseFn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AllNull(argc, argv, ctx)) return;
    std::string s = Arg1252(argv[0]);
    for (char& c : s) c = char(Map((unsigned char)c));
    Result1252(ctx, s);
}

// LIKE with % and _, letters compared without regard to case in code page
// 1252 (SQLite's own LIKE folds only ASCII letters; Access folds umlauts),
// matched as the catalog functions match their patterns.
bool LikeMatch(const std::string& pattern, const std::string& text, int esc) {
    return odbcdrv::SearchPattern(&pattern, false, esc).Matches(text);
}

void Like(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AllNull(argc, argv, ctx)) return;
    // SQLite passes the pattern first.
    std::string pattern = Arg1252(argv[0]), text = Arg1252(argv[1]);
    int esc = -1;
    if (argc == 3) {
        std::string e = Arg1252(argv[2]);
        if (e.size() != 1)
            return sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
        esc = (unsigned char)e[0];
    }
    sqlite3_result_int(ctx, LikeMatch(pattern, text, esc));
}

void Iif(sqlite3_context* ctx, int, sqlite3_value** argv) {
    double d = 0;
    bool isInt;
    sqlite3_int64 i;
    bool cond =
        sqlite3_value_type(argv[0]) != SQLITE_NULL && Number(argv[0], d, isInt, i) && d != 0;
    sqlite3_result_value(ctx, argv[cond ? 1 : 2]);
}

void Nz(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) != SQLITE_NULL) return sqlite3_result_value(ctx, argv[0]);
    if (argc > 1) return sqlite3_result_value(ctx, argv[1]);
    sqlite3_result_text(ctx, "", 0, SQLITE_STATIC);
}

void Now(sqlite3_context* ctx, int, sqlite3_value**) {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    sqlite3_result_text(ctx, buf, -1, SQLITE_TRANSIENT);
}

void Instr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AllNull(argc, argv, ctx)) return;
    int a = 0;
    sqlite3_int64 start = 1;
    if (argc == 3) {
        start = sqlite3_value_int64(argv[0]);
        a = 1;
    }
    if (start < 1) return sqlite3_result_error(ctx, "Invalid procedure call: instr", -1);
    std::string s = Arg1252(argv[a]), t = Arg1252(argv[a + 1]);
    // Access compares text without regard to case.
    for (char& c : s) c = char(std::tolower((unsigned char)c));
    for (char& c : t) c = char(std::tolower((unsigned char)c));
    if (size_t(start - 1) > s.size()) return sqlite3_result_int(ctx, 0);
    size_t p = s.find(t, size_t(start - 1));
    sqlite3_result_int64(ctx, p == std::string::npos ? 0 : sqlite3_int64(p + 1));
}

void Space(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AllNull(argc, argv, ctx)) return;
    sqlite3_int64 n = sqlite3_value_int64(argv[0]);
    if (n < 0 || n > 65535) return sqlite3_result_error(ctx, "Invalid procedure call: space", -1);
    Result1252(ctx, std::string(size_t(n), ' '));
}

void StringFn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AllNull(argc, argv, ctx)) return;
    sqlite3_int64 n = sqlite3_value_int64(argv[0]);
    std::string c = sqlite3_value_type(argv[1]) == SQLITE_TEXT
                        ? Arg1252(argv[1])
                        : std::string(1, char(sqlite3_value_int(argv[1])));
    if (n < 0 || n > 65535 || c.empty())
        return sqlite3_result_error(ctx, "Invalid procedure call: string", -1);
    Result1252(ctx, std::string(size_t(n), c[0]));
}

}  // namespace

void AccessFunctions::Register(sqlite3* db) {
    struct Fn {
        const char* name;
        int args;
        void (*f)(sqlite3_context*, int, sqlite3_value**);
        bool deterministic;
    };
    static const Fn fns[] = {
        {"tamaro_plus", 2, Plus, true},
        {"tamaro_concat", 2, Concat, true},
        {"tamaro_divisor", 1, Divisor, true},
        {"tamaro_modulus", 1, Modulus, true},
        {"tamaro_chr", 1, Chr, true},
        {"tamaro_asc", 1, Asc, true},
        {"tamaro_int", 1, Rounder<std::floor>, true},
        {"tamaro_fix", 1, Rounder<std::trunc>, true},
        {"tamaro_clng", 1, Rounder<Nearest>, true},
        {"tamaro_cdbl", 1, Cdbl, true},
        {"tamaro_val", 1, Val, true},
        {"tamaro_cstr", 1, Cstr, true},
        {"tamaro_mid", 2, Mid, true},
        {"tamaro_mid", 3, Mid, true},
        {"tamaro_left", 2, Left, true},
        {"tamaro_right", 2, Right, true},
        {"tamaro_iif", 3, Iif, true},
        {"tamaro_nz", 1, Nz, true},
        {"tamaro_nz", 2, Nz, true},
        {"tamaro_now", 0, Now, false},
        {"tamaro_instr", 2, Instr, true},
        {"tamaro_instr", 3, Instr, true},
        {"tamaro_ucase", 1, CaseFn<Upper1252>, true},
        {"tamaro_lcase", 1, CaseFn<Lower1252>, true},
        {"like", 2, Like, true},
        {"like", 3, Like, true},
        {"tamaro_space", 1, Space, true},
        {"tamaro_string", 2, StringFn, true},
    };
    for (const Fn& f : fns)
        sqlite3_create_function_v2(db, f.name, f.args,
                                   SQLITE_UTF8 | (f.deterministic ? SQLITE_DETERMINISTIC : 0),
                                   nullptr, f.f, nullptr, nullptr, nullptr);
    AccessCollation::Register(db);
}

}  // namespace accessdrv
