// The preview of archive, restore and delete runs: its counts are the rows
// that the following run moves, it changes nothing anywhere, and it is
// refused with the run's own messages.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "archive/DeletePatientsRun.h"
#include "archive/PidList.h"
#include "archive/RunJournal.h"
#include "archive/RunLock.h"
#include "archive/RunPreview.h"
#include "core/Globals.h"
#include "tests/archive/ArchiveFixture.h"

namespace archivetest {
namespace {

namespace fs = std::filesystem;

using RunPreviewTest = ArchiveTest;

using Counts = std::map<std::string, int64_t>;  // "Velunda.patienten" -> rows

// The table lines of a run, "• Velunda.patienten... (3 Einträge)", first
// occurrence of each table (a transfer logs its deletions after its copies).
Counts RunCounts(const std::vector<std::string>& lines) {
    Counts counts;
    for (const std::string& line : lines) {
        const size_t dots = line.find("... (");
        if (line.rfind("• ", 0) != 0 || dots == std::string::npos) continue;
        counts.emplace(line.substr(2, dots - 2), std::stoll(line.substr(dots + 5)));
    }
    return counts;
}

Counts PlanCounts(const RunPlan& plan) {
    Counts counts;
    for (const PlannedTable& t : plan.tables) counts[t.database + "." + t.table] = t.rows;
    return counts;
}

// The tables of a side as the run goes through them.
std::vector<std::string> RunOrder(ArchiveDbPair* side) {
    std::vector<std::string> names;
    for (ArchiveDbPair* db = side; db; db = db->Next)
        for (const std::string& table : SplitTableList(db->Tables))
            names.push_back(db->DisplayName + "." + table);
    return names;
}

std::vector<std::string> PlanOrder(const RunPlan& plan) {
    std::vector<std::string> names;
    for (const PlannedTable& t : plan.tables) names.push_back(t.database + "." + t.table);
    return names;
}

TEST_P(RunPreviewTest, CountsAreTheRowsTheRunMovesAndNothingChanges) {
    Install(PracticePatients);
    const std::string pids = "2,5,9,12";
    // Rows of the patients in a database of their own and one without a patient.
    Exec(*FindDatabaseForTable(set_->VelundaList, "kassenbuch"),
         "insert into kassenbuch (pid) values (5)");
    Exec(*FindDatabaseForTable(set_->VelundaList, "medhistory"),
         "insert into medhistory (pid) values (77)");

    struct Step {
        RunKind kind;
        const char* heading;
    };
    const Step steps[] = {
        {RunKind::Archive, "Vorschau: Datentransfer Velunda -> Archiv (4 Patienten)"},
        {RunKind::Restore, "Vorschau: Datentransfer Archiv -> Velunda (4 Patienten)"},
        {RunKind::Delete, "Vorschau: Patienten löschen aus Velunda (4 Patienten)"}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.heading);
        if (step.kind != RunKind::Archive &&
            set_->ArchiveIsSource() != (step.kind == RunKind::Restore))
            set_->SwapSides();
        const Snapshot velunda = Take(set_->VelundaList), archive = Take(set_->ArchiveList);
        const int audits = AuditEntries(2), runs = history_.GetCount();
        log_.Clear();

        RunPlan plan;
        ASSERT_TRUE(PreviewRun(*set_, step.kind, pids, plan)) << log_.Raw();
        EXPECT_EQ(PlanOrder(plan), RunOrder(set_->SourceList));
        EXPECT_EQ(plan.patients, 4);
        int64_t total = 0;
        for (const PlannedTable& t : plan.tables) total += t.rows;
        EXPECT_EQ(plan.total, total);
        EXPECT_GT(plan.total, 8);

        // The log: heading, one line per table, the total, the ready line.
        const auto lines = LogLines();
        ASSERT_EQ(lines.size(), plan.tables.size() + 3) << log_.Raw();
        EXPECT_EQ(lines.front().text, step.heading);
        EXPECT_EQ(lines.front().colour, ColourBlue);
        for (size_t i = 0; i < plan.tables.size(); ++i) {
            const PlannedTable& t = plan.tables[i];
            EXPECT_EQ(lines[i + 1].text, "• " + t.database + "." + t.table + " (" +
                                             std::to_string(t.rows) + " Einträge)");
            EXPECT_EQ(lines[i + 1].segments.back().second, ColourCount);
        }
        EXPECT_EQ(lines[plan.tables.size() + 1].text,
                  "Gesamt: " + std::to_string(plan.total) + " Einträge würden " +
                      RunParticiple(step.kind) + " werden; es wurde nichts geändert.");
        EXPECT_EQ(lines.back().text.rfind("Bereit (", 0), 0u);
        EXPECT_TRUE(boxes_.Boxes().empty());

        // Nothing changed: rows, files of a run, audit, history.
        EXPECT_EQ(Take(set_->VelundaList), velunda);
        EXPECT_EQ(Take(set_->ArchiveList), archive);
        EXPECT_TRUE(BakFiles().empty());
        EXPECT_FALSE(fs::exists(RunLock::Path()));
        EXPECT_FALSE(RunJournal::Exists());
        EXPECT_EQ(AuditEntries(2), audits);
        EXPECT_EQ(history_.GetCount(), runs);

        // A list longer than one in-list counts the same rows, also those
        // of its later parts.
        std::string longList;
        for (int i = 0; i < 1500; ++i) longList += std::to_string(500000 + i) + ",";
        longList += pids;
        RunPlan longPlan;
        ASSERT_TRUE(PreviewRun(*set_, step.kind, longList, longPlan));
        EXPECT_EQ(PlanCounts(longPlan), PlanCounts(plan));

        // The run itself moves exactly these rows.
        log_.Clear();
        if (step.kind == RunKind::Delete)
            ASSERT_TRUE(DeletePatientsRun(*set_, pids));
        else
            Transfer(pids);
        EXPECT_EQ(RunCounts(LogTexts()), PlanCounts(plan)) << log_.Raw();
        if (step.kind == RunKind::Delete) continue;
        for (const PlannedTable& t : plan.tables) {
            ArchiveDbPair* target = FindDatabaseForTable(set_->TargetList, t.table);
            EXPECT_EQ(
                Count(*target, "select count(*) from " + t.table + " where pid in (" + pids + ")"),
                t.rows)
                << t.table;
        }
    }
}

TEST_P(RunPreviewTest, RefusedWithTheMessagesOfTheRun) {
    Install(PracticePatients);
    // Each refusal of the preview is the box the run shows; neither logs.
    auto expectSameRefusal = [&](const std::string& pids) {
        RunPlan plan;
        EXPECT_FALSE(PreviewRun(*set_, RunKind::Archive, pids, plan));
        const std::vector<std::string> preview = boxes_.Texts();
        boxes_.Clear();
        Transfer(pids);
        EXPECT_EQ(preview, boxes_.Texts());
        EXPECT_EQ(preview.size(), 1u);
        EXPECT_TRUE(LogLines().empty()) << log_.Raw();
        boxes_.Clear();
        log_.Clear();
        return preview.empty() ? std::string() : preview.front();
    };

    EXPECT_EQ(expectSameRefusal("3,5,03"),
              "Der Patient 03 ist mehrfach ausgewählt.\nDer Vorgang wird nicht gestartet.");
    {
        RunLock other;
        ASSERT_EQ(other.Take(), RunLock::Result::Taken);
        EXPECT_EQ(
            expectSameRefusal("3").rfind("Auf diesen Datenbanken läuft bereits ein Vorgang", 0),
            0u);
    }
    EXPECT_FALSE(fs::exists(RunLock::Path()));
    RunJournal journal;
    journal.stage = RunStage::Changing;
    journal.sourceFiles = {std::string("data") + Ext()};
    ASSERT_TRUE(journal.Save());
    EXPECT_EQ(expectSameRefusal("3").rfind("Ein früherer Vorgang ist nicht abgeschlossen", 0), 0u);
    EXPECT_FALSE(fs::exists(RunLock::Path()));
    ASSERT_TRUE(RunJournal::Remove());

    // A table that the other side does not hold stops the run, and one
    // that cannot be read stops it too: the preview says so in red.
    set_->Archive.Tables += ",praxisgebuehr";
    set_->SwapSides();
    RunPlan plan;
    EXPECT_FALSE(PreviewRun(*set_, RunKind::Restore, "3", plan));
    EXPECT_EQ(plan.tables.size(), 24u);
    auto lines = LogLines();
    ASSERT_EQ(lines.size(), 28u) << log_.Raw();
    EXPECT_EQ(lines[25].text, "Tabelle praxisgebuehr in Velunda nicht gefunden.");
    EXPECT_EQ(lines[25].colour, ColourRed);
    log_.Clear();
    EXPECT_FALSE(PreviewRun(*set_, RunKind::Delete, "3", plan));
    lines = LogLines();
    ASSERT_EQ(lines.size(), 29u) << log_.Raw();
    EXPECT_EQ(lines[25].text, "• Archiv.praxisgebuehr");
    EXPECT_EQ(lines[26].text.rfind("Fehler beim Zählen: ", 0), 0u);
    EXPECT_EQ(lines[26].colour, ColourRed);
}

INSTANTIATE_TEST_SUITE_P(Kinds, RunPreviewTest,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access), KindName);

}  // namespace
}  // namespace archivetest
