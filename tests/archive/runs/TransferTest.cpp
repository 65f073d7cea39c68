// Archive and restore runs on installations of both kinds: what the
// databases hold afterwards, the progress log, the history and the audit.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <regex>
#include <set>

#include "archive/rows/DeletePatients.h"
#include "archive/rows/PidList.h"
#include "archive/rows/StatementObserver.h"
#include "archive/runs/ArchiveHistory.h"
#include "archive/runs/DeletePatientsRun.h"
#include "core/Globals.h"
#include "core/RunProgress.h"
#include "tests/archive/ArchiveFixture.h"
#include "users/AuditLog.h"

namespace archivetest {
namespace {

using TransferTest = ArchiveTest;

TEST_P(TransferTest, ArchiveThenRestorePutsBackEveryRow) {
    Install(PracticePatients);
    const std::string pids = "2,5,7";
    const Snapshot before = Take(set_->VelundaList);
    const Snapshot chosen = Take(set_->VelundaList, pids);
    size_t chosenRows = 0;
    for (const auto& [table, t] : chosen) chosenRows += t.rows.size();
    ASSERT_GT(chosenRows, 24u);

    Transfer(pids);
    EXPECT_TRUE(boxes_.Boxes().empty());
    for (const auto& [table, t] : Take(set_->VelundaList, pids))
        EXPECT_TRUE(t.rows.empty()) << table << " still holds rows of the patients";
    const Snapshot archived = Take(set_->ArchiveList);
    for (const auto& [table, t] : chosen) {
        ASSERT_TRUE(archived.count(table)) << table;
        EXPECT_EQ(archived.at(table).columns, t.columns) << table;
        EXPECT_EQ(archived.at(table).rows, t.rows) << table;
    }

    set_->SwapSides();
    Transfer(pids);
    EXPECT_TRUE(boxes_.Boxes().empty());
    const Snapshot after = Take(set_->VelundaList);
    for (const auto& [table, t] : before) EXPECT_EQ(after.at(table).rows, t.rows) << table;
    for (const auto& [table, t] : Take(set_->ArchiveList))
        EXPECT_TRUE(t.rows.empty()) << table << " still holds rows in the archive";
    EXPECT_TRUE(BakFiles().empty());
    EXPECT_EQ(boxes_.WaitDepth(), 0);
    EXPECT_EQ(boxes_.WaitCount(), 2);
}

TEST_P(TransferTest, LogOfOneRunLineByLine) {
    Install(PracticePatients);
    // The expected counts: the rows of patient 3 in every table.
    const Snapshot chosen = Take(set_->VelundaList, "3");
    Transfer("3");

    std::vector<std::string> expected{"Datentransfer Velunda -> Archiv...", "• Datensicherung..."};
    std::vector<std::string> deletes;
    for (ArchiveDbPair* db = set_->VelundaList; db; db = db->Next)
        for (const std::string& table : SplitTableList(db->Tables)) {
            const std::string line = "• " + db->DisplayName + "." + table + "... (" +
                                     std::to_string(chosen.at(table).rows.size()) + " Einträge)";
            expected.push_back(line);
            deletes.push_back(line);
        }
    expected.push_back("• Daten aus Quelle löschen");
    expected.insert(expected.end(), deletes.begin(), deletes.end());
    expected.push_back("• Vorgang in History speichern...");
    expected.push_back("• Datensicherung löschen...");

    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), expected.size() + 1);
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(lines[i].text, expected[i]) << i;
    EXPECT_TRUE(std::regex_match(lines.back().text, std::regex(R"(Bereit \(\d+\.\d{3}s\))")))
        << lines.back().text;

    EXPECT_EQ(lines[0].colour, ColourBlue);
    EXPECT_EQ(lines.back().colour, ColourReady);
    // Each table line ends in its count, written in the count colour.
    for (size_t i = 2; i < 2 + deletes.size(); ++i) {
        ASSERT_EQ(lines[i].segments.size(), 2u) << lines[i].text;
        EXPECT_EQ(lines[i].segments[1].second, ColourCount);
    }
    const std::string raw = log_.Raw();
    EXPECT_EQ(raw.substr(0, raw.find("Bereit")).find("\r\n\r\n"), std::string::npos);
}

TEST_P(TransferTest, ArchiveRunRecordsHistoryAndAuditRestoreDoesNot) {
    Install(PracticePatients);
    Exec(set_->Archive, "insert into archist (datum,pidlist) values(1000000000,'99')");
    const int32_t before = int32_t(time(nullptr));
    Transfer("4,6");
    const int32_t after = int32_t(time(nullptr));

    auto rows = Query(set_->Archive, "select datum, pidlist from archist order by datum desc");
    ASSERT_EQ(rows.size(), 2u);
    const int32_t datum = std::atoi(rows[0][0].c_str());
    EXPECT_GE(datum, before);
    EXPECT_LE(datum, after);
    EXPECT_EQ(rows[0][1], "4,6");

    // The history list was refilled by the run: newest first, "---" chosen.
    ASSERT_EQ(history_.GetCount(), 3);
    EXPECT_EQ(history_.GetItemText(0), "---");
    EXPECT_EQ(history_.GetCurSel(), 0);
    EXPECT_EQ(history_.GetItemText(1), ArcHistText(datum));
    EXPECT_EQ(history_.GetItemData(1), datum);
    EXPECT_EQ(history_.GetItemData(2), 1000000000);
    EXPECT_EQ(GetArcPIDsFromDate(set_->Archive, datum), "4,6");
    EXPECT_EQ(AuditEntries(2), 1);
    EXPECT_EQ(Count(set_->MainDatabase(),
                    "select count(*) from log where kategorie=2 and notiz='Patienten erfolgreich "
                    "archiviert.'"),
              1);

    set_->SwapSides();
    log_.Clear();
    Transfer("4,6");
    EXPECT_EQ(LogTexts()[0], "Datentransfer Archiv -> Velunda...");
    EXPECT_EQ(Count(set_->Archive, "select count(*) from archist"), 2);
    EXPECT_EQ(history_.GetCount(), 3);
    EXPECT_EQ(Count(set_->MainDatabase(),
                    "select count(*) from log where kategorie=2 and notiz='Patienten erfolgreich "
                    "restauriert.'"),
              1);
    for (const std::string& line : LogTexts()) EXPECT_NE(line, "• Vorgang in History speichern...");
}

TEST_P(TransferTest, NullAndEmptyTextsBecomeEmptyInTheWholeTable) {
    Install(PracticePatients);
    // Another patient's null in the archive is blanked too: the update has
    // no pid condition.
    Exec(set_->Archive, "insert into patienten (pid, nachname, titel) values (9001, 'X', null)");
    Exec(set_->MainDatabase(), "update patienten set titel=null, namenszusatz='' where pid=8");
    Exec(set_->MainDatabase(), "update patienten set aid=null where pid=8");
    Transfer("8");
    auto rows =
        Query(set_->Archive, "select pid, titel, namenszusatz, aid from patienten order by pid");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"8", "", "", "<null>"}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{"9001", "", "", "<null>"}));
}

TEST_P(TransferTest, PidListBeyondTheInListLimit) {
    Install(PracticePatients);
    // Ids that do not exist make the list long without a big installation;
    // the real patients sit at both ends and in the middle of it.
    std::string pids = "1";
    for (int i = 0; i < 1200; ++i) pids += "," + std::to_string(100000 + i);
    pids += ",9";
    for (int i = 0; i < 1200; ++i) pids += "," + std::to_string(200000 + i);
    pids += ",11";
    const Snapshot chosen = Take(set_->VelundaList, "1,9,11");
    Transfer(pids);
    for (const std::string& line : LogTexts())
        EXPECT_EQ(line.find("Fehler"), std::string::npos) << line;
    // One line per table for the copy and one for the deletion, each with
    // the total of all parts of the list.
    const auto lines = LogTexts();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "• Velunda.patienten... (3 Einträge)"), 2);
    EXPECT_EQ(lines.size(), 2u + 24u + 1u + 24u + 2u + 1u);
    const Snapshot archived = Take(set_->ArchiveList);
    for (const auto& [table, t] : chosen) EXPECT_EQ(archived.at(table).rows, t.rows) << table;
    EXPECT_EQ(Count(set_->MainDatabase(), "select count(*) from patienten where pid in (1,9,11)"),
              0);
    EXPECT_EQ(GetArcPIDsFromDate(set_->Archive, history_.GetItemData(1)), pids);
}

// The reports a run makes to the progress display, in order.
struct ProgressRecord : IRunProgress {
    struct Report {
        std::string what;
        uint64_t done, total;
    };
    std::vector<Report> reports;
    int finished = 0;
    void Progress(const std::string& what, uint64_t done, uint64_t total) override {
        reports.push_back({what, done, total});
    }
    void Finished() override { ++finished; }
};

// A table whose deletion does not match its copy is named with its own
// database, whichever database of the side it lies in, and the line says
// which way the counts differ: more deleted than copied would lose rows and
// fails; fewer deleted lose nothing (the database removed the rest itself).
TEST_P(TransferTest, CountMismatchNamesTheTablesOwnDatabaseAndItsDirection) {
    Install(PracticePatients);
    const std::string kartei = "kartei" + std::string(Ext());
    const std::string data = "data" + std::string(Ext());
    EXPECT_TRUE(DeletedAsCounted(set_->VelundaList, {{data, "termine", 3, 1}},
                                 {{data, "termine", 3, 1}}, "kopiert"));
    EXPECT_TRUE(LogLines().empty()) << log_.Raw();
    EXPECT_TRUE(DeletedAsCounted(set_->VelundaList,
                                 {{data, "termine", 1, 1}, {kartei, "data", 8, 1}},
                                 {{data, "termine", 3, 1}, {kartei, "data", 8, 1}}, "kopiert"));
    EXPECT_FALSE(DeletedAsCounted(set_->VelundaList,
                                  {{data, "termine", 3, 1}, {kartei, "data", 9, 1}},
                                  {{data, "termine", 3, 1}, {kartei, "data", 8, 1}}, "kopiert"));
    ASSERT_EQ(LogLines().size(), 2u) << log_.Raw();
    EXPECT_EQ(LogLines()[0].text,
              "• In Velunda.termine wurden 1 Einträge gelöscht, aber 3 kopiert; die übrigen hat "
              "die Datenbank beim Löschen in anderen Tabellen selbst entfernt.");
    EXPECT_EQ(LogLines()[1].text,
              "Fehler: in Kartei.data wurden 9 Einträge gelöscht, aber nur 8 kopiert; die übrigen "
              "wären verloren.");
    EXPECT_EQ(LogLines()[1].colour, ColourRed);
}

// A live schema whose own trigger removes a patient's appointments with the
// patient: the run finds fewer appointments to delete than it copied, loses
// none of them, and succeeds.
TEST_P(TransferTest, CascadingDeletesInTheLiveSchemaLoseNothing) {
    if (Kind() == DatabaseKind::Access) GTEST_SKIP() << "the Access kind's SQL has no triggers";
    Install(PracticePatients);
    Exec(set_->MainDatabase(),
         "create trigger kaskade for patienten after delete as begin delete from termine where "
         "pid = old.pid; end");
    const Snapshot chosen = Take(set_->VelundaList, "5");
    const size_t appointments = chosen.at("termine").rows.size();
    ASSERT_GT(appointments, 0u);
    Transfer("5");
    for (const LogRecorder::Line& line : LogLines()) EXPECT_NE(line.colour, ColourRed) << line.text;
    const std::vector<std::string> texts = LogTexts();
    EXPECT_NE(std::find(texts.begin(), texts.end(),
                        "• In Velunda.termine wurden 0 Einträge gelöscht, aber " +
                            std::to_string(appointments) +
                            " kopiert; die übrigen hat die Datenbank beim Löschen in anderen "
                            "Tabellen selbst entfernt."),
              texts.end())
        << log_.Raw();
    EXPECT_EQ(Take(set_->ArchiveList, "5").at("termine"), chosen.at("termine"));
    for (const auto& [table, t] : Take(set_->VelundaList, "5"))
        EXPECT_TRUE(t.rows.empty()) << table;
    EXPECT_EQ(Count(set_->Archive, "select count(*) from archist"), 1);
}

void RecordStatement(const ArchiveDbPair&, const std::string& sql, void* context) {
    static_cast<std::vector<std::string>*>(context)->push_back(sql);
}

// The display follows the backups by bytes, then the run: its share never
// goes back, moves with every table of a short run and of a long one, and
// makes the whole only with the last deletion. It costs no reading of its
// own: no statement of a run counts a table beyond the run's patients (a
// whole-table count on Firebird costs what the practice costs), the
// late-row recount after the commit included. The delete run shows the
// same.
TEST_P(TransferTest, ProgressMovesToTheEndWithoutCountingWholeTables) {
    Install(PracticePatients);
    auto check = [&](const std::string& verb, const std::function<void()>& run) {
        SCOPED_TRACE(verb);
        ProgressRecord record;
        std::vector<std::string> statements;
        SetRunProgress(&record);
        SetStatementObserver(RecordStatement, &statements);
        run();
        SetStatementObserver(nullptr, nullptr);
        SetRunProgress(nullptr);
        for (const auto& line : LogLines()) EXPECT_NE(line.colour, ColourRed) << line.text;
        for (const std::string& sql : statements) {
            if (sql.find("count(") != std::string::npos) {
                EXPECT_NE(sql.find(" where pid "), std::string::npos) << sql;
            }
        }
        const auto rows = std::partition_point(
            record.reports.begin(), record.reports.end(),
            [&](const auto& r) { return r.what == verb + ": Datensicherung"; });
        ASSERT_GT(rows - record.reports.begin(), 1);
        ASSERT_NE(rows, record.reports.end());
        EXPECT_EQ((rows - 1)->done, (rows - 1)->total);
        EXPECT_EQ(rows->done, 0u);
        std::set<uint64_t> percents;
        uint64_t last = 0;
        for (auto r = rows; r != record.reports.end(); ++r) {
            EXPECT_EQ(r->what, verb);
            EXPECT_GE(r->done, last);
            last = r->done;
            if (r + 1 != record.reports.end()) {
                EXPECT_LT(r->done, r->total);
            }
            percents.insert(r->done * 100 / r->total);
        }
        EXPECT_EQ(record.reports.back().done, record.reports.back().total);
        EXPECT_GE(percents.size(), 30u);
        EXPECT_EQ(record.finished, 2);
    };
    std::string pids = "1";
    for (int i = 0; i < 400; ++i) pids += "," + std::to_string(100000 + i);
    pids += ",9,11";
    check("Archivieren", [&] { Transfer(pids); });
    EXPECT_EQ(Count(set_->MainDatabase(), "select count(*) from patienten where pid in (1,9,11)"),
              0);
    check("Archivieren", [&] { Transfer("4"); });
    check("L\xF6schen", [&] { EXPECT_TRUE(DeletePatientsRun(*set_, "6,7")); });
    EXPECT_EQ(Count(set_->MainDatabase(), "select count(*) from patienten where pid in (6,7)"), 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, TransferTest,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access), KindName);

// Firebird refuses in-lists of more than 1,500 values: a run of this size
// goes through only because the lists are split.
using LargeRunTest = ArchiveTest;

TEST_P(LargeRunTest, TwoThousandFiveHundredPatients) {
    Install(2500);
    std::string pids = "1";
    for (int pid = 2; pid <= 2500; ++pid) pids += "," + std::to_string(pid);
    Transfer(pids);
    for (const auto& line : LogLines()) EXPECT_NE(line.colour, ColourRed) << line.text;
    EXPECT_EQ(Count(set_->MainDatabase(), "select count(*) from patienten"), 0);
    EXPECT_EQ(Count(set_->Archive, "select count(*) from patienten"), 2500);
    EXPECT_EQ(GetArcPIDsFromDate(set_->Archive, history_.GetItemData(1)), pids);
}

INSTANTIATE_TEST_SUITE_P(Kinds, LargeRunTest, testing::Values(DatabaseKind::Firebird), KindName);

}  // namespace
}  // namespace archivetest
