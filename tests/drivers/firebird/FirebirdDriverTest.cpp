// Firebird-only behaviour: engine types and names, database creation, the
// Classic-mode engine shared by two processes, and server mode.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "core/AsciiText.h"
#include "tests/drivers/DriverProfile.h"
#include "tests/drivers/OdbcTestHandles.h"
#include "tests/fixtures/FirebirdSupport.h"
#include "tests/fixtures/TestEnv.h"

namespace drivertest {
namespace {

std::string ServerString(const std::string& dbname, const std::string& password,
                         bool create = false) {
    return "DRIVER=Firebird/InterBase(r) driver;AutoQuotedIdentifier=false;"
           "client=\\Module\\ETC\\fbclient.dll;DBNAME=" +
           dbname + ";UID=SYSDBA;PWD=" + password + (create ? ";CREATEDB=1" : "");
}

std::string RunCommand(const std::string& cmd, int* status) {
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    *status = pclose(p);
    return out;
}

class FirebirdDriver : public ::testing::Test {
  protected:
    void SetUp() override {
        testenv::UseBuiltDrivers();
        testenv::IsolateFirebirdLocks();
    }
    std::string Local(const std::string& name, bool create = true) {
        return ProfileNamed("Firebird").connectString(dir.path() / name, create);
    }
    testenv::TempDir dir{"tamaro-fb"};
};

TEST_F(FirebirdDriver, NewDatabaseIsWin1252Dialect3With8kPages) {
    OdbcConn c;
    ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(Local("new.fdb")))) << Diag(SQL_HANDLE_DBC, c.dbc);
    OdbcStmt st(c);
    EXPECT_EQ("WIN1252", st.Scalar("select trim(rdb$character_set_name) from rdb$database"));
    EXPECT_EQ("8192", st.Scalar("select mon$page_size from mon$database"));
    EXPECT_EQ("3", st.Scalar("select mon$sql_dialect from mon$database"));
}

TEST_F(FirebirdDriver, ConnectKeysIgnoreCaseBracesAndUnknownKeys) {
    {
        OdbcConn make;
        ASSERT_TRUE(SQL_SUCCEEDED(make.Connect(Local("keys.fdb"))));
    }
    OdbcConn c;
    std::string cs = "driver={Firebird/InterBase(r) driver};dbname={" +
                     (dir.path() / "keys.fdb").string() +
                     "};Uid=SYSDBA;pwd={a;b}}x};NoSuchKey=1;autoquotedidentifier=false";
    ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(cs))) << Diag(SQL_HANDLE_DBC, c.dbc);
    OdbcStmt st(c);
    EXPECT_EQ("1", st.Scalar("select count(*) from rdb$database"));
}

TEST_F(FirebirdDriver, CountIsAnEightByteBigintAndNamesAreUpperCase) {
    OdbcConn c;
    ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(Local("t.fdb"))));
    OdbcStmt st(c);
    st.MustExec("create table patienten (pid integer, \"Gemischt\" integer)");
    st.MustExec("insert into patienten values (1, 2)");
    st.MustExec("select pid, \"Gemischt\", count(*) from patienten group by 1, 2");
    const char* names[] = {"PID", "Gemischt", "COUNT"};
    SQLSMALLINT types[] = {SQL_INTEGER, SQL_INTEGER, SQL_BIGINT};
    for (SQLUSMALLINT i = 1; i <= 3; ++i) {
        SQLCHAR name[64];
        SQLSMALLINT len, type, digits, nullable;
        SQLULEN size;
        SQLDescribeCol(st.h, i, name, sizeof name, &len, &type, &size, &digits, &nullable);
        EXPECT_STREQ(names[i - 1], reinterpret_cast<char*>(name));
        EXPECT_EQ(types[i - 1], type);
    }
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st.h));
    unsigned char buf[16] = {};
    SQLLEN ind = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(st.h, 3, SQL_C_DEFAULT, buf, sizeof buf, &ind));
    EXPECT_EQ(8, ind);
    int64_t count;
    std::memcpy(&count, buf, 8);
    EXPECT_EQ(1, count);
}

TEST_F(FirebirdDriver, TransactionStatementsAreTheDriversBusiness) {
    OdbcConn c;
    ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(Local("t.fdb"))));
    OdbcStmt st(c);
    st.MustExec("create table t (id integer)");
    st.MustExec("insert into t values (1)");
    st.MustExec("commit");
    st.MustExec("rollback");
    EXPECT_EQ("1", st.Scalar("select count(*) from t"));
}

TEST_F(FirebirdDriver, LiteralsBeyondTheEngineLimitGoInWhole) {
    OdbcConn c;
    ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(Local("long.fdb"))));
    OdbcStmt st(c);
    st.MustExec("create table t (n integer, a blob sub_type text, b varchar(20))");
    // 200 KB with an apostrophe (doubled in the literal) and a byte above 127.
    std::string value;
    while (value.size() < 200000) value += "Notiz über O'Brien; ";
    const std::string literal = asciitext::EscapeQuotes(value);
    // A short literal and a comment with an apostrophe around the long one,
    // and one exactly at the limit, which the engine takes as it is.
    st.MustExec("insert into t (n, a, b) values (1, /* it's */ '" + literal + "', 'kurz')");
    st.MustExec("insert into t (n, a) values (2, '" + std::string(65535, 'x') + "')");
    st.MustExec("insert into t (n, a) values (3, '" + std::string(65536, 'y') + "')");
    EXPECT_EQ(st.Scalar("select b from t where n = 1"), "kurz");
    EXPECT_EQ(st.Scalar("select char_length(a) from t where n = 3"), "65536");
    EXPECT_EQ(st.Scalar("select count(*) from t where a = '" + std::string(65536, 'y') + "'"), "1");

    ASSERT_TRUE(SQL_SUCCEEDED(st.Exec("select a from t where n = 1")));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st.h));
    std::string back;
    char part[8192];
    SQLLEN ind = 0;
    SQLRETURN rc;
    while ((rc = SQLGetData(st.h, 1, SQL_C_CHAR, part, sizeof part, &ind)) != SQL_NO_DATA) {
        ASSERT_TRUE(SQL_SUCCEEDED(rc)) << st.Error();
        back += part;
    }
    st.Close();
    EXPECT_TRUE(back == value) << back.size() << " bytes back of " << value.size();
    // A statement with markers of its own is refused, not run with nulls.
    EXPECT_EQ(SQL_ERROR, st.Exec("insert into t (n, a) values (?, '" + literal + "')"));
}

// Tamaro words "add column" and "alter column c <type>" the same way for
// both kinds; the engine's own forms, other clauses and quoted names pass
// unchanged.
TEST_F(FirebirdDriver, AlterTableTakesTheFormsTamaroSendsToBothKinds) {
    OdbcConn c;
    ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(Local("t.fdb"))));
    OdbcStmt st(c);
    st.MustExec("create table abrechnungen (pid integer, multiplikator smallint, v varchar(10))");
    st.MustExec("alter table abrechnungen add column deleted integer");
    st.MustExec("ALTER TABLE ABRECHNUNGEN add column \"text\" INTEGER, add column w VARCHAR(5)");
    st.MustExec("ALTER TABLE ABRECHNUNGEN alter column V VARCHAR(80)");
    st.MustExec("alter table abrechnungen alter column multiplikator type integer");
    st.MustExec("alter table abrechnungen alter w  varchar(12), alter \"text\" to t2");
    st.MustExec("alter table abrechnungen add c varchar(12) default 'add column'");
    st.MustExec("insert into abrechnungen (pid, multiplikator, v, t2) values (1, 100000, '" +
                std::string(80, 'x') + "', 3)");
    EXPECT_EQ("add column", st.Scalar("select c from abrechnungen"));
    EXPECT_EQ("100000", st.Scalar("select multiplikator from abrechnungen"));
    EXPECT_EQ("12", st.Scalar("select rdb$field_length from rdb$relation_fields rf join "
                              "rdb$fields f on f.rdb$field_name = rf.rdb$field_source where "
                              "rf.rdb$relation_name = 'ABRECHNUNGEN' and rf.rdb$field_name = 'W'"));
    // A misspelt clause still reaches the engine and is refused there.
    EXPECT_FALSE(SQL_SUCCEEDED(st.Exec("alter table abrechnungen add column")));
}

TEST_F(FirebirdDriver, CancelFromAnotherThreadStopsARunningStatement) {
    OdbcConn c;
    ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(Local("cancel.fdb"))));
    OdbcStmt st(c);
    // Cancelled again every half second until the statement has returned: a
    // cancel that comes before the statement has started has nothing to stop.
    std::atomic<bool> returned{false};
    std::thread canceller([&] {
        while (!returned) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            if (!returned) SQLCancel(st.h);
        }
    });
    auto start = std::chrono::steady_clock::now();
    // Counting a four-fold cross join of a system table takes minutes.
    SQLRETURN rc =
        st.Exec("select count(*) from rdb$types a, rdb$types b, rdb$types c, rdb$types d");
    if (SQL_SUCCEEDED(rc)) rc = SQLFetch(st.h);
    returned = true;
    canceller.join();
    EXPECT_EQ(SQL_ERROR, rc);
    EXPECT_EQ("HY008: operation was cancelled", st.Error());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    // The connection goes on working.
    EXPECT_EQ("1", st.Scalar("select count(*) from rdb$database"));
}

TEST_F(FirebirdDriver, ClassicEngineLetsASecondProcessReadAnOpenFile) {
    testenv::UseClassicFirebird(dir.path());
    OdbcConn c;
    ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(Local("shared.fdb")))) << Diag(SQL_HANDLE_DBC, c.dbc);
    OdbcStmt st(c);
    st.MustExec("create table shared (id integer)");
    st.MustExec("insert into shared values (42)");

    // Firebird's own isql-fb in another process, while this connection stays open.
    std::string cmd = "echo 'select id * 2 from shared;' | isql-fb -q -user SYSDBA '" +
                      (dir.path() / "shared.fdb").string() + "' 2>&1";
    int status = -1;
    std::string out = RunCommand(cmd, &status);
    EXPECT_EQ(0, status) << out;
    EXPECT_NE(std::string::npos, out.find("84")) << out;
    EXPECT_EQ("42", st.Scalar("select id from shared"));
}

TEST_F(FirebirdDriver, ServerModeConnectsAndCreates) {
    std::string why;
    std::string prefix = testenv::FirebirdServerPrefix(&why);
    if (prefix.empty()) GTEST_SKIP() << why;
    testenv::OpenFolderToFirebirdServer(dir.path());
    OdbcConn c;
    std::string db = prefix + (dir.path() / "server.fdb").string();
    ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(ServerString(db, "tilvormex", true))))
        << Diag(SQL_HANDLE_DBC, c.dbc);
    OdbcStmt st(c);
    st.MustExec("create table t (name varchar(20))");
    st.MustExec(
        "insert into t values ('Gr\xFC\xDF"
        "e \x95')");
    EXPECT_EQ(
        "Gr\xFC\xDF"
        "e \x95",
        st.Scalar("select name from t"));
    EXPECT_EQ("WIN1252", st.Scalar("select trim(rdb$character_set_name) from rdb$database"));
}

TEST_F(FirebirdDriver, ServerModeRefusesAWrongPassword) {
    std::string why;
    std::string prefix = testenv::FirebirdServerPrefix(&why);
    if (prefix.empty()) GTEST_SKIP() << why;
    testenv::OpenFolderToFirebirdServer(dir.path());
    std::string db = prefix + (dir.path() / "pw.fdb").string();
    {
        OdbcConn make;
        ASSERT_TRUE(SQL_SUCCEEDED(make.Connect(ServerString(db, "tilvormex", true))));
    }
    OdbcConn c;
    EXPECT_EQ(SQL_ERROR, c.Connect(ServerString(db, "falsch")));
    EXPECT_EQ(
        "28000: Your user name and password are not defined. Ask your database "
        "administrator to set up a Firebird login.",
        Diag(SQL_HANDLE_DBC, c.dbc));
}

TEST_F(FirebirdDriver, UnreachableServerFailsWithinTheLoginTimeout) {
    OdbcConn c;
    SQLSetConnectAttr(c.dbc, SQL_ATTR_LOGIN_TIMEOUT, (SQLPOINTER)5, 0);
    auto start = std::chrono::steady_clock::now();
    // Port 1 on the loopback: nothing listens there.
    EXPECT_EQ(SQL_ERROR, c.Connect(ServerString("127.0.0.1/1:/tmp/none.fdb", "tilvormex")));
    auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start)
            .count();
    EXPECT_LT(seconds, 30);
    std::string diag = Diag(SQL_HANDLE_DBC, c.dbc);
    EXPECT_NE(std::string::npos,
              diag.find("Unable to complete network request to host \"127.0.0.1\""))
        << diag;
}

}  // namespace
}  // namespace drivertest
