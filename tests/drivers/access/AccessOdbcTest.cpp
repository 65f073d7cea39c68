// The built Access-kind driver through unixODBC, called the way Tamaro calls
// it: connection string, default C types and their lengths, column
// descriptions, SQLColumns, row counts and SQL_NO_DATA, text in code page
// 1252, diagnostics, fault injection, and many statements without growth.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "tests/fixtures/TestEnv.h"
#include "tools/OdbcSession.h"

namespace accesstest {

namespace {

std::string Tamaro(const std::string& dir, const std::string& name) {
    return "Driver={Microsoft Access Driver (*.mdb)};Dbq=" + dir + "/" + name +
           ".mdb;Pwd=lamp(hurz);";
}

long RssKb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

}  // namespace

class AccessOdbc : public ::testing::Test {
  protected:
    // Before the first handle exists: the driver manager reads the variables once.
    static void SetUpTestSuite() { testenv::UseBuiltDrivers(); }
    void SetUp() override {
        unsetenv("TAMARO_ODBC_FAIL_AFTER");
        unsetenv("TAMARO_ODBC_FAIL_MATCH");
        ASSERT_TRUE(SQL_SUCCEEDED(s_.Connect(Tamaro(dir_.str(), "data") + "CREATEDB=1;")))
            << s_.LastError();
    }
    // A fresh statement handle for each statement, as the program makes them.
    SQLHSTMT NewStatement() {
        st_.reset();
        st_ = std::make_unique<OdbcStatement>(s_);
        return st_->h;
    }
    SQLRETURN Exec(const std::string& sql) {
        NewStatement();
        return st_->Exec(sql);
    }
    void Ok(const std::string& sql) {
        SQLRETURN rc = Exec(sql);
        ASSERT_TRUE(SQL_SUCCEEDED(rc)) << sql << "\n" << st_->Error();
    }
    testenv::TempDir dir_{"tamaro-access-odbc"};
    OdbcSession s_;
    std::unique_ptr<OdbcStatement> st_;
};

TEST_F(AccessOdbc, ConnectWithTamarosStringAndRefusals) {
    OdbcSession again;
    EXPECT_TRUE(SQL_SUCCEEDED(again.Connect(Tamaro(dir_.str(), "data"))));

    OdbcSession missing;
    EXPECT_EQ(missing.Connect(Tamaro(dir_.str(), "kartei")), SQL_ERROR);
    EXPECT_EQ(missing.LastError(), "08001: [Tamaro][Access driver] Could not find file '" +
                                       dir_.str() + "/kartei.mdb'.");
    EXPECT_FALSE(testenv::fs::exists(dir_.path() / "kartei.mdb"));

    OdbcSession wrong;
    std::string cs = "DRIVER={Microsoft Access Driver (*.mdb)};DBQ=" + dir_.str() +
                     "/data.mdb;PWD=lamp(Hurz);Unknown=1;";
    EXPECT_EQ(wrong.Connect(cs), SQL_ERROR);
    EXPECT_EQ(wrong.LastError(), "28000: [Tamaro][Access driver] Not a valid password for '" +
                                     dir_.str() + "/data.mdb'.");
}

TEST_F(AccessOdbc, DefaultCTypesDeliverTheSizeOfEachType) {
    Ok("create table t (i integer, s smallint, b byte, f bit, d double, r single, x text(10))");
    Ok("insert into t (i, s, b, f, d, r, x) values (-70000, -5, 200, 1, 2.5, 1.5, 'abc')");
    Ok("select i, s, b, f, d, r, x from t");
    ASSERT_EQ(SQLFetch(st_->h), SQL_SUCCESS);
    unsigned char buf[64];
    SQLLEN ind = 0;
    auto get = [&](SQLUSMALLINT col) {
        std::memset(buf, 0, sizeof buf);
        EXPECT_TRUE(SQL_SUCCEEDED(SQLGetData(st_->h, col, SQL_C_DEFAULT, buf, sizeof buf, &ind)));
        return ind;
    };
    EXPECT_EQ(get(1), 4);
    int32_t i32;
    std::memcpy(&i32, buf, 4);
    EXPECT_EQ(i32, -70000);
    EXPECT_EQ(get(2), 2);
    int16_t i16;
    std::memcpy(&i16, buf, 2);
    EXPECT_EQ(i16, -5);
    EXPECT_EQ(get(3), 1);
    EXPECT_EQ(buf[0], 200);
    EXPECT_EQ(get(4), 1);
    EXPECT_EQ(buf[0], 1);
    EXPECT_EQ(get(5), 8);
    double d;
    std::memcpy(&d, buf, 8);
    EXPECT_EQ(d, 2.5);
    EXPECT_EQ(get(6), 4);
    // Text: a zero-length probe gives the length, then the text.
    char probe[1] = {0};
    ASSERT_TRUE(SQL_SUCCEEDED(SQLGetData(st_->h, 7, SQL_C_DEFAULT, probe, 0, &ind)));
    EXPECT_EQ(ind, 3);
    EXPECT_EQ(get(7), 3);
    EXPECT_STREQ((char*)buf, "abc");
}

TEST_F(AccessOdbc, DescribeColAndSqlColumnsReportAccessTypes) {
    Ok("create table patienten (pid integer, nachname text(60), notiz memo, aufnahme datetime, "
       "flag bit, art byte)");
    Ok("select count(*), max(pid)+1, * from patienten");
    struct Col {
        std::string name;
        SQLSMALLINT type;
        SQLULEN size;
    };
    std::vector<Col> got;
    SQLSMALLINT n = 0;
    SQLNumResultCols(st_->h, &n);
    ASSERT_EQ(n, 8);
    for (SQLUSMALLINT i = 1; i <= n; ++i) {
        SQLCHAR name[256];
        SQLSMALLINT nameLen, type, digits, nullable;
        SQLULEN size;
        SQLDescribeCol(st_->h, i, name, sizeof name, &nameLen, &type, &size, &digits, &nullable);
        got.push_back({(char*)name, type, size});
    }
    EXPECT_EQ(got[0].type, SQL_INTEGER);
    EXPECT_EQ(got[0].name, "Expr1000");
    EXPECT_EQ(got[1].type, SQL_INTEGER);
    EXPECT_EQ(got[3].name, "nachname");
    EXPECT_EQ(got[3].type, SQL_VARCHAR);
    EXPECT_EQ(got[3].size, 60u);
    EXPECT_EQ(got[4].type, SQL_LONGVARCHAR);
    EXPECT_EQ(got[5].type, SQL_TYPE_TIMESTAMP);
    EXPECT_EQ(got[6].type, SQL_BIT);
    EXPECT_EQ(got[7].type, SQL_TINYINT);

    NewStatement();
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLColumns(st_->h, nullptr, 0, nullptr, 0, (SQLCHAR*)"PATIENTEN", SQL_NTS, nullptr, 0)));
    std::string rows;
    while (SQL_SUCCEEDED(SQLFetch(st_->h)))
        rows += st_->Text(4) + ":" + st_->Text(5) + ":" + st_->Text(6) + ":" + st_->Text(7) + " ";
    EXPECT_EQ(rows,
              "pid:4:INTEGER:10 nachname:12:VARCHAR:60 notiz:-1:LONGCHAR:1073741823 "
              "aufnahme:93:DATETIME:19 flag:-7:BIT:1 art:-6:BYTE:3 ");
}

TEST_F(AccessOdbc, RowCountsAndNoDataForSearchedStatements) {
    Ok("create table log (mid integer, datum integer)");
    Ok("insert into log (mid, datum) values (7, 1)");
    Ok("insert into log (mid, datum) values (7, 2)");
    Ok("update log set datum = datum + 1 where mid = 7");
    SQLLEN count = -5;
    SQLRowCount(st_->h, &count);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(Exec("delete from log where datum<0 and mid=7"), SQL_NO_DATA);
    EXPECT_EQ(Exec("update log set mid = 1 where mid = 99"), SQL_NO_DATA);
    EXPECT_EQ(Exec("delete from log where datum<100 and mid=7"), SQL_SUCCESS);
    SQLRowCount(st_->h, &count);
    EXPECT_EQ(count, 2);
}

TEST_F(AccessOdbc, Cp1252TextRoundTripsAndIsUtf8InsideTheFile) {
    const std::string text = "M\xE4\xDF \x95 \xBB O'Brien";  // Mäß • » O'Brien
    Ok("create table patienten (pid integer, nachname text(40))");
    Ok("insert into patienten (pid, nachname) values (1, 'M\xE4\xDF \x95 \xBB O''Brien')");
    Ok("select nachname from patienten where nachname like '%\xE4\xDF%'");
    ASSERT_EQ(SQLFetch(st_->h), SQL_SUCCESS);
    EXPECT_EQ(st_->Text(1), text);

    sqlite3* raw = nullptr;
    ASSERT_EQ(
        sqlite3_open_v2((dir_.path() / "data.mdb").c_str(), &raw, SQLITE_OPEN_READONLY, nullptr),
        SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(raw, "select hex(nachname) from patienten", -1, &st, nullptr);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_STREQ((const char*)sqlite3_column_text(st, 0),
                 "4DC3A4C39F20E280A220C2BB204F27427269656E");
    sqlite3_finalize(st);
    sqlite3_close(raw);
}

// The emulated engine's "General" order: German letters (umlauts beside
// their base letters, ß as ss), without regard to case, ties broken by case;
// equality stays as it was (case-insensitive, accent-sensitive).
TEST_F(AccessOdbc, TextSortsAndComparesInGermanOrder) {
    Ok("create table patienten (pid long, nachname text(40))");
    // Braun, Bäcker, Bauer, becker, Böhm, Bz, Ärzte, Zander, Öz, Strauß, Strauss, BAUER
    const char* names[] = {"Braun",
                           "B\xE4"
                           "cker",
                           "Bauer",
                           "becker",
                           "B\xF6hm",
                           "Bz",
                           "\xC4rzte",
                           "Zander",
                           "\xD6z",
                           "Strau\xDF",
                           "Strauss",
                           "BAUER"};
    for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i)
        Ok("insert into patienten (pid, nachname) values (" + std::to_string(i + 1) + ", '" +
           names[i] + "')");
    auto column = [&](const std::string& sql) {
        std::string out;
        if (!SQL_SUCCEEDED(Exec(sql))) return "error: " + st_->Error();
        while (SQLFetch(st_->h) == SQL_SUCCESS) out += (out.empty() ? "" : ",") + st_->Text(1);
        return out;
    };
    const std::string german =
        "\xC4rzte,B\xE4"
        "cker,BAUER,Bauer,becker,B\xF6hm,Braun,Bz,\xD6z,Strauss,Strau\xDF,Zander";
    EXPECT_EQ(column("select nachname from patienten order by nachname"), german);
    EXPECT_EQ(column("select nachname from patienten order by 1"), german);
    EXPECT_EQ(column("select nachname from patienten order by trim(nachname) desc, pid"),
              "Zander,Strau\xDF,Strauss,\xD6z,Bz,Braun,B\xF6hm,becker,Bauer,BAUER,B\xE4"
              "cker,"
              "\xC4rzte");
    EXPECT_EQ(column("select min(nachname) & '|' & max(nachname) from patienten"),
              "\xC4rzte|Zander");
    EXPECT_EQ(column("select nachname from patienten where nachname < 'bb' order by nachname"),
              "\xC4rzte,B\xE4"
              "cker,BAUER,Bauer");
    EXPECT_EQ(column("select nachname from patienten where nachname between 'BA' and 'bb' "
                     "order by nachname"),
              "B\xE4"
              "cker,BAUER,Bauer");
    // Comparisons agree with equality: case does not count, accents do.
    EXPECT_EQ(column("select nachname from patienten where nachname >= 'bauer' and nachname <= "
                     "'bauer' order by nachname"),
              "BAUER,Bauer");
    EXPECT_EQ(column("select nachname from patienten where nachname = 'bauer' order by nachname"),
              "BAUER,Bauer");
    EXPECT_EQ(column("select nachname from patienten where nachname = 'B\xE4"
                     "cker'"),
              "B\xE4"
              "cker");
    EXPECT_EQ(column("select count(*) from patienten where nachname = 'Backer'"), "0");
    // Numbers keep their order.
    EXPECT_EQ(column("select pid from patienten where pid > 9 order by pid desc"), "12,11,10");
    EXPECT_EQ(column("select max(pid) from patienten"), "12");

    // Text another program wrote: a character code page 1252 lacks and bytes
    // that are no UTF-8 still have a place, the same at every query.
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open((dir_.path() / "data.mdb").c_str(), &raw), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(raw,
                           "insert into patienten values (20, '\xC5\x81\xC3\xB3"
                           "d\xC5\xBA');"
                           "insert into patienten values (21, cast(x'42E4636B6572' as text));"
                           "insert into patienten values (22, cast(x'42C3' as text));",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(raw);
    // 'Bã' (a lone lead byte read as code page 1252) before 'Bäcker', whose
    // bytes of code page 1252 sort with it; 'Łódź' after every letter.
    const std::string pids = column("select pid from patienten order by nachname, pid");
    EXPECT_EQ(pids.substr(0, 9), "7,22,2,21") << pids;
    EXPECT_EQ(pids.substr(pids.size() - 4), "8,20") << pids;
    std::vector<std::string> ascending, descending;
    std::stringstream up(pids), down(column("select pid from patienten order by nachname desc"));
    for (std::string p; std::getline(up, p, ',');) ascending.insert(ascending.begin(), p);
    for (std::string p; std::getline(down, p, ',');) descending.push_back(p);
    EXPECT_EQ(ascending, descending);
}

TEST_F(AccessOdbc, ErrorsCarryTheDriversTextAndSqlState) {
    Ok("create table t (s text(3))");
    EXPECT_EQ(Exec("insert into t (s) values ('vier')"), SQL_ERROR);
    EXPECT_EQ(st_->Error(),
              "22001: [Tamaro][Access driver] The field 's' is too small to accept the amount of "
              "data you attempted to add. (SQLite: CHECK constraint failed: len:s)");
    EXPECT_EQ(Exec("select x from t"), SQL_ERROR);
    EXPECT_EQ(st_->Error(),
              "42S22: [Tamaro][Access driver] Unknown field name. (SQLite: no such column: x)");
}

TEST_F(AccessOdbc, InjectedFaultFailsTheStatementAndWritesNothing) {
    Ok("create table t (a integer)");
    setenv("TAMARO_ODBC_FAIL_MATCH", "insert into t", 1);
    setenv("TAMARO_ODBC_FAIL_AFTER", "1", 1);
    Ok("insert into t (a) values (1)");
    EXPECT_EQ(Exec("insert into t (a) values (2)"), SQL_ERROR);
    EXPECT_NE(st_->Error().find("Injected fault"), std::string::npos) << st_->Error();
    unsetenv("TAMARO_ODBC_FAIL_AFTER");
    unsetenv("TAMARO_ODBC_FAIL_MATCH");
    Ok("select count(*) from t");
    ASSERT_EQ(SQLFetch(st_->h), SQL_SUCCESS);
    EXPECT_EQ(st_->Text(1), "1");
}

TEST_F(AccessOdbc, ManyStatementsDoNotGrowTheProcess) {
    Ok("create table t (a integer, b text(20))");
    auto round = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            Exec("insert into t (a, b) values (" + std::to_string(i) + ", 'x" + std::to_string(i) +
                 "')");
            Exec("select a, b from t where a = " + std::to_string(i));
            SQLFetch(st_->h);
            st_->Text(2);
            Exec("select * from nosuch");  // failing statements too
        }
    };
    round(0, 1000);
    [[maybe_unused]] long before = RssKb();
    round(1000, 4000);
    [[maybe_unused]] long after = RssKb();
#ifndef __SANITIZE_ADDRESS__
    // (The address sanitizer holds freed memory back; its leak check at the
    // end of the process does this test's work there.)
    EXPECT_LT(after - before, 2048) << before << " kB -> " << after << " kB";
#endif
}

}  // namespace accesstest
