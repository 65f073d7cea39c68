#include <gtest/gtest.h>

#include <string>

#include "core/Globals.h"
#include "db/ODBCStmt.h"
#include "db/SqlDialect.h"
#include "tests/db/DbFixture.h"

namespace dbtest {
namespace {

TEST(TranslateSQL, PlaceholdersByKind) {
    const char* create = "create table X (A §VARCHAR§(10), B §MEMO§)";
    EXPECT_EQ(TranslateSQL(create, ".mdb"), "create table X (A text(10), B memo)");
    EXPECT_EQ(TranslateSQL(create, ".fdb"), "create table X (A varchar(10), B blob sub_type text)");
    EXPECT_EQ(TranslateSQL(create, ".MDB"), TranslateSQL(create, ".fdb"));

    const char* alter = "alter table abrechnungen §ALTERCOL§ multiplikator §TYPE§ integer";
    EXPECT_EQ(TranslateSQL(alter, ".fdb"),
              "alter table abrechnungen alter column multiplikator type integer");
    EXPECT_EQ(TranslateSQL(alter, ".mdb"), "alter table abrechnungen alter multiplikator  integer");

    EXPECT_EQ(TranslateSQL("§ADDCOL§ §DROPCOL§ §BOOL§ §AUTO§", ".mdb"),
              "add drop column bit counter");
    EXPECT_EQ(TranslateSQL("§ADDCOL§ §DROPCOL§ §BOOL§ §AUTO§", ".fdb"),
              "add column drop smallint integer not null");
}

TEST(TranslateSQL, OnlyExactPlaceholdersAllOccurrences) {
    EXPECT_EQ(TranslateSQL("a §varchar§(5), b §VARCHAR§(5), c §VARCHAR§(6)", ".mdb"),
              "a §varchar§(5), b text(5), c text(6)");
    EXPECT_EQ(TranslateSQL("§TYPE§§TYPE§ §VARCHAR §", ".mdb"), " §VARCHAR §");
    EXPECT_EQ(TranslateSQL("select 1", ""), "select 1");
}

TEST(SQLTypeName, KnownAndUnknownCodes) {
    EXPECT_EQ(SQLTypeName(SQL_VARCHAR), "varchar");
    EXPECT_EQ(SQLTypeName(SQL_LONGVARCHAR), "memo");
    EXPECT_EQ(SQLTypeName(SQL_DATETIME), "timestamp");
    EXPECT_EQ(SQLTypeName(SQL_TYPE_TIMESTAMP), "timestamp");
    EXPECT_EQ(SQLTypeName(SQL_DOUBLE), "double precision");
    EXPECT_EQ(SQLTypeName(SQL_LONGVARBINARY), "binary-BLOB");
    EXPECT_EQ(SQLTypeName(SQL_BIGINT), "");
    EXPECT_EQ(SQLTypeName(SQL_WCHAR), "");
}

TEST(EscapeSQL, DoublesOnlyApostrophes) {
    EXPECT_EQ(EscapeSQL("O'Brien"), "O''Brien");
    EXPECT_EQ(EscapeSQL(""), "");
    EXPECT_EQ(EscapeSQL("''"), "''''");
    EXPECT_EQ(EscapeSQL("a\\b\r\nÄß\""), "a\\b\r\nÄß\"");
}

class ExecuteSQL : public DbTest {};

TEST_P(ExecuteSQL, TranslatedSchemaStatementsRun) {
    ASSERT_FALSE(Conn().ExecuteSQL("create table x (a §VARCHAR§(10), b §MEMO§)", db_.Extension));
    ASSERT_FALSE(Conn().ExecuteSQL("alter table x §ADDCOL§ c integer", db_.Extension));
    ASSERT_FALSE(Conn().ExecuteSQL("alter table x §ADDCOL§ d §VARCHAR§(5)", db_.Extension));
    ASSERT_FALSE(Conn().ExecuteSQL("alter table x §DROPCOL§ d", db_.Extension));
    ASSERT_FALSE(
        Conn().ExecuteSQL("alter table x §ALTERCOL§ a §TYPE§ §VARCHAR§(20)", db_.Extension));
    Exec("insert into x (a, b, c) values ('Köln am Rhein 1234', 'lang', 4)");
    ODBCStmt stmt(Conn());
    ASSERT_TRUE(stmt.ExecDirect("select a, b, c from x"));
    ASSERT_TRUE(stmt.Fetch());
    std::string a, b;
    int32_t c = 0;
    EXPECT_TRUE(stmt.GetColumnString(1, a));
    EXPECT_TRUE(stmt.GetColumnString(2, b));
    EXPECT_TRUE(stmt.GetColumnInt(3, c));
    EXPECT_EQ(a, "Köln am Rhein 1234");
    EXPECT_EQ(b, "lang");
    EXPECT_EQ(c, 4);
    EXPECT_EQ(stmt.FindColumn("d"), 0);
    EXPECT_TRUE(log_.Texts().empty());
}

TEST_P(ExecuteSQL, FailureShowsTranslatedStatementInRed) {
    ASSERT_FALSE(Conn().ExecuteSQL("create table x (a §VARCHAR§(10))", db_.Extension));
    EXPECT_TRUE(Conn().ExecuteSQL("create table x (a §VARCHAR§(10))", db_.Extension));
    const std::string sent = Kind() == DatabaseKind::Access ? "create table x (a text(10))"
                                                            : "create table x (a varchar(10))";
    ASSERT_EQ(log_.Lines().size(), 1u);
    const std::string line = log_.Lines()[0].text;
    EXPECT_EQ(log_.Lines()[0].colour, ColourRed);
    ASSERT_EQ(line.rfind("ExecuteSQL(): ", 0), 0u) << line;
    ASSERT_GT(line.size(), sent.size() + 1);
    EXPECT_EQ(line.substr(line.size() - sent.size() - 1), "\n" + sent);
    std::string message = line.substr(14, line.size() - 14 - sent.size() - 1);
    EXPECT_FALSE(message.empty());
    EXPECT_NE(message, "<unbekannt>");
    EXPECT_TRUE(boxes_.Texts().empty());
}

TEST_P(ExecuteSQL, LowerCasePlaceholderReachesTheDriver) {
    EXPECT_TRUE(Conn().ExecuteSQL("create table y (a §varchar§(10))", db_.Extension));
    ASSERT_EQ(log_.Texts().size(), 1u);
    const std::string line = log_.Texts()[0];
    const std::string sent = "\ncreate table y (a §varchar§(10))";
    ASSERT_GT(line.size(), sent.size());
    EXPECT_EQ(line.substr(line.size() - sent.size()), sent);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ExecuteSQL,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access), KindName);

}  // namespace
}  // namespace dbtest
