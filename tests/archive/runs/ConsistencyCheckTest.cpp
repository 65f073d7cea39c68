// The check of practice and archive: clean on a fresh practice and after
// runs in both directions, and every kind of finding when planted by hand,
// as report lines and as log lines; refused while a run holds the lock.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <tuple>

#include "archive/runs/ArchiveHistory.h"
#include "archive/runs/ConsistencyCheck.h"
#include "archive/runs/DeletePatientsRun.h"
#include "archive/rows/PidList.h"
#include "archive/safety/RunJournal.h"
#include "archive/safety/RunLock.h"
#include "core/Globals.h"
#include "tests/archive/ArchiveFixture.h"

namespace archivetest {
namespace {

namespace fs = std::filesystem;

// keyword, pid ("" for none), side, database.table, rows
using Row = std::tuple<std::string, std::string, std::string, std::string, int64_t>;

std::vector<Row> Rows(const CheckReport& report) {
    std::vector<Row> rows;
    for (const CheckLine& l : report.lines)
        rows.emplace_back(CheckKeyword(l.finding), l.pid ? std::to_string(*l.pid) : "", l.side,
                          l.database + "." + l.table, l.rows);
    return rows;
}

// A line of that text; in that colour, when one is given.
bool HasLine(const std::vector<LogRecorder::Line>& lines, const std::string& text,
             std::optional<uint32_t> colour = std::nullopt) {
    for (const auto& line : lines)
        if (line.text == text) return !colour || line.colour == *colour;
    return false;
}

class ConsistencyCheckTest : public ArchiveTest {
  protected:
    // Drops the primary key of "patienten", as databases of older
    // installations may lack it.
    void DropPatientKey(ArchiveDbPair& db) {
        std::string name = "PrimaryKey";
        if (Kind() == DatabaseKind::Firebird) {
            const auto rows = Query(db,
                                    "select rdb$constraint_name from rdb$relation_constraints "
                                    "where rdb$relation_name='PATIENTEN' and "
                                    "rdb$constraint_type='PRIMARY KEY'");
            ASSERT_EQ(rows.size(), 1u);
            name = rows[0][0];
            while (!name.empty() && name.back() == ' ') name.pop_back();
        }
        Exec(db, "alter table patienten drop constraint " + name);
    }
};

TEST_P(ConsistencyCheckTest, CleanOnAFreshPracticeAndAfterRunsBothWays) {
    Install(PracticePatients);
    CheckReport report;
    ASSERT_TRUE(CheckConsistency(*set_, report)) << log_.Raw();
    EXPECT_TRUE(report.lines.empty());
    auto lines = LogLines();
    // Heading, 24 tables per side, the history, the summary, the ready line.
    ASSERT_EQ(lines.size(), 1u + 48u + 1u + 2u) << log_.Raw();
    EXPECT_EQ(lines[0].text, "Datenbestand prüfen (Velunda, Archiv)...");
    EXPECT_EQ(lines[0].colour, ColourBlue);
    EXPECT_EQ(lines[1].text, "• Velunda.patienten... (12 Einträge)");
    EXPECT_EQ(lines[49].text, "• Archiv.archist... (0 Archivierungen)");
    EXPECT_EQ(lines[50].text,
              "Keine Befunde: jeder Patient liegt mit genau einem Patientensatz auf einer Seite.");
    EXPECT_EQ(lines[50].colour, ColourCount);
    EXPECT_FALSE(fs::exists(RunLock::Path()));

    // Archive three, restore one, delete an archived one and one in Velunda.
    Transfer("2,5,9");
    set_->SwapSides();
    Transfer("5");
    ASSERT_TRUE(DeletePatientsRun(*set_, "9"));
    set_->SwapSides();
    ASSERT_TRUE(DeletePatientsRun(*set_, "7"));
    const int32_t datum = int32_t(history_.GetItemData(1));
    log_.Clear();
    ASSERT_TRUE(CheckConsistency(*set_, report)) << log_.Raw();
    EXPECT_EQ(report.findings, 0);
    // The deleted archived patient is information, not a finding.
    EXPECT_EQ(Rows(report), (std::vector<Row>{{"history", "9", "Archiv", "Archiv.archist", 1}}));
    lines = LogLines();
    EXPECT_TRUE(HasLine(lines, "• Velunda.patienten... (9 Einträge)")) << log_.Raw();
    EXPECT_TRUE(HasLine(lines, "• Archiv.archist... (1 Archivierung)")) << log_.Raw();
    EXPECT_TRUE(HasLine(
        lines,
        "• History: Patient 9 ist auf keiner Seite (Archivierung vom " + ArcHistText(datum) + ")",
        ColourCount));
    EXPECT_TRUE(HasLine(
        lines,
        "1 Patienten aus der History sind auf keiner Seite (gelöscht oder verloren); das ist "
        "kein Befund.",
        ColourCount));
    for (const auto& line : lines) EXPECT_NE(line.colour, ColourRed) << line.text;

    // An unfinished run's journal is named, not refused.
    RunJournal journal;
    ASSERT_TRUE(journal.Save());
    log_.Clear();
    EXPECT_TRUE(CheckConsistency(*set_, report));
    EXPECT_EQ(LogTexts().at(1), "• Ein früherer Vorgang ist nicht abgeschlossen (" +
                                    RunJournal::Path() + "); Befunde können von ihm stammen.");
    ASSERT_TRUE(RunJournal::Remove());
    log_.Clear();
    // A table that cannot be read leaves the check incomplete, in red.
    set_->Archive.Tables += ",praxisgebuehr";
    EXPECT_FALSE(CheckConsistency(*set_, report));
    EXPECT_TRUE(report.started && !report.complete && report.findings == 0);
    EXPECT_TRUE(HasLine(LogLines(),
                        "Der Datenbestand konnte nicht vollständig geprüft werden (siehe oben).",
                        ColourRed));
    log_.Clear();
    // A database that is not connected cannot be read.
    set_->Velunda[1].Connection.Disconnect();
    EXPECT_FALSE(CheckConsistency(*set_, report));
    EXPECT_TRUE(HasLine(LogLines(),
                        "Die Datenbank Ifap ist nicht verbunden; der Datenbestand kann nicht "
                        "geprüft werden.",
                        ColourRed));
}

TEST_P(ConsistencyCheckTest, FindsEachKindPlantedByHand) {
    Install(PracticePatients);
    Transfer("2,3");
    ArchiveDbPair& main = set_->MainDatabase();
    ArchiveDbPair& kartei = *FindDatabaseForTable(set_->VelundaList, "data");
    // Patient 4 of Velunda with a service in the archive as well.
    Exec(set_->Archive, "insert into abrechnungen (pid, ziffer) values (4, 'X1')");
    // Rows of a patient that exists nowhere, and a row without a patient number.
    Exec(main, "insert into recall (recallid, pid) values (9001, 900)");
    Exec(kartei, "insert into data (did, pid) values (9001, 900)");
    Exec(main, "insert into termine (tid, pid) values (9002, null)");
    // Archived patient 2 twice in an archive without a key on "patienten".
    DropPatientKey(set_->Archive);
    Exec(set_->Archive, "insert into patienten (pid, nachname) values (2, 'Doppelt')");
    // A run naming 3 (archived) and two patients that are nowhere now.
    Exec(set_->Archive, "insert into archist (datum,pidlist) values(1600000000,'3,902,901')");
    log_.Clear();

    CheckReport report;
    ASSERT_TRUE(CheckConsistency(*set_, report)) << log_.Raw();
    std::vector<Row> expected;
    for (ArchiveDbPair* db = set_->VelundaList; db; db = db->Next)
        for (const std::string& table : SplitTableList(db->Tables))
            if (const int rows = Count(*db, "select count(*) from " + table + " where pid=4"))
                expected.emplace_back("both", "4", "Velunda", db->DisplayName + "." + table, rows);
    ASSERT_GT(expected.size(), 1u);
    const size_t both = expected.size() + 1;
    const std::vector<Row> rest{{"both", "4", "Archiv", "Archiv.abrechnungen", 1},
                                {"orphan", "", "Velunda", "Velunda.termine", 1},
                                {"orphan", "4", "Archiv", "Archiv.abrechnungen", 1},
                                {"orphan", "900", "Velunda", "Velunda.recall", 1},
                                {"orphan", "900", "Velunda", "Kartei.data", 1},
                                {"duplicate", "2", "Archiv", "Archiv.patienten", 2},
                                {"history", "901", "Archiv", "Archiv.archist", 1},
                                {"history", "902", "Archiv", "Archiv.archist", 1}};
    expected.insert(expected.end(), rest.begin(), rest.end());
    EXPECT_EQ(Rows(report), expected);
    EXPECT_EQ(report.findings, int(both) + 5);
    EXPECT_EQ(report.patients, 3);
    EXPECT_EQ(report.historyPids, 2);

    // The same as log lines: findings red, history as information.
    const auto lines = LogLines();
    EXPECT_TRUE(HasLine(lines, "• Patient 4 auf beiden Seiten: Archiv.abrechnungen (1 Einträge)",
                        ColourRed))
        << log_.Raw();
    EXPECT_TRUE(
        HasLine(lines, "• Einträge ohne Patientennummer: Velunda.termine (1 Einträge)", ColourRed));
    EXPECT_TRUE(HasLine(
        lines, "• Patient 900 ohne Patientensatz in Velunda: Kartei.data (1 Einträge)", ColourRed));
    EXPECT_TRUE(HasLine(lines, "• Patient 2 mehrfach in Archiv.patienten (2 Einträge)", ColourRed));
    EXPECT_TRUE(HasLine(lines,
                        "• History: Patient 901 ist auf keiner Seite (Archivierung vom " +
                            ArcHistText(1600000000) + ")",
                        ColourCount));
    EXPECT_TRUE(HasLine(lines, std::to_string(both + 5) + " Befunde bei 3 Patienten.", ColourRed));
}

INSTANTIATE_TEST_SUITE_P(Kinds, ConsistencyCheckTest,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access), KindName);

}  // namespace
}  // namespace archivetest
