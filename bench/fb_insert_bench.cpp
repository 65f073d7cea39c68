// 20,000 literal inserts, each committed on its own, once through the
// Firebird ODBC driver (plain ODBC calls, autocommit) and once by isql-fb
// (a COMMIT after each), on two equal fresh databases with the embedded
// engine. Prints both times and their ratio; the driver should stay within
// 1.2 times isql-fb.
//   fb_insert_bench [rows] [--forced-writes]
// Without --forced-writes both databases write asynchronously, so that the
// figures compare the clients rather than the disk's flush time.
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "tools/OdbcSession.h"

namespace fs = std::filesystem;

namespace {

std::string ConnectString(const fs::path& db, bool create, bool forcedWrites) {
    return "DRIVER=Firebird/InterBase(r) driver;AutoQuotedIdentifier=false;client=x;DBNAME=" +
           db.string() + ";UID=SYSDBA;PWD=tilvormex" + (create ? ";CREATEDB=1" : "") +
           (forcedWrites ? ";FORCEDWRITES=1" : ";FORCEDWRITES=0");
}

std::string InsertText(int i) {
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "insert into bench (id, name, note, born, amount) values (%d, 'M\xFCller %d', "
                  "'Bemerkung \x95 %d', '1970-01-%02d', %d.25)",
                  i, i, i, i % 28 + 1, i);
    return buf;
}

// Creates the database and the table through the driver; runs the inserts
// when `rows` > 0. Returns seconds spent on the inserts, or -1.
double ThroughDriver(const fs::path& db, int rows, bool forcedWrites, bool create) {
    SQLHENV env;
    SQLHDBC dbc;
    SQLHSTMT st;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    std::string cs = ConnectString(db, create, forcedWrites);
    if (!OdbcSucceeded(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)cs.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                SQL_DRIVER_NOPROMPT),
               SQL_HANDLE_DBC, dbc, "connect"))
        return -1;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    double seconds = 0;
    bool ok = true;
    if (create) {
        ok = OdbcSucceeded(SQLExecDirect(st,
                                 (SQLCHAR*)"create table bench (id integer not null, name "
                                           "varchar(60), note varchar(200), born date, "
                                           "amount numeric(12,2))",
                                 SQL_NTS),
                   SQL_HANDLE_STMT, st, "create table");
    }
    auto start = std::chrono::steady_clock::now();
    for (int i = 1; ok && i <= rows; ++i) {
        std::string sql = InsertText(i);
        ok =
            OdbcSucceeded(SQLExecDirect(st, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_HANDLE_STMT, st, "insert");
    }
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return ok ? seconds : -1;
}

double ThroughIsql(const fs::path& db, const fs::path& script, int rows) {
    {
        std::ofstream out(script, std::ios::binary);
        for (int i = 1; i <= rows; ++i) out << InsertText(i) << ";\ncommit;\n";
    }
    std::string cmd = "isql-fb -q -bail -user SYSDBA -ch WIN1252 -i '" + script.string() + "' '" +
                      db.string() + "'";
    auto start = std::chrono::steady_clock::now();
    int rc = std::system(cmd.c_str());
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return rc == 0 ? seconds : -1;
}

long CountRows(const fs::path& db) {
    std::string cmd = "echo 'select count(*) from bench;' | isql-fb -q -user SYSDBA '" +
                      db.string() + "' | tr -dc '0-9'";
    FILE* p = popen(cmd.c_str(), "r");
    char buf[64] = {};
    if (p) {
        if (!std::fgets(buf, sizeof buf, p)) buf[0] = 0;
        pclose(p);
    }
    return std::atol(buf);
}

}  // namespace

int main(int argc, char** argv) {
    int rows = 20000;
    bool forcedWrites = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--forced-writes") == 0)
            forcedWrites = true;
        else
            rows = std::atoi(argv[i]);
    }
    setenv("ODBCSYSINI", TAMARO_BUILD_DIR "/odbc", 1);
    setenv("ODBCINI", TAMARO_BUILD_DIR "/odbc/odbc.ini", 1);
    char tmpl[] = "/tmp/tamaro-fbbench-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    fs::path dir = tmpl;
    // A lock folder of its own: other processes using the embedded engine
    // on the machine neither wait for nor slow down the measurement.
    fs::create_directories(dir / "lock");
    setenv("FIREBIRD_LOCK", (dir / "lock").c_str(), 1);
    fs::path viaDriver = dir / "driver.fdb", viaIsql = dir / "isql.fdb";

    // Both databases are made the same way, through the driver, and left.
    if (ThroughDriver(viaDriver, 0, forcedWrites, true) < 0 ||
        ThroughDriver(viaIsql, 0, forcedWrites, true) < 0)
        return 1;

    double isql = ThroughIsql(viaIsql, dir / "inserts.sql", rows);
    double driver = ThroughDriver(viaDriver, rows, forcedWrites, false);
    if (isql < 0 || driver < 0) {
        std::fprintf(stderr, "fb_insert_bench: a run failed\n");
        return 1;
    }
    long nDriver = CountRows(viaDriver), nIsql = CountRows(viaIsql);
    std::printf("Firebird inserts, one commit each: %d rows, forced writes %s\n", rows,
                forcedWrites ? "on" : "off");
    std::printf("  driver (ODBC):  %8.3f s  %8.0f rows/s  (%ld rows)\n", driver, rows / driver,
                nDriver);
    std::printf("  isql-fb:        %8.3f s  %8.0f rows/s  (%ld rows)\n", isql, rows / isql, nIsql);
    std::printf("  ratio driver/isql-fb: %.3f (target <= 1.2)\n", driver / isql);
    fs::remove_all(dir);
    return nDriver == rows && nIsql == rows ? 0 : 1;
}
