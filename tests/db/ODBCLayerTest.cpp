#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "core/Globals.h"
#include "db/ODBCStmt.h"
#include "db/OdbcResult.h"
#include "db/SqlDialect.h"
#include "tests/db/DbFixture.h"

namespace dbtest {
namespace {

class OdbcLayer : public DbTest {
  protected:
    // The number in the first column of the query's first row.
    int32_t FirstInt(const std::string& sql) {
        ODBCStmt stmt(Conn());
        int32_t v = 0;
        EXPECT_TRUE(stmt.ExecDirect(sql) && stmt.Fetch() && stmt.GetColumnInt(1, v)) << sql;
        return v;
    }
};

TEST_P(OdbcLayer, SearchedChangeMatchingNothingCountsAsExecuted) {
    Exec("create table t (pid integer)");
    ODBCStmt stmt(Conn());
    EXPECT_EQ(stmt.Execute("delete from t where pid = 1"), SQL_NO_DATA);
    ASSERT_TRUE(stmt.Reset());
    EXPECT_TRUE(stmt.ExecDirect("update t set pid = 2 where pid = 1"));
    EXPECT_FALSE(Conn().RunSQL("delete from t where pid = 3"));
    EXPECT_FALSE(Conn().ExecuteSQL("delete from t where pid = 3", db_.Extension));
    EXPECT_TRUE(boxes_.Texts().empty());
    EXPECT_TRUE(log_.Texts().empty());
}

TEST_P(OdbcLayer, DBVersionFailsOnceThenAnswersWithoutAsking) {
    EXPECT_EQ(Conn().GetDBVersion(), -2);
    // A table that appears later is never read: the failure is remembered.
    Exec("create table dbv (val integer)");
    Exec("insert into dbv (val) values (37)");
    EXPECT_EQ(Conn().GetDBVersion(), -1);
    EXPECT_EQ(Conn().GetDBVersion(), -1);
    EXPECT_TRUE(boxes_.Texts().empty());
}

TEST_P(OdbcLayer, DBVersionOfEmptyTableAsksAgainThenCaches) {
    Exec("create table dbv (val integer)");
    EXPECT_EQ(Conn().GetDBVersion(), -1);
    Exec("insert into dbv (val) values (37)");
    EXPECT_EQ(Conn().GetDBVersion(), 37);
    Exec("update dbv set val = 38");
    EXPECT_EQ(Conn().GetDBVersion(), 37);
}

TEST_P(OdbcLayer, GetColumnIntByWidth) {
    ASSERT_FALSE(Conn().ExecuteSQL("create table t (i integer, n integer, s smallint, b §BOOL§)",
                                   db_.Extension));
    Exec("insert into t (i, n, s, b) values (-70000, null, -5, 1)");
    ODBCStmt stmt(Conn());
    ASSERT_TRUE(stmt.ExecDirect("select i, n, s, b from t"));
    ASSERT_TRUE(stmt.Fetch());
    int32_t v = 99;
    EXPECT_TRUE(stmt.GetColumnInt(1, v));
    EXPECT_EQ(v, -70000);
    v = 99;
    EXPECT_FALSE(stmt.GetColumnInt(2, v));
    EXPECT_EQ(v, 0);
    EXPECT_TRUE(stmt.GetColumnInt(3, v));
    EXPECT_EQ(v, -5);
    EXPECT_TRUE(stmt.GetColumnInt(4, v));
    EXPECT_EQ(v, 1);
    EXPECT_FALSE(stmt.Fetch());
}

TEST_P(OdbcLayer, GetColumnStringOfNullEmptyLongAndFailedRead) {
    ASSERT_FALSE(
        Conn().ExecuteSQL("create table t (k integer, a §VARCHAR§(10), b §MEMO§)", db_.Extension));
    std::string longText;
    for (int i = 0; i < 700; ++i) longText += "Müller O'Brien ";
    Exec("insert into t (k, a, b) values (1, null, '')");
    Exec("insert into t (k, a, b) values (2, 'Jürgen', '" + EscapeSQL(longText) + "')");
    ODBCStmt stmt(Conn());
    ASSERT_TRUE(stmt.ExecDirect("select a, b from t order by k"));
    ASSERT_TRUE(stmt.Fetch());
    std::string text = "old";
    EXPECT_TRUE(stmt.GetColumnString(1, text));
    EXPECT_EQ(text, "");
    text = "old";
    EXPECT_TRUE(stmt.GetColumnString(2, text));
    EXPECT_EQ(text, "");
    ASSERT_TRUE(stmt.Fetch());
    EXPECT_TRUE(stmt.GetColumnString(1, text));
    EXPECT_EQ(text, "Jürgen");
    EXPECT_TRUE(stmt.GetColumnString(2, text));
    EXPECT_EQ(text, longText);
    text = "old";
    EXPECT_FALSE(stmt.GetColumnString(9, text));
    EXPECT_EQ(text, "");
}

TEST_P(OdbcLayer, GetColumnDataMarksNullAndKeepsLengthOnFailure) {
    Exec("create table t (i integer)");
    Exec("insert into t (i) values (null)");
    ODBCStmt stmt(Conn());
    ASSERT_TRUE(stmt.ExecDirect("select i from t"));
    ASSERT_TRUE(stmt.Fetch());
    char buffer[16] = "xyz";
    SQLLEN length = 5;
    EXPECT_TRUE(stmt.GetColumnData(1, buffer, sizeof buffer, &length));
    EXPECT_EQ(length, SQL_NULL_DATA);
    EXPECT_EQ(buffer[0], 0);
    length = 5;
    EXPECT_FALSE(stmt.GetColumnData(7, buffer, sizeof buffer, &length));
    EXPECT_EQ(length, 5);
}

TEST_P(OdbcLayer, FindColumnInCatalogResultIgnoresCase) {
    Exec("create table t (pid integer)");
    ODBCStmt stmt(Conn());
    EXPECT_EQ(stmt.FindColumn("column_name"), 0) << "no result set yet";
    ASSERT_TRUE(SqlSucceeded(SQLColumns(stmt.Handle(), nullptr, 0, nullptr, 0,
                                        reinterpret_cast<SQLCHAR*>(const_cast<char*>("T")), SQL_NTS,
                                        nullptr, 0)));
    EXPECT_EQ(stmt.FindColumn("column_name"), 4);
    EXPECT_EQ(stmt.FindColumn("Data_Type"), 5);
    EXPECT_EQ(stmt.FindColumn("COLUMN_SIZE"), 7);
    EXPECT_EQ(stmt.FindColumn("column"), 0);
    ASSERT_TRUE(stmt.Fetch());
    std::string name;
    ASSERT_TRUE(stmt.GetColumnString(stmt.FindColumn("column_name"), name));
    EXPECT_TRUE(name == "PID" || name == "pid") << name;
}

TEST_P(OdbcLayer, ResetGivesAFreshStatement) {
    Exec("create table t (pid integer)");
    Exec("insert into t (pid) values (1)");
    Exec("insert into t (pid) values (2)");
    ODBCStmt stmt(Conn());
    ASSERT_TRUE(stmt.ExecDirect("select pid from t"));
    ASSERT_TRUE(stmt.Fetch());
    ASSERT_TRUE(stmt.Reset());
    EXPECT_FALSE(stmt.Fetch()) << "the open cursor is gone";
    ASSERT_TRUE(stmt.ExecDirect("select count(*) from t where pid = 2"));
    ASSERT_TRUE(stmt.Fetch());
    int32_t count = 0;
    stmt.GetColumnInt(1, count);
    EXPECT_EQ(count, 1);
}

TEST_P(OdbcLayer, RunSQLShowsStatementAndDriverMessage) {
    const std::string sql = "selec pid from nirgends";
    EXPECT_TRUE(Conn().RunSQL(sql));
    ASSERT_EQ(boxes_.Boxes().size(), 1u);
    const std::string box = boxes_.Boxes()[0].text;
    EXPECT_EQ(boxes_.Boxes()[0].buttons, MsgButtons::Ok);
    ASSERT_EQ(box.rfind(sql + ":\n\n", 0), 0u) << box;
    std::string message = box.substr(sql.size() + 3);
    EXPECT_FALSE(message.empty());
    EXPECT_NE(message, "<unbekannt>");
    // The error was handed out once: nothing is left pending.
    EXPECT_EQ(Conn().GetErrorText(SQL_NULL_HSTMT), "<unbekannt>");
}

TEST_P(OdbcLayer, GetErrorTextRightAfterFailure) {
    ODBCStmt stmt(Conn());
    EXPECT_EQ(Conn().GetErrorText(stmt.Handle()), "<unbekannt>");
    EXPECT_FALSE(stmt.ExecDirect("select x from nirgends"));
    std::string first = Conn().GetErrorText(stmt.Handle());
    EXPECT_NE(first, "<unbekannt>");
    EXPECT_LE(first.size(), 510u);
    EXPECT_EQ(Conn().GetErrorText(stmt.Handle()), "<unbekannt>");
}

TEST_P(OdbcLayer, ReopenAfterDisconnect) {
    Exec("create table t (pid integer)");
    Conn().Disconnect();
    EXPECT_FALSE(Conn().IsOpen());
    ASSERT_TRUE(Connect(db_));
    EXPECT_TRUE(Conn().IsOpen());
    EXPECT_EQ(Conn().IsFirebird(), Kind() == DatabaseKind::Firebird);
    Exec("insert into t (pid) values (5)");
    EXPECT_TRUE(log_.Texts().empty());

    // A connection opened in a UTF-8 locale, as the window runs in, still
    // hands the driver's message over in code page 1252.
    Conn().Disconnect();
    const std::string locale = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr);
    const bool reopened = Connect(db_);
    ODBCStmt stmt(Conn());
    const bool executed = stmt.ExecDirect("select x from \"Gäste•\"");
    const std::string message = Conn().GetErrorText(stmt.Handle());
    std::setlocale(LC_ALL, locale.c_str());
    ASSERT_TRUE(reopened);
    EXPECT_FALSE(executed);
    EXPECT_NE(message.find("G\xe4ste\x95"), std::string::npos) << message;
}

// Drivers refuse to disconnect inside a transaction: the transaction is
// rolled back and the connection goes, leaving the file to the next one.
TEST_P(OdbcLayer, DisconnectInsideATransactionRollsItBack) {
    Exec("create table t (pid integer)");
    ASSERT_TRUE(Conn().BeginTransaction());
    Exec("insert into t (pid) values (5)");
    Conn().Disconnect();
    EXPECT_FALSE(Conn().IsOpen());
    EXPECT_FALSE(Conn().InTransaction());
    ASSERT_TRUE(Connect(db_));
    Exec("insert into t (pid) values (6)");
    EXPECT_EQ(FirstInt("select min(pid) from t"), 6);
}

// The driver's injected fault has a known text, so the reports of RunSQL and
// ExecuteSQL can be checked byte for byte. The driver restarts its count
// whenever the settings change.
TEST_P(OdbcLayer, InjectedFaultReportedByRunSQLAndExecuteSQL) {
    Exec("create table t (pid integer)");
    setenv("TAMARO_ODBC_FAIL_MATCH", "values (1)", 1);
    setenv("TAMARO_ODBC_FAIL_AFTER", "0", 1);
    bool runFailed = Conn().RunSQL("insert into t (pid) values (1)");
    setenv("TAMARO_ODBC_FAIL_MATCH", "values (2)", 1);
    bool executeFailed = Conn().ExecuteSQL("insert into t (pid) values (2)", db_.Extension);
    unsetenv("TAMARO_ODBC_FAIL_AFTER");
    unsetenv("TAMARO_ODBC_FAIL_MATCH");
    EXPECT_TRUE(runFailed);
    EXPECT_TRUE(executeFailed);
    EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"insert into t (pid) values (1):\n\n"
                                                       "Injected fault (TAMARO_ODBC_FAIL_AFTER)"});
    ASSERT_EQ(log_.Lines().size(), 1u);
    EXPECT_EQ(log_.Lines()[0].text,
              "ExecuteSQL(): Injected fault (TAMARO_ODBC_FAIL_AFTER)\n"
              "insert into t (pid) values (2)");
    EXPECT_EQ(log_.Lines()[0].colour, ColourRed);
}

INSTANTIATE_TEST_SUITE_P(Kinds, OdbcLayer,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access), KindName);

// A closed connection: every statement on it meets an invalid handle.
class ClosedConnection : public RecordingTest {};

TEST_F(ClosedConnection, StatementShowsInvalidHandleOnFirstExecution) {
    ODBCStmt stmt(SQL_NULL_HDBC);
    EXPECT_FALSE(stmt.IsValid());
    EXPECT_TRUE(boxes_.Texts().empty()) << "nothing is shown before the execution";
    EXPECT_FALSE(stmt.ExecDirect("select 1 from dbv"));
    EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"Invalid Handle"});
    EXPECT_FALSE(stmt.Fetch());
    int32_t v = 0;
    EXPECT_FALSE(stmt.GetColumnInt(1, v));
    std::string s = "x";
    EXPECT_FALSE(stmt.GetColumnString(1, s));
    EXPECT_EQ(stmt.FindColumn("val"), 0);
    EXPECT_FALSE(stmt.Reset());
    EXPECT_EQ(boxes_.Texts().size(), 1u);
}

TEST_F(ClosedConnection, RunSQLAndDBVersion) {
    ODBCConnection c;
    EXPECT_FALSE(c.IsOpen());
    EXPECT_TRUE(c.RunSQL("delete from t"));
    EXPECT_EQ(c.GetDBVersion(), -2);
    EXPECT_EQ(c.GetDBVersion(), -1);
    EXPECT_EQ(boxes_.Texts(),
              (std::vector<std::string>{"Invalid Handle", "delete from t:\n\n<unbekannt>",
                                        "Invalid Handle"}));
    EXPECT_TRUE(c.ExecuteSQL("delete from t", ".fdb"));
    EXPECT_EQ(log_.Texts(), std::vector<std::string>{"ExecuteSQL(): <unbekannt>\ndelete from t"});
}

TEST_F(ClosedConnection, FailedOpenLeavesNullHandles) {
    ODBCConnection c;
    EXPECT_FALSE(c.OpenConnection("DRIVER=Kein Treiber;DBNAME=/nirgends/x.fdb"));
    EXPECT_FALSE(c.IsOpen());
    EXPECT_EQ(c.HEnv(), nullptr);
    EXPECT_FALSE(c.IsFirebird());
    EXPECT_TRUE(boxes_.Texts().empty());
}

}  // namespace
}  // namespace dbtest
