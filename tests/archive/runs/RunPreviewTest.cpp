// The preview of archive, restore and delete runs: its counts are the rows
// that the following run moves, it changes nothing anywhere, and it is
// refused with the run's own messages.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/runs/DeletePatientsRun.h"
#include "archive/safety/RunJournal.h"
#include "archive/safety/RunLock.h"
#include "archive/runs/RunPreview.h"
#include "core/Globals.h"
#include "tests/archive/ArchiveFixture.h"

namespace archivetest {
namespace {

namespace fs = std::filesystem;

using RunPreviewTest = ArchiveTest;
using Counts = std::vector<std::pair<std::string, int64_t>>;  // "Velunda.patienten", rows

// The table lines of a run, "• Velunda.patienten... (3 Einträge)", in order;
// a transfer's deletions, which follow its copies, are left out.
Counts RunCounts(const std::vector<std::string>& lines) {
    Counts counts;
    for (const std::string& line : lines) {
        const size_t dots = line.find("... (");
        if (line.rfind("• ", 0) != 0 || dots == std::string::npos) continue;
        const std::string table = line.substr(2, dots - 2);
        if (!counts.empty() && counts.front().first == table) break;
        counts.emplace_back(table, std::stoll(line.substr(dots + 5)));
    }
    return counts;
}

Counts PlanCounts(const RunPlan& plan) {
    Counts counts;
    for (const PlannedTable& t : plan.tables)
        counts.emplace_back(t.database + "." + t.table, t.rows);
    return counts;
}

TEST_P(RunPreviewTest, CountsAreTheRowsTheRunMovesAndNothingChanges) {
    Install(PracticePatients);
    const std::string pids = "2,5,9,12";
    // Rows of the patients in a database of their own and one without a patient.
    Exec(*FindDatabaseForTable(set_->VelundaList, "kassenbuch"),
         "insert into kassenbuch (pid) values (5)");
    Exec(*FindDatabaseForTable(set_->VelundaList, "medhistory"),
         "insert into medhistory (pid) values (77)");
    // The same patients in a list longer than one in-list, in its first
    // and its last part.
    std::string longList = "2,5,";
    for (int i = 0; i < 1500; ++i) longList += std::to_string(500000 + i) + ",";
    longList += "9,12";

    const std::pair<RunKind, const char*> steps[] = {
        {RunKind::Archive, "Vorschau: Datentransfer Velunda -> Archiv (4 Patienten)"},
        {RunKind::Restore, "Vorschau: Datentransfer Archiv -> Velunda (4 Patienten)"},
        {RunKind::Delete, "Vorschau: Patienten löschen aus Velunda (4 Patienten)"}};
    for (const auto& [kind, heading] : steps) {
        SCOPED_TRACE(heading);
        if (kind != RunKind::Archive) set_->SwapSides();
        const Snapshot velunda = Take(set_->VelundaList), archive = Take(set_->ArchiveList);
        const int audits = AuditEntries(2), runs = history_.GetCount();
        log_.Clear();
        RunPlan plan;
        ASSERT_TRUE(PreviewRun(*set_, kind, pids, plan)) << log_.Raw();
        EXPECT_EQ(plan.tables.size(), 24u);
        int64_t total = 0;
        for (const PlannedTable& t : plan.tables) total += t.rows;
        EXPECT_EQ(plan.total, total);
        EXPECT_GT(plan.total, 8);

        // Heading, one line per table, the total, the ready line; no box.
        const auto lines = LogLines();
        ASSERT_EQ(lines.size(), 27u) << log_.Raw();
        EXPECT_EQ(lines[0].text, heading);
        EXPECT_EQ(lines[0].colour, ColourBlue);
        for (size_t i = 0; i < 24; ++i)
            EXPECT_EQ(lines[i + 1].text, "• " + plan.tables[i].database + "." +
                                             plan.tables[i].table + " (" +
                                             std::to_string(plan.tables[i].rows) + " Einträge)");
        EXPECT_EQ(lines[25].text, "Gesamt: " + std::to_string(total) + " Einträge würden " +
                                      RunParticiple(kind) + " werden; es wurde nichts geändert.");
        EXPECT_TRUE(boxes_.Boxes().empty());

        // Nothing changed: rows, files of a run, audit, history.
        EXPECT_EQ(Take(set_->VelundaList), velunda);
        EXPECT_EQ(Take(set_->ArchiveList), archive);
        EXPECT_TRUE(BakFiles().empty());
        EXPECT_FALSE(fs::exists(RunLock::Path()));
        EXPECT_FALSE(RunJournal::Exists());
        EXPECT_EQ(AuditEntries(2), audits);
        EXPECT_EQ(history_.GetCount(), runs);

        RunPlan longPlan;
        ASSERT_TRUE(PreviewRun(*set_, kind, longList, longPlan));
        EXPECT_EQ(PlanCounts(longPlan), PlanCounts(plan));

        // The run itself moves exactly these rows, table by table.
        log_.Clear();
        if (kind == RunKind::Delete)
            ASSERT_TRUE(DeletePatientsRun(*set_, pids));
        else
            Transfer(pids);
        EXPECT_EQ(RunCounts(LogTexts()), PlanCounts(plan)) << log_.Raw();
    }
}

TEST_P(RunPreviewTest, RefusedWithTheMessagesOfTheRun) {
    Install(PracticePatients);
    // Each refusal of the preview is the box the run shows; neither logs.
    auto refusal = [&](const std::string& pids) {
        RunPlan plan;
        EXPECT_FALSE(PreviewRun(*set_, RunKind::Archive, pids, plan));
        const std::vector<std::string> preview = boxes_.Texts();
        boxes_.Clear();
        Transfer(pids);
        EXPECT_EQ(preview, boxes_.Texts());
        EXPECT_TRUE(LogLines().empty()) << log_.Raw();
        boxes_.Clear();
        log_.Clear();
        return preview.size() == 1 ? preview[0] : std::string();
    };
    EXPECT_EQ(refusal("3,5,03"),
              "Der Patient 03 ist mehrfach ausgewählt.\nDer Vorgang wird nicht gestartet.");
    {
        RunLock other;
        ASSERT_EQ(other.Take(), RunLock::Result::Taken);
        EXPECT_EQ(refusal("3").rfind("Auf diesen Datenbanken läuft bereits ein Vorgang", 0), 0u);
    }
    RunJournal journal;
    ASSERT_TRUE(journal.Save());
    EXPECT_EQ(refusal("3").rfind("Ein früherer Vorgang ist nicht abgeschlossen", 0), 0u);
    EXPECT_FALSE(fs::exists(RunLock::Path()));
    ASSERT_TRUE(RunJournal::Remove());

    // A table that the other side does not hold stops the run; the preview
    // names it in red as the run does.
    set_->Archive.Tables += ",praxisgebuehr";
    set_->SwapSides();
    RunPlan plan;
    EXPECT_FALSE(PreviewRun(*set_, RunKind::Restore, "3", plan));
    EXPECT_EQ(plan.tables.size(), 24u);
    ASSERT_EQ(LogLines().size(), 28u) << log_.Raw();
    EXPECT_EQ(LogLines()[25].text, "Tabelle praxisgebuehr in Velunda nicht gefunden.");
    EXPECT_EQ(LogLines()[25].colour, ColourRed);
}

INSTANTIATE_TEST_SUITE_P(Kinds, RunPreviewTest,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access), KindName);

}  // namespace
}  // namespace archivetest
