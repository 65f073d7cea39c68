// The version ladder on archives of older releases, made from the template
// by tamaro-mkpractice --old-archive.
#include <sqlite3.h>

#include "archive/safety/DatabaseBackup.h"
#include "archive/maintenance/SyncSchema.h"
#include "archive/maintenance/UpdateDB.h"
#include "core/Globals.h"
#include "db/ODBCStmt.h"
#include "db/SqlDialect.h"
#include "tests/archive/maintenance/MaintenanceFixture.h"

namespace archivetest {
namespace {

const char* const kLastStep = "alter table abrechnungen §ALTERCOL§ multiplikator §TYPE§ integer";
const char* const kFault = "Injected fault (TAMARO_ODBC_FAIL_AFTER)";

class UpdateDBTest : public MaintenanceTest {
  protected:
    void SetVersion(int version) {
        Exec(set_->Archive, "update dbv set val=" + std::to_string(version));
    }
    std::string Text(const std::string& sql) {
        auto rows = Query(set_->Archive, sql);
        return rows.empty() ? "<no row>" : rows[0][0];
    }
    int SqlType(const std::string& table, const std::string& column) {
        ODBCStmt stmt(set_->Archive.Connection);
        std::string t = table, c = column;
        SQLColumns(stmt.Handle(), nullptr, 0, nullptr, 0, reinterpret_cast<SQLCHAR*>(t.data()),
                   SQL_NTS, reinterpret_cast<SQLCHAR*>(c.data()), SQL_NTS);
        int32_t type = 0;
        if (stmt.Fetch()) stmt.GetColumnInt(5, type);
        return type;
    }
};

class UpdateDBAccess : public UpdateDBTest {};

// The oldest archive is brought to 68 statement by statement, the docmed
// conversion writing null where a prescription has none; an archive whose
// ladder stopped after creating "dbv" goes on with its row.
TEST_P(UpdateDBAccess, TheOldestArchivesReachTheCurrentVersion) {
    Install(PracticePatients);
    OldArchive(0);
    ArchiveDbPair& a = set_->Archive;
    Exec(a,
         "insert into diagnosen (aid, pid, datum, code, sid, [text]) values (1, 7, 100, 'J06', 1, "
         "'O''Brien')");
    const char* rezept =
        "insert into rezepte (mid, pid, aid, pzn, f1, f2, anzahl, verschreibungsanzahl, "
        "zuletztverschrieben, dauermedikament) values ";
    Exec(a, std::string(rezept) + "(1, 7, 1, 111, '3', 'x', 1, 2, 3, 1)");
    Exec(a, std::string(rezept) + "(2, 7, 1, 111, '4', 'x', 1, 5, 6, 0)");
    Exec(a, std::string(rezept) + "(3, 7, 1, 222, '2', 'x', 1, 8, 9, null)");

    ASSERT_TRUE(UpdateDB(a)) << log_.Raw();
    EXPECT_EQ(StoredVersion(), 68);
    EXPECT_TRUE(boxes_.Boxes().empty()) << boxes_.Texts()[0];
    EXPECT_TRUE(log_.Lines().empty()) << log_.Raw();
    // One statement per step, none for step 12, two for steps 42 and 45, five
    // for the conversion of the three prescriptions, and the stored version.
    ASSERT_EQ(statements_.size(), 74u);
    EXPECT_EQ(statements_[0], "create table DBV(VAL integer)");
    EXPECT_EQ(statements_[21],
              "insert into docmed (pid,aid,pzn,verschreibungsanzahl,zuletztverschrieben,"
              "dauermedikament) values (7,1,111,2,3,1)");
    EXPECT_EQ(statements_[23],
              "insert into docmed (pid,aid,pzn,verschreibungsanzahl,zuletztverschrieben,"
              "dauermedikament) values (7,1,222,8,9,null)");
    EXPECT_EQ(statements_[72], kLastStep);
    EXPECT_EQ(statements_[73], "update dbv set val=68");
    EXPECT_EQ(Text("select notiz from diagnosen"), "O'Brien");
    EXPECT_EQ(Text("select dauermedikament from docmed where pzn=222"), "<null>");
    EXPECT_EQ(Count(a, "select count(*) from rezepte"), 2);  // the older duplicate of 111 went

    OldArchive(1);
    statements_.clear();
    EXPECT_TRUE(UpdateDB(a)) << log_.Raw();
    ASSERT_FALSE(statements_.empty());
    EXPECT_EQ(statements_[0], "insert into DBV (VAL) values(0)");
    EXPECT_EQ(StoredVersion(), 68);
}

// Step 21 copies "rezepte" into the new "docmed": without rows only the
// delete follows the create. When the copy cannot be read, the ladder stops
// there, since the next steps drop the copied columns, and leaves no table
// behind that would stop the next start.
TEST_P(UpdateDBAccess, DocmedConversionWithoutRowsAndWithAnUnreadableSource) {
    Install(PracticePatients);
    OldArchive(21);
    EXPECT_TRUE(UpdateDB(set_->Archive)) << log_.Raw();
    ASSERT_GE(statements_.size(), 3u);
    EXPECT_EQ(statements_[0],
              "create table DOCMED (AID\tinteger, PID\tinteger, DATUM\tinteger, "
              "DAUERMEDIKAMENT\tinteger, ZULETZTVERSCHRIEBEN\tinteger, PZN\tinteger, "
              "VERSCHREIBUNGSANZAHL\tinteger)");
    EXPECT_EQ(statements_[1],
              "delete from rezepte where mid in ( select distinct a.mid from rezepte a, rezepte "
              "b\twhere a.pzn = b.pzn and a.mid < b.mid )");
    EXPECT_EQ(statements_[2], "update rezepte set flags=int(f1)");

    OldArchive(21);
    Exec(set_->Archive, "alter table rezepte drop column verschreibungsanzahl");
    Exec(set_->Archive, "insert into rezepte (mid, pid, aid, pzn) values (1, 7, 1, 111)");
    log_.Clear();
    EXPECT_FALSE(UpdateDB(set_->Archive));
    ASSERT_EQ(LogLines().size(), 1u) << log_.Raw();
    EXPECT_EQ(LogLines()[0].text.rfind("Fehler in TamaroDlg::UpdateDB() ", 0), 0u);
    EXPECT_EQ(LogLines()[0].colour, ColourRed);
    EXPECT_EQ(StoredVersion(), 21);
    auto columns = ColumnNames(set_->Archive, "rezepte");
    EXPECT_NE(std::find(columns.begin(), columns.end(), "pid"), columns.end());
    EXPECT_TRUE(ColumnNames(set_->Archive, "docmed").empty());

    Exec(set_->Archive, "alter table rezepte add column verschreibungsanzahl integer");
    EXPECT_TRUE(UpdateDB(set_->Archive)) << log_.Raw();
    EXPECT_EQ(Count(set_->Archive, "select count(*) from docmed where pid=7"), 1);
}

INSTANTIATE_TEST_SUITE_P(Kinds, UpdateDBAccess, testing::Values(DatabaseKind::Access), KindName);

// Archives of the recent releases, on both kinds: 67 needs only the last
// step, 47 the last twenty-one, and either then matches the live schema.
TEST_P(UpdateDBTest, FromVersions47And67) {
    Install(PracticePatients);
    OldArchive(67);
    Exec(set_->Archive,
         "insert into abrechnungen (pid, aid, datum, multiplikator) values (7, 1, 100, 3)");
    ASSERT_TRUE(UpdateDB(set_->Archive)) << log_.Raw();
    EXPECT_EQ(statements_, (std::vector<std::string>{kLastStep, "update dbv set val=68"}));
    EXPECT_EQ(StoredVersion(), 68);
    EXPECT_EQ(SqlType("abrechnungen", "multiplikator"), SQL_INTEGER);
    EXPECT_EQ(Count(set_->Archive, "select multiplikator from abrechnungen"), 3);

    OldArchive(47);
    statements_.clear();
    ASSERT_TRUE(UpdateDB(set_->Archive)) << log_.Raw();
    ASSERT_EQ(statements_.size(), 22u);
    EXPECT_EQ(statements_[0].rfind("create table HAVG_PATEXTRA (PID\tinteger, ", 0), 0u);
    EXPECT_EQ(statements_[3], "alter table data add column deleted integer");
    EXPECT_EQ(statements_[13], "alter table abrechnungen add column extra memo");
    EXPECT_EQ(statements_[20], kLastStep);
    EXPECT_EQ(StoredVersion(), 68);
    EXPECT_TRUE(boxes_.Boxes().empty()) << boxes_.Texts()[0];
    EXPECT_TRUE(log_.Lines().empty()) << log_.Raw();

    statements_.clear();
    EXPECT_TRUE(SyncSchema(set_->VelundaList, set_->Archive)) << log_.Raw();
    EXPECT_TRUE(statements_.empty()) << statements_[0];
}

TEST_P(UpdateDBTest, OutsideTheLadderIsAVersionConflict) {
    Install(PracticePatients);
    EXPECT_TRUE(UpdateDB(set_->Archive));
    EXPECT_TRUE(statements_.empty());
    // The conflict names the archive file, its version and what to do.
    const std::string file = "Die Archivdatenbank " + DatabaseDir + "/archiv" + Ext();
    const std::map<int, std::string> reasons = {
        {69, file + " hat die Version 69; dieses Tamaro kennt Versionen bis 68. Eine neuere "
                    "Tamaro-Version hat sie bearbeitet: Installieren Sie diese Version (oder "
                    "eine spätere) auf diesem Rechner. Bis dahin bleiben F4, F5 und F6 gesperrt."},
        {-1, file + " nennt in der Tabelle dbv die ungültige Version -1. Legen Sie sie aus der "
                    "Datensicherung der Praxis zurück. Bis dahin bleiben F4, F5 und F6 gesperrt."}};
    for (const auto& [version, reason] : reasons) {
        SetVersion(version);
        log_.Clear();
        EXPECT_FALSE(UpdateDB(set_->Archive));
        ASSERT_EQ(LogLines().size(), 2u) << log_.Raw();
        EXPECT_EQ(LogLines()[0].text, "Versionskonflikt.");
        EXPECT_EQ(LogLines()[0].colour, ColourRed);
        EXPECT_EQ(LogLines()[1].text, reason);
        EXPECT_EQ(LogLines()[1].colour, ColourRed);
        EXPECT_TRUE(statements_.empty()) << statements_[0];
        EXPECT_EQ(StoredVersion(), version);
    }
}

// A failing step stores its number, and the next start begins with it; an
// upgrade whose version cannot be stored does not count as done.
TEST_P(UpdateDBTest, AFailingStepIsWhereTheNextStartResumes) {
    if (!RunInOwnProcess()) return;
    Install(PracticePatients);
    OldArchive(47);
    setenv("TAMARO_ODBC_FAIL_MATCH", "create table ITEMHIST", 1);
    setenv("TAMARO_ODBC_FAIL_AFTER", "0", 1);
    EXPECT_FALSE(UpdateDB(set_->Archive));
    unsetenv("TAMARO_ODBC_FAIL_AFTER");
    ASSERT_EQ(LogLines().size(), 1u) << log_.Raw();
    EXPECT_EQ(LogLines()[0].colour, ColourRed);
    const std::string step49 =
        "create table ITEMHIST (VID\tinteger, IID\tinteger, ITYP\tinteger, IFMT\tinteger, "
        "PID\tinteger, AID\tinteger, LID\tinteger, DATUM\tinteger, TXT\t§MEMO§)";
    EXPECT_EQ(LogLines()[0].text,
              std::string("ExecuteSQL(): ") + kFault + "\n" + TranslateSQL(step49.c_str(), Ext()));
    EXPECT_EQ(statements_.back(), "update dbv set val=49");
    EXPECT_EQ(StoredVersion(), 49);

    statements_.clear();
    EXPECT_TRUE(UpdateDB(set_->Archive));
    ASSERT_FALSE(statements_.empty());
    EXPECT_EQ(statements_[0], step49);
    EXPECT_EQ(StoredVersion(), 68);

    OldArchive(67);
    setenv("TAMARO_ODBC_FAIL_MATCH", "update dbv set val=68", 1);
    setenv("TAMARO_ODBC_FAIL_AFTER", "0", 1);
    EXPECT_FALSE(UpdateDB(set_->Archive));
    unsetenv("TAMARO_ODBC_FAIL_AFTER");
    EXPECT_EQ(boxes_.Texts(),
              std::vector<std::string>{"update dbv set val=68:\n\n" + std::string(kFault)});
    EXPECT_EQ(StoredVersion(), 67);
}

// A version that cannot be read is a failure of the upgrade, not an archive
// without a version: no step runs and nothing is stored (a failing query is
// tested with the start-up). Only a missing table counts as version 0, and an
// empty one as 1.
TEST_P(UpdateDBTest, AVersionThatCannotBeReadStopsTheUpgrade) {
    Install(PracticePatients);
    ArchiveDbPair& a = set_->Archive;
    // The query runs, and its row cannot be fetched: on Firebird a version
    // computed by division by zero, on the Access kind (SQLite underneath) a
    // version that is no number.
    a.Connection.Disconnect();
    std::string reason;
    if (Kind() == DatabaseKind::Firebird) {
        ASSERT_TRUE(Connect(a));
        Exec(a, "drop table dbv");
        Exec(a,
             "create view dbv (val) as select 68 / (select count(*) - 1 from rdb$database) from "
             "rdb$database");
        reason = "divide by zero";
    } else {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(DatabasePath(a).c_str(), &db), SQLITE_OK);
        // The driver's own checks would refuse it; SQLite can be told to skip them.
        ASSERT_EQ(sqlite3_exec(db, "pragma ignore_check_constraints=1", nullptr, nullptr, nullptr),
                  SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "update dbv set val='kaputt'", nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
        ASSERT_TRUE(Connect(a));
        reason = "kaputt";
    }
    log_.Clear();
    EXPECT_FALSE(UpdateDB(a));
    ASSERT_EQ(LogLines().size(), 1u) << log_.Raw();
    EXPECT_EQ(LogLines()[0].text.rfind("Fehler in UpdateDB: ", 0), 0u);
    EXPECT_NE(LogLines()[0].text.find(reason), std::string::npos) << LogLines()[0].text;
    EXPECT_EQ(LogLines()[0].colour, ColourRed);
    EXPECT_TRUE(statements_.empty()) << statements_[0];
    EXPECT_TRUE(boxes_.Boxes().empty()) << boxes_.Texts()[0];

    // An empty table is version 1, a missing one version 0 (on an archive of
    // version 67 the ladder then stops at step 2, which is not the point).
    OldArchive(67);
    Exec(a, "delete from dbv");
    log_.Clear();
    statements_.clear();
    EXPECT_FALSE(UpdateDB(a));
    ASSERT_FALSE(statements_.empty());
    EXPECT_EQ(statements_[0], "insert into DBV (VAL) values(0)");
    Exec(a, "drop table dbv");
    statements_.clear();
    EXPECT_FALSE(UpdateDB(a));
    ASSERT_FALSE(statements_.empty());
    EXPECT_EQ(statements_[0], "create table DBV(VAL integer)");
    for (const auto& line : LogTexts())
        EXPECT_EQ(line.rfind("Fehler in UpdateDB", 0), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Kinds, UpdateDBTest,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access), KindName);

}  // namespace
}  // namespace archivetest
