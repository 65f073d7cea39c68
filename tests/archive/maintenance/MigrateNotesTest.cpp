// Old notes of the archive move into "data" with ids from karteiData.id.
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>

#include "archive/safety/DatabaseBackup.h"
#include "archive/maintenance/MigrateNotes.h"
#include "core/Globals.h"
#include "db/ODBCStmt.h"
#include "tests/archive/maintenance/MaintenanceFixture.h"

namespace archivetest {
namespace {

class MigrateNotesTest : public MaintenanceTest {
  protected:
    std::string IdFile() { return DatabaseDir + "/karteiData.id"; }
    int NextId() { return std::atoi(testenv::ReadFile(IdFile()).c_str()); }
    // The notes (nid, text) in one transaction, all of patient 7, doctor 2,
    // written 2004-03-09 08:05:00 local time plus the nid in seconds.
    void Notes(const std::vector<std::pair<int, std::string>>& notes) {
        ODBCConnection& c = set_->Archive.Connection;
        SQLSetConnectAttr(c.HDbc(), SQL_ATTR_AUTOCOMMIT, SQLPOINTER(SQL_AUTOCOMMIT_OFF), 0);
        for (const auto& [nid, text] : notes)
            Exec(set_->Archive, "insert into notizen (nid, pid, aid, datum, notiz) values (" +
                                    std::to_string(nid) + ", 7, 2, " +
                                    std::to_string(Base() + nid) + ", '" + text + "')");
        SQLEndTran(SQL_HANDLE_DBC, c.HDbc(), SQL_COMMIT);
        SQLSetConnectAttr(c.HDbc(), SQL_ATTR_AUTOCOMMIT, SQLPOINTER(SQL_AUTOCOMMIT_ON), 0);
    }
    static int32_t Base() {
        std::tm tm{};
        tm.tm_year = 104;
        tm.tm_mon = 2;
        tm.tm_mday = 9;
        tm.tm_hour = 8;
        tm.tm_min = 5;
        tm.tm_isdst = -1;
        return int32_t(std::mktime(&tm));
    }
    std::vector<std::string> Starting(const char* word) const {
        std::vector<std::string> out;
        for (const auto& s : statements_)
            if (s.rfind(word, 0) == 0) out.push_back(s);
        return out;
    }
};

TEST_P(MigrateNotesTest, ThousandAndOneNotesMoveWithThreeDeletes) {
    Install(PracticePatients);
    std::vector<std::pair<int, std::string>> notes;
    for (int nid = 1; nid <= 1001; ++nid) notes.push_back({nid, "Notiz " + std::to_string(nid)});
    notes[0].second = "O''Brien sagt: ''Grüß Gott''";
    Notes(notes);
    const int first = NextId();
    const int32_t before = int32_t(std::time(nullptr));

    MigrateNotes(set_->Archive);
    EXPECT_TRUE(boxes_.Boxes().empty()) << boxes_.Texts()[0];
    const auto inserts = Starting("insert");
    ASSERT_EQ(inserts.size(), 1001u);
    // The date in the destination's quote; "#" would be refused by Firebird.
    const char q = Kind() == DatabaseKind::Firebird ? '\'' : '#';
    const std::string head =
        "insert into data (did, pid, aid, cid, datum, txt, flags, deleted, "
        "created) values(" +
        std::to_string(first) + ", 7, 2, 4, " + q + "2004-3-9 08:05:01" + q +
        ", 'O''Brien sagt: ''Grüß Gott''', 0, 0, ";
    EXPECT_EQ(inserts[0].substr(0, head.size()), head);
    const auto deletes = Starting("delete");
    ASSERT_EQ(deletes.size(), 3u);
    std::string ids;
    for (int nid = 1; nid <= 500; ++nid) ids += (nid > 1 ? "," : "") + std::to_string(nid);
    EXPECT_EQ(deletes[0], "delete from notizen where nid in (" + ids + ")");
    EXPECT_EQ(std::count(deletes[1].begin(), deletes[1].end(), ','), 499);
    EXPECT_EQ(deletes[2], "delete from notizen where nid in (1001)");

    ArchiveDbPair& a = set_->Archive;
    EXPECT_EQ(Count(a, "select count(*) from notizen"), 0);
    EXPECT_EQ(Count(a,
                    "select count(*) from data where cid=4 and pid=7 and aid=2 and flags=0 and "
                    "deleted=0"),
              1001);
    EXPECT_EQ(NextId(), first + 1001);
    auto rows = Query(a, "select did, txt, created from data where did=" + std::to_string(first));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][1], "O'Brien sagt: 'Grüß Gott'");
    EXPECT_GE(std::atoi(rows[0][2].c_str()), before);
    EXPECT_EQ(Count(a, "select count(distinct created) from data where cid=4"), 1);

    // A second start finds nothing to move.
    statements_.clear();
    MigrateNotes(a);
    EXPECT_TRUE(statements_.empty());
}

// A note whose insert fails, and every note when no record id can be had,
// stays in "notizen" and moves at a later start; a moved note that shares
// its number with one that stays is deleted by its whole row, and each note
// ends up in "data" once.
TEST_P(MigrateNotesTest, NotesThatCouldNotBeWrittenStay) {
    if (!RunInOwnProcess()) return;
    Install(PracticePatients);
    Notes({{1, "Notiz 1"}, {2, "Fehlschlag"}, {2, "Notiz 2"}, {3, "Notiz 3"}});
    setenv("TAMARO_ODBC_FAIL_MATCH", "Fehlschlag", 1);
    setenv("TAMARO_ODBC_FAIL_AFTER", "0", 1);
    MigrateNotes(set_->Archive);
    unsetenv("TAMARO_ODBC_FAIL_AFTER");
    ASSERT_EQ(boxes_.Boxes().size(), 1u);
    const std::string box = boxes_.Texts()[0];
    EXPECT_EQ(box.rfind(Starting("insert")[1] + ":\n\nInjected fault (TAMARO_ODBC_FAIL_AFTER)", 0),
              0u)
        << box;
    EXPECT_NE(Starting("insert")[1].find("'Fehlschlag'"), std::string::npos);
    EXPECT_EQ(Starting("delete"),
              (std::vector<std::string>{
                  "delete from notizen where nid in (1,3)",
                  "delete from notizen where nid = 2 and pid = 7 and aid = 2 and datum = " +
                      std::to_string(Base() + 2) + " and notiz = 'Notiz 2'"}));
    EXPECT_EQ(Query(set_->Archive, "select notiz from notizen"),
              std::vector<std::vector<std::string>>{{"Fehlschlag"}});

    // No id file to be had: nothing is written, one message box.
    Notes({{5, "Notiz 5"}, {6, "Notiz 6"}});
    std::filesystem::remove(IdFile());
    std::filesystem::create_directory(IdFile());
    statements_.clear();
    boxes_.Clear();
    MigrateNotes(set_->Archive);
    EXPECT_TRUE(statements_.empty()) << statements_[0];
    EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"Fehler in getID(1) - Verbindung zum "
                                                       "Netzwerk wurde unterbrochen oder "
                                                       "ID-Datei defekt."});
    EXPECT_EQ(Count(set_->Archive, "select count(*) from data where did < 0"), 0);
    EXPECT_EQ(Count(set_->Archive, "select count(*) from notizen"), 3);

    std::filesystem::remove(IdFile());
    MigrateNotes(set_->Archive);
    EXPECT_EQ(Count(set_->Archive, "select count(*) from notizen"), 0);
    EXPECT_EQ(Count(set_->Archive, "select count(*) from data where cid=4"), 6);
}

// After a stop, "notizen" holds exactly the notes that were not moved, also
// those that share a number with a moved one; no note is lost or doubled.
// Two notes the engine cannot tell apart, one moved and one not, both stay:
// the moved one is taken back out of "data".
TEST_P(MigrateNotesTest, AStopLeavesExactlyTheNotesThatWereNotMoved) {
    Install(PracticePatients);
    ArchiveDbPair& a = set_->Archive;
    auto sorted = [&](const std::string& sql) {
        std::vector<std::string> texts;
        for (const auto& row : Query(a, sql)) texts.push_back(row[0]);
        std::sort(texts.begin(), texts.end());
        return texts;
    };
    auto notes = [&] { return sorted("select notiz from notizen"); };
    auto moved = [&] { return sorted("select txt from data where cid=4 and pid=7"); };
    const std::vector<std::string> noIdBox{
        "Fehler in getID(2) - Verbindung zum Netzwerk wurde unterbrochen oder ID-Datei defekt."};
    Notes({{1, "erste"}, {2, "zweite"}, {1, "dritte"}});
    // One id left: the second note finds none.
    testenv::WriteFile(IdFile(), "2147483646");
    MigrateNotes(a);
    EXPECT_EQ(boxes_.Texts(), noIdBox);
    ASSERT_EQ(Starting("insert").size(), 1u);
    EXPECT_EQ(Starting("insert")[0].rfind(
                  "insert into data (did, pid, aid, cid, datum, txt, flags, deleted, created) "
                  "values(2147483646, 7, 2, 4, ",
                  0),
              0u);
    EXPECT_EQ(Starting("delete"),
              std::vector<std::string>{"delete from notizen where nid = 1 and pid = 7 and aid = 2 "
                                       "and datum = " +
                                       std::to_string(Base() + 1) + " and notiz = 'erste'"});
    EXPECT_EQ(notes(), (std::vector<std::string>{"dritte", "zweite"}));
    EXPECT_EQ(moved(), std::vector<std::string>{"erste"});

    // With ids to be had again, the notes left move at the next start.
    std::filesystem::remove(IdFile());
    MigrateNotes(a);
    EXPECT_TRUE(notes().empty());
    EXPECT_EQ(moved(), (std::vector<std::string>{"dritte", "erste", "zweite"}));

    Exec(a, "delete from data where cid=4");
    Notes({{4, "gleich"}, {4, "gleich"}});
    testenv::WriteFile(IdFile(), "2147483646");
    statements_.clear();
    boxes_.Clear();
    MigrateNotes(a);
    EXPECT_EQ(boxes_.Texts(), noIdBox);
    EXPECT_EQ(Starting("delete"),
              std::vector<std::string>{"delete from data where did = 2147483646"});
    EXPECT_EQ(notes(), (std::vector<std::string>{"gleich", "gleich"}));
    EXPECT_TRUE(moved().empty());
    std::filesystem::remove(IdFile());
    MigrateNotes(a);
    EXPECT_TRUE(notes().empty());
    EXPECT_EQ(moved(), (std::vector<std::string>{"gleich", "gleich"}));
}

// A note that no fetch delivers breaks the read off there; only numbers that
// no other note of the table carries are deleted then, the other moved notes
// by their whole rows where those can be counted, and otherwise they are
// taken back out of "data". On Firebird the notes are read through a view
// that divides by zero at the third (and so at every count that reaches
// it); the Access kind is an SQLite file underneath, where a number column
// can be given a text.
TEST_P(MigrateNotesTest, AReadThatBreaksOffDeletesOnlyNumbersHeldByMovedNotes) {
    Install(PracticePatients);
    ArchiveDbPair& a = set_->Archive;
    if (Kind() == DatabaseKind::Firebird) {
        Exec(a, "drop table notizen");
        Exec(a,
             "create table notizrows (seq integer, nid integer, pid integer, aid integer, datum "
             "integer, notiz blob sub_type text)");
        Exec(a,
             "create view notizen (nid, pid, aid, datum, notiz) as select nid, pid, aid, "
             "cast(datum + 0 / (3 - seq) as integer), notiz from notizrows");
        int seq = 0;
        for (const auto& [nid, text] : std::vector<std::pair<int, std::string>>{
                 {1, "erste"}, {2, "zweite"}, {1, "dritte"}, {3, "vierte"}})
            Exec(a, "insert into notizrows values (" + std::to_string(++seq) + ", " +
                        std::to_string(nid) + ", 7, 2, 0, '" + text + "')");
    } else {
        Notes({{1, "erste"}, {2, "zweite"}});
        a.Connection.Disconnect();
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(DatabasePath(a).c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "pragma ignore_check_constraints=1", nullptr, nullptr, nullptr),
                  SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db,
                               "insert into notizen (nid, pid, aid, datum, notiz) values (1, 7, 2, "
                               "'kaputt', 'dritte'), (3, 7, 2, 0, 'vierte')",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
        ASSERT_TRUE(Connect(a));
    }

    const int first = NextId();
    MigrateNotes(a);
    EXPECT_EQ(Starting("insert").size(), 2u);
    const bool fb = Kind() == DatabaseKind::Firebird;
    EXPECT_EQ(Starting("delete"),
              (std::vector<std::string>{
                  "delete from notizen where nid in (2)",
                  fb ? "delete from data where did = " + std::to_string(first)
                     : "delete from notizen where nid = 1 and pid = 7 and aid = 2 and datum = " +
                           std::to_string(Base() + 1) + " and notiz = 'erste'"}));
    EXPECT_EQ(Count(a, "select count(*) from notizen where nid=1"), fb ? 2 : 1);
    EXPECT_EQ(Count(a, "select count(*) from notizen where nid=3"), 1);
    EXPECT_EQ(Count(a, "select count(*) from data where cid=4"), fb ? 1 : 2);
}

INSTANTIATE_TEST_SUITE_P(Kinds, MigrateNotesTest,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access), KindName);

}  // namespace
}  // namespace archivetest
