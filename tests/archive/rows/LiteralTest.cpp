// The literal text of the inserts. A fault injected into the first insert
// of one table makes the run show that insert in full; the run then rolls
// back, so the next table can be caught the same way in the same process.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "archive/rows/SqlLiteral.h"
#include "tests/archive/ArchiveFixture.h"

namespace archivetest {
namespace {

TEST(SqlLiteralTest, DoublesInTheShortestTextThatReadsBack) {
    // Where "%f" was exact the text is what it gave, trailing zeros and point
    // removed.
    EXPECT_EQ(DoubleLiteral(0.5), "0.5");
    EXPECT_EQ(DoubleLiteral(10.0), "10");
    EXPECT_EQ(DoubleLiteral(0.0), "0");
    EXPECT_EQ(DoubleLiteral(2.5), "2.5");
    EXPECT_EQ(DoubleLiteral(3.0), "3");
    EXPECT_EQ(DoubleLiteral(-1.25), "-1.25");
    EXPECT_EQ(DoubleLiteral(1234567.125), "1234567.125");
    // Beyond six decimals nothing is cut any more.
    EXPECT_EQ(DoubleLiteral(1.0 / 3.0), "0.3333333333333333");
    EXPECT_EQ(DoubleLiteral(1e-7), "0.0000001");
    EXPECT_EQ(DoubleLiteral(1e17), "100000000000000000");
    // Values whose fixed text no engine reads back exactly: exponent form.
    EXPECT_EQ(DoubleLiteral(1e300), "1e+300");
    EXPECT_EQ(DoubleLiteral(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(DoubleLiteral(0.14156305119804657), "1.4156305119804657e-01");
    EXPECT_EQ(DoubleLiteral(1e-20), "1e-20");
    for (double v : {1.0 / 3.0, 1e-7, 1e300, -2.0 / 3.0, 0.1 + 0.2, 123456.789, 1e-300, 5e-324,
                     1.7976931348623157e308, 9007199254740993.0, 6.02214076e23})
        EXPECT_EQ(std::strtod(DoubleLiteral(v).c_str(), nullptr), v) << DoubleLiteral(v);
}

TEST(SqlLiteralTest, DatesTimesAndColumnNames) {
    SQL_DATE_STRUCT d{2020, 1, 31};
    SQL_TIME_STRUCT t{8, 5, 9};
    SQL_TIMESTAMP_STRUCT ts{2020, 1, 31, 8, 5, 9, 250000000};
    SQL_TIMESTAMP_STRUCT whole{2020, 1, 31, 8, 5, 9, 0};
    SQL_TIMESTAMP_STRUCT tiny{2020, 1, 31, 8, 5, 9, 100000};
    EXPECT_EQ(DateLiteral(d, '\''), "'2020-01-31'");
    EXPECT_EQ(DateLiteral(d, '#'), "#2020-01-31#");
    EXPECT_EQ(TimeLiteral(t, '#'), "#08:05:09#");
    // The fraction is written when it is not zero.
    EXPECT_EQ(TimestampLiteral(ts, '\''), "'2020-01-31 08:05:09.25'");
    EXPECT_EQ(TimestampLiteral(ts, '#'), "#2020-01-31 08:05:09.25#");
    EXPECT_EQ(TimestampLiteral(whole, '\''), "'2020-01-31 08:05:09'");
    EXPECT_EQ(TimestampLiteral(tiny, '\''), "'2020-01-31 08:05:09.0001'");
    EXPECT_EQ(TextLiteral("O'Brien\\n"), "'O''Brien\\n'");
    EXPECT_EQ(ColumnReference("TEXT"), "\"text\"");
    EXPECT_EQ(ColumnReference("Update"), "\"update\"");
    EXPECT_EQ(ColumnReference("TITEL"), "TITEL");
}

class LiteralTest : public ArchiveTest {
  protected:
    void SetUp() override {
        parent_ = !RunInOwnProcess();
        if (parent_) return;
        ArchiveTest::SetUp();
    }
    // The insert the run shows when the first insert into table fails.
    std::string CaughtInsert(const std::string& table) {
        log_.Clear();
        setenv("TAMARO_ODBC_FAIL_MATCH", ("insert into " + table + " ").c_str(), 1);
        setenv("TAMARO_ODBC_FAIL_AFTER", "0", 1);
        Transfer("900");
        unsetenv("TAMARO_ODBC_FAIL_AFTER");
        const auto lines = log_.Texts();
        for (size_t i = 0; i + 1 < lines.size(); ++i)
            if (lines[i] == "Fehler beim Einfügen:") return lines[i + 1];
        ADD_FAILURE() << "no insert into " << table << " was caught";
        return {};
    }
    bool parent_ = false;  // the test ran in a process of its own
};

TEST_P(LiteralTest, InsertsOfOnePatient) {
    if (parent_) return;
    Install(PracticePatients);
    const std::string q = Kind() == DatabaseKind::Firebird ? "'" : "#";
    ArchiveDbPair& main = set_->MainDatabase();
    Exec(main, "insert into patienten (pid, nachname, titel) values (900, 'O''Brien', '')");
    Exec(main, "insert into abrechnungen (zid, pid, faktor, anzahl) values (55, 900, 0.5, 2)");
    Exec(main, "insert into diagnosen (did, pid, code) values (77, 900, 'J45')");
    Exec(main,
         "insert into termine (tid, pid, datum, zeit, dauer, \"text\", erstellt, erschienen) "
         "values (1, 900, " +
             q + "2020-01-31" + q + ", " + q + "08:05:09" + q +
             ", null, "
             "'Kontrolle', " +
             q + "2020-01-31 08:05:09" + q + ", 1)");
    Exec(main, "insert into felder (fid, pid, feld, \"update\") values (3, 900, 'F', 10)");
    Exec(set_->Velunda[7], "insert into data (did, pid, txt) values (88, 900, 'a''b')");

    EXPECT_EQ(CaughtInsert("patienten"),
              "insert into patienten (pid, nachname) values (900, 'O''Brien')");
    EXPECT_EQ(CaughtInsert("abrechnungen"),
              "insert into abrechnungen (pid, anzahl, faktor) values (900, 2, 0.5)");
    EXPECT_EQ(CaughtInsert("diagnosen"), "insert into diagnosen (pid, code) values (900, 'J45')");
    EXPECT_EQ(CaughtInsert("termine"),
              "insert into termine (tid, pid, datum, zeit, \"text\", erstellt, erschienen) "
              "values (1, 900, " +
                  q + "2020-01-31" + q + ", " + q + "08:05:09" + q + ", 'Kontrolle', " + q +
                  "2020-01-31 08:05:09" + q + ", 1)");
    EXPECT_EQ(CaughtInsert("felder"),
              "insert into felder (fid, pid, feld, \"update\") values (3, 900, 'F', 10)");
    // "did" is left out in "diagnosen" only.
    EXPECT_EQ(CaughtInsert("data"), "insert into data (did, pid, txt) values (88, 900, 'a''b')");
}

TEST_P(LiteralTest, DoublesAndBigNumbersAsWritten) {
    if (parent_) return;
    Install(PracticePatients);
    ArchiveDbPair& main = set_->MainDatabase();
    Exec(main, "insert into patienten (pid, nachname) values (900, 'N')");
    Exec(main, "insert into abrechnungen (pid, faktor, betrag) values (900, 10, 12.5)");
    Exec(main, "insert into felder (pid, kennung) values (900, 1234567)");
    Exec(main, "insert into abrechnungen (pid, faktor) values (901, 0)");
    if (Kind() == DatabaseKind::Firebird) {
        // NUMERIC and BIGINT are asked for as text, not in binary form.
        EXPECT_EQ(CaughtInsert("abrechnungen"),
                  "insert into abrechnungen (pid, faktor, betrag) values (900, 10, '12.50')");
        EXPECT_EQ(CaughtInsert("felder"),
                  "insert into felder (pid, kennung) values (900, '1234567')");
    } else {
        EXPECT_EQ(CaughtInsert("abrechnungen"),
                  "insert into abrechnungen (pid, faktor, betrag) values (900, 10, 12.5)");
        EXPECT_EQ(CaughtInsert("felder"),
                  "insert into felder (pid, kennung) values (900, 1234567)");
    }
    log_.Clear();
    Transfer("901");
    EXPECT_EQ(Query(set_->Archive, "select faktor from abrechnungen where pid=901").at(0).at(0)[0],
              '0');
}

INSTANTIATE_TEST_SUITE_P(Kinds, LiteralTest,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access), KindName);

}  // namespace
}  // namespace archivetest
