// Runs that fail: roll-back from the file backups after written rows, clean
// stop before any row, and what the log shows. Faults are injected into the
// real drivers, so each test runs in a process of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "archive/rows/PidList.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "tests/archive/ArchiveFixture.h"

namespace archivetest {
namespace {

// Records the log and, when the first table line of the run appears, the
// bytes of every backup: the files exactly as the run found them.
class BackupCapture : public ILogSink {
  public:
    explicit BackupCapture(LogRecorder& log) : log_(log) {}
    void Append(const std::string& text, uint32_t colour) override {
        log_.Append(text, colour);
        if (files.empty() && text.rfind("• Velunda.", 0) == 0) {
            for (const auto& entry : std::filesystem::directory_iterator(DatabaseDir))
                if (entry.path().extension() == ".bak")
                    files[entry.path().stem().string()] = testenv::ReadFile(entry.path());
        }
    }
    std::map<std::string, std::string> files;  // database file name -> bytes

  private:
    LogRecorder& log_;
};

class TransferFailureTest : public ArchiveTest {
  protected:
    void SetUp() override {
        parent_ = !RunInOwnProcess();
        if (parent_) return;
        ArchiveTest::SetUp();
        SetLogSink(&capture_);
    }
    // The state a failed run must leave: rows, files, no history, no audit,
    // no backups. The engines' roll-back restores the rows; the Access
    // kind's engine puts back every page as it was, while Firebird keeps the
    // rolled-back record versions in its pages until it collects them.
    void ExpectUnchanged(const Snapshot& velunda) {
        // Files first: every query would leave its transaction in them.
        if (!capture_.files.empty() && Kind() == DatabaseKind::Access) {
            DisconnectAll();
            const auto after = Files();
            ASSERT_EQ(after.size(), capture_.files.size());
            for (const auto& [name, bytes] : capture_.files)
                EXPECT_TRUE(after.at(name) == bytes) << name << " differs from before the run";
            ConnectAll();
        }
        EXPECT_EQ(Count(set_->Archive, "select count(*) from archist"), 0);
        EXPECT_EQ(AuditEntries(2), 0);
        EXPECT_TRUE(BakFiles().empty());
        const Snapshot now = Take(set_->VelundaList);
        for (const auto& [table, t] : velunda) EXPECT_EQ(now.at(table).rows, t.rows) << table;
        for (const auto& [table, t] : Take(set_->ArchiveList)) EXPECT_TRUE(t.rows.empty()) << table;
    }
    bool LogHas(const std::string& text) {
        for (const std::string& line : LogTexts())
            if (line == text) return true;
        return false;
    }
    BackupCapture capture_{log_};
    bool parent_ = false;  // the test ran in a process of its own
};

TEST_P(TransferFailureTest, FailureInTheThirdTableRestoresBothSides) {
    if (parent_) return;
    Install(PracticePatients);
    const Snapshot velunda = Take(set_->VelundaList);
    log_.Clear();
    // The third table of the main database is "diagnosen"; its first insert fails.
    setenv("TAMARO_ODBC_FAIL_MATCH", "insert into diagnosen", 1);
    setenv("TAMARO_ODBC_FAIL_AFTER", "0", 1);
    Transfer("1,2,3");
    unsetenv("TAMARO_ODBC_FAIL_AFTER");

    const auto lines = LogLines();
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines[2].text.rfind("• Velunda.patienten... (3 Einträge)", 0), 0u);
    EXPECT_EQ(lines[4].text, "• Velunda.diagnosen...");
    EXPECT_EQ(lines[5].text, "Fehler beim Einfügen:");
    EXPECT_EQ(lines[5].colour, ColourRed);
    EXPECT_EQ(lines[6].text.rfind("insert into diagnosen (", 0), 0u) << lines[6].text;
    EXPECT_EQ(lines[7].text.find("Injected fault"), 0u) << lines[7].text;
    EXPECT_EQ(lines[8].text, "• Daten wieder herstellen...");
    EXPECT_EQ(lines.size(), 10u);
    ExpectUnchanged(velunda);
    EXPECT_EQ(boxes_.WaitDepth(), 0);
}

TEST_P(TransferFailureTest, FailedDeleteInTheSourceRestoresBothSides) {
    if (parent_) return;
    Install(PracticePatients);
    const Snapshot velunda = Take(set_->VelundaList);
    log_.Clear();
    setenv("TAMARO_ODBC_FAIL_MATCH", "delete from scheine", 1);
    setenv("TAMARO_ODBC_FAIL_AFTER", "0", 1);
    Transfer("5");
    unsetenv("TAMARO_ODBC_FAIL_AFTER");
    EXPECT_TRUE(LogHas("• Velunda.scheine..."));
    EXPECT_TRUE(LogHas("Fehler beim Löschen:"));
    EXPECT_TRUE(LogHas("delete from scheine where pid in(5)"));
    EXPECT_TRUE(LogHas("• Daten wieder herstellen..."));
    ExpectUnchanged(velunda);
}

TEST_P(TransferFailureTest, SelectFailureBeforeAnyRowRemovesTheBackups) {
    if (parent_) return;
    Install(PracticePatients);
    const Snapshot velunda = Take(set_->VelundaList);
    log_.Clear();
    setenv("TAMARO_ODBC_FAIL_MATCH", "select * from patienten", 1);
    setenv("TAMARO_ODBC_FAIL_AFTER", "0", 1);
    Transfer("5");
    unsetenv("TAMARO_ODBC_FAIL_AFTER");
    const auto lines = LogTexts();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[2], "• Velunda.patienten...");
    EXPECT_EQ(lines[3], "Fehler beim Transfer: Injected fault (TAMARO_ODBC_FAIL_AFTER)");
    EXPECT_EQ(lines[4], "• Datensicherung löschen...");
    EXPECT_EQ(lines[5].rfind("Bereit (", 0), 0u);
    ExpectUnchanged(velunda);
}

TEST_P(TransferFailureTest, TableMissingInTheTargetStopsBeforeAnyRow) {
    if (parent_) return;
    Install(PracticePatients);
    const Snapshot velunda = Take(set_->VelundaList);
    log_.Clear();
    // The archive entry no longer lists the table: nothing can take its rows.
    set_->Archive.Tables = "patienten,abrechnungen";
    Transfer("5");
    const auto lines = LogTexts();
    EXPECT_TRUE(LogHas("Tabelle diagnosen in Archiv nicht gefunden."));
    // The two tables before it were copied, so the run rolls back.
    EXPECT_TRUE(LogHas("• Daten wieder herstellen..."));
    set_->Archive.Tables = DatabaseSet().Archive.Tables;
    ExpectUnchanged(velunda);
}

TEST_P(TransferFailureTest, TableMissingBeforeAnyRowChangesNothing) {
    if (parent_) return;
    Install(PracticePatients);
    const Snapshot velunda = Take(set_->VelundaList);
    log_.Clear();
    set_->Archive.Tables = "abrechnungen";
    Transfer("5");
    set_->Archive.Tables = DatabaseSet().Archive.Tables;
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[2].text, "Tabelle patienten in Archiv nicht gefunden.");
    EXPECT_EQ(lines[2].colour, ColourRed);
    EXPECT_EQ(lines[3].text, "• Datensicherung löschen...");
    ExpectUnchanged(velunda);
}

INSTANTIATE_TEST_SUITE_P(Kinds, TransferFailureTest,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access), KindName);

}  // namespace
}  // namespace archivetest
