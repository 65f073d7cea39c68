// The archive follows the live schema: a practice's main database changed by
// tamaro-mkpractice --apply velunda-changes (a new text, memo and amount
// column, a wider text column, a dropped column) against the template.
#include <algorithm>

#include "archive/RunPreview.h"
#include "archive/SyncSchema.h"
#include "core/Globals.h"
#include "db/SqlDialect.h"
#include "tests/archive/MaintenanceFixture.h"

namespace archivetest {
namespace {

class SyncSchemaTest : public MaintenanceTest {
  protected:
    bool Sync() { return SyncSchema(set_->VelundaList, set_->Archive); }
    bool Has(const std::string& table, const std::string& column) {
        auto names = ColumnNames(set_->Archive, table);
        return std::find(names.begin(), names.end(), column) != names.end();
    }
    std::string Text(const std::string& sql) {
        auto rows = Query(set_->Archive, sql);
        return rows.empty() ? "<no row>" : rows[0][0];
    }
};

TEST_P(SyncSchemaTest, ChangedColumnsAreAlteredAddedAndDroppedThenARunCarriesThem) {
    Install(PracticePatients);
    EXPECT_TRUE(Sync());
    EXPECT_TRUE(statements_.empty()) << statements_[0];
    EXPECT_TRUE(log_.Lines().empty()) << log_.Raw();

    Apply(set_->MainDatabase(), "velunda-changes");
    ASSERT_TRUE(Sync()) << log_.Raw();
    // In the order of the table list and, within a table, the archive's
    // columns first; a new amount keeps its scale, a new memo its kind.
    const bool fb = Kind() == DatabaseKind::Firebird;
    EXPECT_EQ(statements_, (std::vector<std::string>{
                               "ALTER TABLE PATIENTEN §ALTERCOL§ BEMERKUNG VARCHAR(120)",
                               "ALTER TABLE PATIENTEN §ADDCOL§ ZWEITNAME VARCHAR(40)",
                               fb ? "ALTER TABLE ABRECHNUNGEN §ADDCOL§ ZUZAHLUNG NUMERIC(12,2)"
                                  : "ALTER TABLE ABRECHNUNGEN §ADDCOL§ ZUZAHLUNG DOUBLE PRECISION",
                               "ALTER TABLE TERMINE §DROPCOL§ ERSCHIENEN",
                               "ALTER TABLE FELDER §ADDCOL§ KOMMENTAR §MEMO§",
                           }));
    auto sent = [&](size_t i) { return TranslateSQL(statements_.at(i).c_str(), Ext()); };
    EXPECT_EQ(sent(0), fb ? "ALTER TABLE PATIENTEN alter column BEMERKUNG VARCHAR(120)"
                          : "ALTER TABLE PATIENTEN alter BEMERKUNG VARCHAR(120)");
    EXPECT_EQ(sent(1), fb ? "ALTER TABLE PATIENTEN add column ZWEITNAME VARCHAR(40)"
                          : "ALTER TABLE PATIENTEN add ZWEITNAME VARCHAR(40)");
    EXPECT_EQ(sent(3), fb ? "ALTER TABLE TERMINE drop ERSCHIENEN"
                          : "ALTER TABLE TERMINE drop column ERSCHIENEN");
    EXPECT_EQ(sent(4), fb ? "ALTER TABLE FELDER add column KOMMENTAR blob sub_type text"
                          : "ALTER TABLE FELDER add KOMMENTAR memo");
    EXPECT_TRUE(log_.Lines().empty()) << log_.Raw();
    EXPECT_TRUE(Has("patienten", "zweitname"));
    EXPECT_FALSE(Has("termine", "erschienen"));

    // In line now: the next start changes nothing.
    statements_.clear();
    EXPECT_TRUE(Sync());
    EXPECT_TRUE(statements_.empty()) << statements_[0];

    Transfer("1,2,3");
    EXPECT_EQ(Count(set_->Archive, "select count(*) from patienten where zweitname='Zweitname'"), 3)
        << log_.Raw();
    EXPECT_EQ(Text("select bemerkung from patienten where pid=2").size(), 92u);
    EXPECT_EQ(Text("select kommentar from felder where pid in (1,2,3)"), "Kommentar");
    EXPECT_EQ(Text("select zuzahlung from abrechnungen where pid in (1,2,3)"), "12.34");
}

// Velunda dropped a column in which archived rows hold values: the column
// stays, with a red line, and the start is not held up by it.
TEST_P(SyncSchemaTest, AColumnWithArchivedValuesIsKept) {
    Install(PracticePatients);
    std::string all;
    for (int pid = 1; pid <= PracticePatients; ++pid)
        all += (pid > 1 ? "," : "") + std::to_string(pid);
    Transfer(all);
    ASSERT_GT(Count(set_->Archive, "select count(*) from termine where erschienen is not null"), 0)
        << log_.Raw();
    Apply(set_->MainDatabase(), "velunda-changes");
    log_.Clear();
    EXPECT_TRUE(Sync()) << log_.Raw();
    ASSERT_EQ(LogLines().size(), 1u) << log_.Raw();
    EXPECT_EQ(LogLines()[0].text,
              "Archiv: Spalte erschienen der Tabelle termine enthält archivierte Daten und wird "
              "nicht gelöscht.");
    EXPECT_EQ(LogLines()[0].colour, ColourRed);
    for (const std::string& sql : statements_) EXPECT_EQ(sql.find("ERSCHIENEN"), std::string::npos);
    EXPECT_TRUE(Has("termine", "erschienen"));

    // Those patients cannot go back while the values are there: the restore
    // is refused before it writes anything, naming table, column and count.
    const int values =
        Count(set_->Archive, "select count(*) from termine where erschienen is not null");
    set_->SwapSides();
    log_.Clear();
    boxes_.Clear();
    Transfer(all);
    EXPECT_EQ(boxes_.Texts(),
              std::vector<std::string>{
                  "Diese Patienten können nicht restauriert werden: das Archiv hat Werte in "
                  "Spalten, die Velunda nicht mehr kennt:\n• termine.erschienen: " +
                  std::to_string(values) +
                  " Einträge\nEin Administrator kann die Spalten in Velunda wieder anlegen oder "
                  "die Werte im Archiv prüfen und leeren; danach ist die Restaurierung "
                  "möglich.\nDer Vorgang wird nicht gestartet."});
    EXPECT_TRUE(LogLines().empty()) << log_.Raw();
    EXPECT_TRUE(BakFiles().empty());
    // Its preview is refused with the same box.
    const std::vector<std::string> refused = boxes_.Texts();
    boxes_.Clear();
    RunPlan plan;
    EXPECT_FALSE(PreviewRun(*set_, RunKind::Restore, all, plan));
    EXPECT_EQ(boxes_.Texts(), refused);
    EXPECT_TRUE(LogLines().empty()) << log_.Raw();
    // Without values the column is no obstacle: the common columns go back.
    Exec(set_->Archive, "update termine set erschienen = null");
    boxes_.Clear();
    Transfer(all);
    EXPECT_TRUE(boxes_.Boxes().empty());
    EXPECT_EQ(Count(set_->MainDatabase(), "select count(*) from patienten"), PracticePatients);
    EXPECT_EQ(Count(set_->Archive, "select count(*) from termine"), 0);
}

// Names that differ only in case are one column; "a,,b" yields "a" and ",b";
// a table missing on either side is reported with its database and counted.
TEST_P(SyncSchemaTest, NamesMatchWithoutCaseAndUnknownTablesAreReported) {
    Install(PracticePatients);
    const bool fb = Kind() == DatabaseKind::Firebird;
    Exec(set_->MainDatabase(), fb ? "create table casetest (\"Bemerkung\" varchar(10))"
                                  : "create table casetest ([Bemerkung] text(10))");
    Exec(set_->MainDatabase(), "create table onlyvelunda (a integer)");
    Exec(set_->Archive, TranslateSQL("create table casetest (BEMERKUNG §VARCHAR§(10))", Ext()));
    ArchiveDbPair source("Velunda", "data", "onlyvelunda,casetest,,casetest");
    ASSERT_TRUE(Connect(source));
    EXPECT_FALSE(SyncSchema(&source, set_->Archive));
    EXPECT_TRUE(statements_.empty()) << statements_[0];
    EXPECT_EQ(LogTexts(),
              (std::vector<std::string>{
                  "Archiv: Tabelle onlyvelunda konnte nicht geöffnet werden: <unbekannt>",
                  "Velunda: Tabelle ,casetest konnte nicht geöffnet werden: <unbekannt>",
              }));
    for (const auto& line : LogLines()) EXPECT_EQ(line.colour, ColourRed);
    source.Connection.Disconnect();
}

// A column catalog that breaks off, half way or at once, is a failure of its
// table and not a shorter table: none of its archive columns is dropped, the
// other tables are still brought in line, and the result is false.
TEST_P(SyncSchemaTest, ACatalogThatBreaksOffChangesNothingInItsTable) {
    if (!RunInOwnProcess()) return;
    Install(PracticePatients);
    Apply(set_->MainDatabase(), "velunda-changes");
    const auto columns = ColumnNames(set_->Archive, "patienten");
    ASSERT_GT(columns.size(), 3u);
    const std::string refused =
        "Velunda: Tabelle patienten konnte nicht geöffnet werden: Injected fault "
        "(TAMARO_ODBC_FAIL_CATALOG)";
    const bool fb = Kind() == DatabaseKind::Firebird;

    setenv("TAMARO_ODBC_FAIL_CATALOG", "patienten:3", 1);
    EXPECT_FALSE(Sync());
    unsetenv("TAMARO_ODBC_FAIL_CATALOG");
    EXPECT_EQ(LogTexts(), std::vector<std::string>{refused});
    EXPECT_EQ(LogLines()[0].colour, ColourRed);
    EXPECT_EQ(statements_, (std::vector<std::string>{
                               fb ? "ALTER TABLE ABRECHNUNGEN §ADDCOL§ ZUZAHLUNG NUMERIC(12,2)"
                                  : "ALTER TABLE ABRECHNUNGEN §ADDCOL§ ZUZAHLUNG DOUBLE PRECISION",
                               "ALTER TABLE TERMINE §DROPCOL§ ERSCHIENEN",
                               "ALTER TABLE FELDER §ADDCOL§ KOMMENTAR §MEMO§",
                           }));
    EXPECT_EQ(ColumnNames(set_->Archive, "patienten"), columns);

    setenv("TAMARO_ODBC_FAIL_CATALOG", "PATIENTEN", 1);
    statements_.clear();
    log_.Clear();
    EXPECT_FALSE(Sync());
    unsetenv("TAMARO_ODBC_FAIL_CATALOG");
    EXPECT_EQ(LogTexts(), std::vector<std::string>{refused});
    EXPECT_TRUE(statements_.empty()) << statements_[0];

    // Read whole, the table is brought in line at the next start.
    log_.Clear();
    EXPECT_TRUE(Sync()) << log_.Raw();
    EXPECT_EQ(statements_, (std::vector<std::string>{
                               "ALTER TABLE PATIENTEN §ALTERCOL§ BEMERKUNG VARCHAR(120)",
                               "ALTER TABLE PATIENTEN §ADDCOL§ ZWEITNAME VARCHAR(40)",
                           }));
}

INSTANTIATE_TEST_SUITE_P(Kinds, SyncSchemaTest,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access), KindName);

}  // namespace
}  // namespace archivetest
