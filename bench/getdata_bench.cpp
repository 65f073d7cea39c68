// Reading a long text value with SQLGetData, on both database kinds through
// the drivers of this build (or those of ODBCSYSINI when it is set): a 1 MiB
// value in one buffer, and a 4 MiB value in pieces of 4 KiB, each as
// SQL_C_CHAR and as SQL_C_WCHAR, the best of some repeats. Reading in pieces
// should cost time in proportion to the value: 4 MiB in pieces at most 6
// times 1 MiB in one buffer.
//   getdata_bench [repeats]
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/OdbcSession.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kSmall = 1 << 20;
constexpr size_t kLarge = 4 << 20;
constexpr SQLLEN kPiece = 4096;

struct Kind {
    const char* name;
    std::string connect;
    const char* memo;
};

// A text of `n` bytes in code page 1252, umlauts among the letters.
std::string Text(size_t n) {
    static const char pattern[] =
        "Gr\xFC\xDF"
        "e aus K\xF6ln, Stra\xDF"
        "e 12. ";
    std::string s;
    s.reserve(n);
    while (s.size() < n) s += pattern;
    s.resize(n);
    return s;
}

// Seconds to execute the query, fetch its row and read the value with
// buffers of `piece` bytes; -1 on failure.
double Read(SQLHDBC dbc, long id, SQLSMALLINT cType, SQLLEN piece, size_t expected) {
    SQLHSTMT st;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    std::vector<char> buffer(static_cast<size_t>(piece));
    auto start = std::chrono::steady_clock::now();
    std::string sql = "select txt from big where id = " + std::to_string(id);
    if (!OdbcSucceeded(SQLExecDirect(st, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_HANDLE_STMT, st, "select") ||
        !OdbcSucceeded(SQLFetch(st), SQL_HANDLE_STMT, st, "fetch")) {
        SQLFreeHandle(SQL_HANDLE_STMT, st);
        return -1;
    }
    const size_t unit = cType == SQL_C_WCHAR ? 2 : 1;
    size_t got = 0;
    for (;;) {
        SQLLEN ind = 0;
        SQLRETURN rc = SQLGetData(st, 1, cType, buffer.data(), piece, &ind);
        if (rc == SQL_NO_DATA) break;
        if (!OdbcSucceeded(rc, SQL_HANDLE_STMT, st, "getdata")) break;
        size_t room = static_cast<size_t>(piece) - unit;
        got += rc == SQL_SUCCESS_WITH_INFO ? room - room % unit : static_cast<size_t>(ind);
        if (rc == SQL_SUCCESS) break;
    }
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    if (got != expected * unit) {
        std::fprintf(stderr, "read %zu bytes, expected %zu\n", got, expected * unit);
        return -1;
    }
    return s;
}

bool Run(const Kind& k, int repeats) {
    SQLHENV env;
    SQLHDBC dbc;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    if (!OdbcSucceeded(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)k.connect.c_str(), SQL_NTS, nullptr, 0,
                                nullptr, SQL_DRIVER_NOPROMPT),
               SQL_HANDLE_DBC, dbc, "connect"))
        return false;
    SQLHSTMT st;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    std::string create = std::string("create table big (id integer, txt ") + k.memo + ")";
    bool ok =
        OdbcSucceeded(SQLExecDirect(st, (SQLCHAR*)create.c_str(), SQL_NTS), SQL_HANDLE_STMT, st, "create");
    for (long id = 1; ok && id <= 2; ++id) {
        std::string value = Text(id == 1 ? kSmall : kLarge);
        SQLLEN len = static_cast<SQLLEN>(value.size());
        SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, value.size(), 0,
                         value.data(), len, &len);
        std::string insert = "insert into big (id, txt) values (" + std::to_string(id) + ", ?)";
        ok = OdbcSucceeded(SQLExecDirect(st, (SQLCHAR*)insert.c_str(), SQL_NTS), SQL_HANDLE_STMT, st,
                   "insert");
        SQLFreeStmt(st, SQL_RESET_PARAMS);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    double charWhole = 1e9, wideWhole = 1e9, charPieces = 1e9, widePieces = 1e9;
    for (int r = 0; ok && r < repeats; ++r) {
        double a = Read(dbc, 1, SQL_C_CHAR, static_cast<SQLLEN>(kSmall) + 16, kSmall);
        double b = Read(dbc, 1, SQL_C_WCHAR, static_cast<SQLLEN>(2 * kSmall) + 16, kSmall);
        double c = Read(dbc, 2, SQL_C_CHAR, kPiece, kLarge);
        double d = Read(dbc, 2, SQL_C_WCHAR, kPiece, kLarge);
        ok = a >= 0 && b >= 0 && c >= 0 && d >= 0;
        charWhole = std::min(charWhole, a);
        wideWhole = std::min(wideWhole, b);
        charPieces = std::min(charPieces, c);
        widePieces = std::min(widePieces, d);
    }
    if (ok)
        std::printf(
            "%-9s char: 1 MiB whole %.4f s, 4 MiB in 4 KiB pieces %.4f s (%.1fx) | "
            "wide: 1 MiB whole %.4f s, 4 MiB in 4 KiB pieces %.4f s (%.1fx)\n",
            k.name, charWhole, charPieces, charPieces / charWhole, wideWhole, widePieces,
            widePieces / wideWhole);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    setenv("ODBCSYSINI", TAMARO_BUILD_DIR "/odbc", 0);
    setenv("ODBCINI", TAMARO_BUILD_DIR "/odbc/odbc.ini", 0);
    char pattern[] = "/tmp/tamaro-getdata-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    fs::path dir = pattern;
    setenv("FIREBIRD_LOCK", (dir / "lock").c_str(), 1);
    std::vector<Kind> kinds = {
        {"Firebird",
         "DRIVER=Firebird/InterBase(r) driver;client=x;DBNAME=" + (dir / "big.fdb").string() +
             ";UID=SYSDBA;PWD=tilvormex;CREATEDB=1;FORCEDWRITES=0",
         "blob sub_type text"},
        {"Access",
         "Driver={Microsoft Access Driver (*.mdb)};Dbq=" + (dir / "big.mdb").string() +
             ";CREATEDB=1",
         "memo"},
    };
    bool ok = true;
    for (const Kind& k : kinds) ok = Run(k, repeats) && ok;
    fs::remove_all(dir);
    return ok ? 0 : 1;
}
