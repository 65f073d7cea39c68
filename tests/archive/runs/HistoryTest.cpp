// The history of archiving runs in the drop-down list, and the pid list of
// one run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "archive/runs/ArchiveHistory.h"
#include "archive/rows/DeletePatients.h"
#include "archive/rows/PidIndex.h"
#include "archive/rows/PidList.h"
#include "archive/rows/StatementObserver.h"
#include "core/Globals.h"
#include "tests/archive/ArchiveFixture.h"

namespace archivetest {
namespace {

using HistoryTest = ArchiveTest;

TEST(ArcHistTextTest, YearModuloThousand) {
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(ArcHistText(1552140300), "09.03.19 14:05");
    // 2105-01-02 03:04 UTC is beyond 32 bits: the year part is still
    // modulo 1000 for a date that does fit, 2037-12-31 23:59.
    EXPECT_EQ(ArcHistText(2145916740), "31.12.37 23:59");
    EXPECT_EQ(ArcHistText(-86400), "31.12.969 00:00");
}

TEST_P(HistoryTest, NewestFirstBelowTheEmptyChoice) {
    Install(PracticePatients);
    ComboBoxModel combo;
    FillArcHist(set_->Archive, combo);
    ASSERT_EQ(combo.GetCount(), 1);
    EXPECT_EQ(combo.GetItemText(0), "---");
    EXPECT_EQ(combo.GetCurSel(), 0);

    Exec(set_->Archive, "insert into archist (datum,pidlist) values(1552140300,'1,2')");
    Exec(set_->Archive, "insert into archist (datum,pidlist) values(1600000000,'3')");
    Exec(set_->Archive, "insert into archist (datum,pidlist) values(1600000000,'4')");
    FillArcHist(set_->Archive, combo);
    ASSERT_EQ(combo.GetCount(), 4);
    EXPECT_EQ(combo.GetItemData(0), 0);
    EXPECT_EQ(combo.GetItemData(1), 1600000000);
    EXPECT_EQ(combo.GetItemData(2), 1600000000);
    EXPECT_EQ(combo.GetItemText(3), ArcHistText(1552140300));
    EXPECT_EQ(GetArcPIDsFromDate(set_->Archive, 1552140300), "1,2");
    const std::string either = GetArcPIDsFromDate(set_->Archive, 1600000000);
    EXPECT_TRUE(either == "3" || either == "4") << either;
    EXPECT_EQ(GetArcPIDsFromDate(set_->Archive, 42), "");
    EXPECT_TRUE(log_.Lines().empty());
}

TEST_P(HistoryTest, FailuresAreLoggedInRed) {
    Install(PracticePatients);
    Exec(set_->Archive, "drop table archist");
    ComboBoxModel combo;
    FillArcHist(set_->Archive, combo);
    EXPECT_EQ(combo.GetCount(), 1);
    EXPECT_EQ(combo.GetCurSel(), -1);
    EXPECT_EQ(GetArcPIDsFromDate(set_->Archive, 1), "");
    const auto lines = log_.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text.rfind("Fehler in FillArcHist: ", 0), 0u);
    EXPECT_GT(lines[0].text.size(), std::string("Fehler in FillArcHist: ").size());
    EXPECT_EQ(lines[0].colour, ColourRed);
    EXPECT_EQ(lines[1].text.rfind("Fehler in GetArcPIDsFromDate: ", 0), 0u);

    // A closed archive leaves "---" alone, unselected, without a message.
    set_->Archive.Connection.Disconnect();
    log_.Clear();
    FillArcHist(set_->Archive, combo);
    EXPECT_EQ(combo.GetCount(), 1);
    EXPECT_EQ(combo.GetCurSel(), -1);
    EXPECT_TRUE(log_.Lines().empty());
}

TEST_P(HistoryTest, LongPidListComesBackWhole) {
    // The literal is longer than Firebird takes in a statement text: its
    // driver hands it over as a parameter.
    Install(PracticePatients);
    std::string pids = "1";
    for (int i = 0; i < 15000; ++i) pids += "," + std::to_string(100000 + i);
    ASSERT_GT(pids.size(), 64000u);
    Exec(set_->Archive, "insert into archist (datum,pidlist) values(7,'" + pids + "')");
    EXPECT_EQ(GetArcPIDsFromDate(set_->Archive, 7), pids);
}

using DeleteTest = ArchiveTest;

TEST_P(DeleteTest, DeletesTableByTableWithCounts) {
    Install(PracticePatients);
    const int services =
        Count(set_->MainDatabase(), "select count(*) from abrechnungen where pid in (2,3)");
    ASSERT_TRUE(DeletePatients(set_->VelundaList, "2,3"));
    const auto lines = log_.Lines();
    ASSERT_EQ(lines.size(), 24u);
    EXPECT_EQ(lines[0].text, "• Velunda.patienten... (2 Einträge)");
    EXPECT_EQ(lines[1].text,
              "• Velunda.abrechnungen... (" + std::to_string(services) + " Einträge)");
    EXPECT_EQ(lines[23].text.rfind("• Kartei.data... (", 0), 0u);
    EXPECT_EQ(Count(set_->MainDatabase(), "select count(*) from patienten"), PracticePatients - 2);
}

TEST_P(DeleteTest, FailureStopsAllFurtherDeletes) {
    Install(PracticePatients);
    Exec(set_->MainDatabase(), "drop table diagnosen");
    EXPECT_FALSE(DeletePatients(set_->VelundaList, "4"));
    const auto lines = log_.Lines();
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[2].text, "• Velunda.diagnosen...");
    EXPECT_EQ(lines[3].text, "Fehler beim Löschen:");
    EXPECT_EQ(lines[3].colour, ColourRed);
    EXPECT_EQ(lines[4].text, "delete from diagnosen where pid in(4)");
    EXPECT_EQ(lines.size(), 6u);
    // The earlier tables are emptied for the patient, the later ones not.
    EXPECT_EQ(Count(set_->MainDatabase(), "select count(*) from patienten where pid=4"), 0);
    EXPECT_GT(Count(set_->Velunda[7], "select count(*) from data where pid=4"), 0);
}

// A Firebird table without a pid index is sent ranged conditions; a failed
// delete there shows the delete with the pid list as given, and the log of
// statements has the form that was sent.
TEST_P(DeleteTest, AFailedDeleteOnARangedTableShowsThePidList) {
    if (Kind() == DatabaseKind::Access) GTEST_SKIP() << "the Access kind keeps plain in-lists";
    Install(PracticePatients);
    ArchiveDbPair& main = set_->MainDatabase();
    // The first such table that holds rows of two patients.
    std::string table;
    std::vector<std::vector<std::string>> pids;
    for (const std::string& t : SplitTableList(main.Tables)) {
        if (!table.empty() || !UseRangedPidConditions(main, t)) continue;
        pids = Query(main, "select distinct pid from " + t + " order by pid");
        if (pids.size() >= 2) table = t;
    }
    ASSERT_FALSE(table.empty());
    const std::string low = pids[0][0], high = pids[1][0];
    Exec(main, "create exception kein_loeschen 'Loeschen verboten'");
    Exec(main, "create trigger kein_loeschen for " + table +
                   " before delete as begin exception kein_loeschen; end");
    std::vector<std::string> sent;
    SetStatementObserver(
        [](const ArchiveDbPair&, const std::string& sql, void* context) {
            static_cast<std::vector<std::string>*>(context)->push_back(sql);
        },
        &sent);
    EXPECT_FALSE(DeletePatients(set_->VelundaList, high + "," + low));
    SetStatementObserver(nullptr, nullptr);
    const std::vector<std::string> texts = LogTexts();
    const auto failure = std::find(texts.begin(), texts.end(), "Fehler beim Löschen:");
    ASSERT_LT(failure + 1, texts.end()) << log_.Raw();
    EXPECT_EQ(*(failure - 1), "• Velunda." + table + "...");
    EXPECT_EQ(*(failure + 1), "delete from " + table + " where pid in(" + high + "," + low + ")");
    // The statement sent is the ranged one: for two ids, their range and
    // their in-list.
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back(), "delete from " + table + " where pid between " + low + " and " + high +
                               " and pid in (" + low + "," + high + ")");
}

INSTANTIATE_TEST_SUITE_P(Kinds, HistoryTest,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access), KindName);
INSTANTIATE_TEST_SUITE_P(Kinds, DeleteTest,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access), KindName);

}  // namespace
}  // namespace archivetest
