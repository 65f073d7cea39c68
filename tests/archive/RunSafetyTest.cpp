// What protects a run beyond its backups, in the engine: the refusals before
// a run starts, the all-or-nothing roll-back and what it leaves when a file
// cannot be put back, the history row that fails, the delete run, and a view
// switch during a run.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "archive/ArchiveHistory.h"
#include "archive/DatabaseBackup.h"
#include "archive/DeletePatientsRun.h"
#include "archive/RunJournal.h"
#include "archive/RunLock.h"
#include "archive/RunRecovery.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "db/ODBCStmt.h"
#include "platform/UserAndHost.h"
#include "tests/archive/ArchiveFixture.h"
#include "tests/fixtures/FirebirdSupport.h"
#include "users/AuditLog.h"

namespace archivetest {
namespace {

namespace fs = std::filesystem;

// Records the log and runs an action when a line starting with the trigger
// appears, in the middle of the run, as a window message handler would.
class HookedLog : public ILogSink {
  public:
    explicit HookedLog(LogRecorder& log) : log_(log) {}
    void Append(const std::string& text, uint32_t colour) override {
        log_.Append(text, colour);
        if (action && text.rfind(trigger, 0) == 0) {
            auto run = std::move(action);
            action = nullptr;
            run();
        }
    }
    std::string trigger;
    std::function<void()> action;

  private:
    LogRecorder& log_;
};

class RunSafetyTest : public ArchiveTest {
  protected:
    void SetUp() override {
        ArchiveTest::SetUp();
        SetLogSink(&hooked_);
    }
    // Tests that inject a driver fault run in a process of their own.
    bool InOwnProcess() { return RunInOwnProcess(); }
    bool LogHas(const std::string& text, uint32_t colour) {
        for (const auto& line : LogLines())
            if (line.text == text) return line.colour == colour;
        ADD_FAILURE() << "not in the log: " << text << "\n" << log_.Raw();
        return false;
    }
    std::string Holder() {
        std::string user, host;
        GetLoginName(user);
        GetHostName(host);
        return "Benutzer " + user + " auf Rechner " + host;
    }
    HookedLog hooked_{log_};
};

TEST_P(RunSafetyTest, RefusalsComeBeforeTheRunWritesAnything) {
    Install(PracticePatients);
    const Snapshot velunda = Take(set_->VelundaList);
    auto expectNothingHappened = [&](const std::string& box) {
        ASSERT_EQ(boxes_.Texts(), std::vector<std::string>{box});
        EXPECT_TRUE(LogLines().empty()) << log_.Raw();
        EXPECT_TRUE(BakFiles().empty());
        EXPECT_EQ(Take(set_->VelundaList), velunda);
        boxes_.Clear();
        log_.Clear();
    };

    // A patient named twice would fail the split in-list half-way.
    Transfer("3,5,03");
    expectNothingHappened(
        "Der Patient 03 ist mehrfach ausgewählt.\nDer Vorgang wird nicht "
        "gestartet.");
    EXPECT_FALSE(DeletePatientsRun(*set_, "4,4"));
    expectNothingHappened(
        "Der Patient 4 ist mehrfach ausgewählt.\nDer Vorgang wird nicht "
        "gestartet.");

    // Another run (here: another holder of the lock) is at work.
    {
        RunLock other;
        ASSERT_EQ(other.Take(), RunLock::Result::Taken);
        Transfer("3");
        expectNothingHappened("Auf diesen Datenbanken läuft bereits ein Vorgang (" + Holder() +
                              ").\nBitte warten Sie, bis er beendet ist.");
        EXPECT_FALSE(DeletePatientsRun(*set_, "3"));
        expectNothingHappened("Auf diesen Datenbanken läuft bereits ein Vorgang (" + Holder() +
                              ").\nBitte warten Sie, bis er beendet ist.");
    }

    // An interrupted run's backups are never overwritten.
    RunJournal journal;
    journal.stage = RunStage::Changing;
    journal.sourceFiles = {std::string("data") + Ext()};
    ASSERT_TRUE(journal.Save());
    const fs::path backup = BackupPath(set_->MainDatabase());
    testenv::WriteFile(backup, "the state before the interrupted run");
    Transfer("3");
    EXPECT_EQ(boxes_.Texts(),
              std::vector<std::string>{"Ein früherer Vorgang ist nicht abgeschlossen (" +
                                       RunJournal::Path() +
                                       ").\nWeitere Vorgänge sind gesperrt, bis Tamaro ihn beim "
                                       "nächsten Start abgeschlossen hat."});
    EXPECT_EQ(testenv::ReadFile(backup), "the state before the interrupted run");
    EXPECT_FALSE(fs::exists(RunLock::Path()));
    boxes_.Clear();
    RunJournal::Remove();
    fs::remove(backup);

    // With all of it cleared the run goes ahead.
    Transfer("3");
    EXPECT_TRUE(boxes_.Boxes().empty());
    EXPECT_EQ(Count(set_->Archive, "select count(*) from patienten where pid=3"), 1);
    EXPECT_FALSE(fs::exists(RunLock::Path()));
    EXPECT_FALSE(RunJournal::Exists());
}

TEST_P(RunSafetyTest, FailedRenameDuringRollBackKeepsEveryBackupUntilAStartPutsThemBack) {
    if (!InOwnProcess()) return;
    Install(PracticePatients);
    const Snapshot velunda = Take(set_->VelundaList);
    const Snapshot archive = Take(set_->ArchiveList);
    // The deletion fails after three tables; when the roll-back begins, the
    // fourth Velunda database ("ldt") cannot be replaced: a folder stands in
    // its place.
    setenv("TAMARO_ODBC_FAIL_MATCH", "delete from scheine", 1);
    setenv("TAMARO_ODBC_FAIL_AFTER", "0", 1);
    const std::string ldt = DatabasePath(set_->Velunda[3]);
    hooked_.trigger = "• Daten wieder herstellen...";
    hooked_.action = [&] {
        fs::remove(ldt);
        fs::create_directories(fs::path(ldt) / "blocked");
    };
    Transfer("2,5");
    unsetenv("TAMARO_ODBC_FAIL_AFTER");

    // The first three files are back, the others are not; every backup stays.
    std::vector<std::string> expected{
        "Fehler beim Umbenennen von " + ldt + ".bak nach " + ldt,
        "Die Datenbanken konnten nicht vollständig wiederhergestellt werden; alle "
        "Datensicherungen bleiben erhalten:"};
    std::vector<ArchiveDbPair*> all;
    for (auto& db : set_->Velunda) all.push_back(&db);
    all.push_back(&set_->Archive);
    for (size_t i = 0; i < all.size(); ++i) {
        const std::string name = all[i]->FileName + Ext();
        expected.push_back(i < 3 ? "• " + name + ": wiederhergestellt"
                                 : "• " + name + ": nicht wiederhergestellt, Sicherung in " + name +
                                       ".bak");
    }
    expected.push_back(
        "Weitere Vorgänge sind gesperrt, bis die Datenbanken wiederhergestellt sind; Tamaro "
        "versucht es beim nächsten Start erneut.");
    const auto lines = LogLines();
    size_t first = 0;
    while (first < lines.size() && lines[first].text != expected[0]) ++first;
    ASSERT_LT(first, lines.size()) << log_.Raw();
    for (size_t i = 0; i < expected.size(); ++i) {
        ASSERT_LT(first + i, lines.size());
        EXPECT_EQ(lines[first + i].text, expected[i]);
        EXPECT_EQ(lines[first + i].colour, ColourRed) << expected[i];
    }
    EXPECT_EQ(BakFiles().size(), 9u);
    RunJournal journal;
    ASSERT_EQ(journal.Load(), RunJournal::LoadResult::Loaded);
    EXPECT_EQ(journal.stage, RunStage::Failed);
    EXPECT_EQ(AuditEntries(2), 0);

    // No further run until the files are back.
    boxes_.Clear();
    Transfer("1");
    ASSERT_EQ(boxes_.Texts().size(), 1u);
    EXPECT_EQ(boxes_.Texts()[0].rfind("Ein früherer Vorgang ist nicht abgeschlossen", 0), 0u);

    // Once the folder is gone, the next start puts every file back.
    DisconnectAll();
    fs::remove_all(ldt);
    log_.Clear();
    RecoverInterruptedRun();
    EXPECT_EQ(LogTexts(),
              (std::vector<std::string>{
                  "• Unterbrochener Vorgang gefunden: " + journal.Describe() + ".",
                  "• Die Datenbanken wurden aus der Datensicherung wiederhergestellt (Stand vor "
                  "dem Vorgang)."}));
    EXPECT_TRUE(BakFiles().empty());
    EXPECT_FALSE(RunJournal::Exists());
    ConnectAll();
    EXPECT_EQ(Take(set_->VelundaList), velunda);
    EXPECT_EQ(Take(set_->ArchiveList), archive);
    TheAuditLog().FlushAuditQueue();
    EXPECT_EQ(AuditEntries(2), 1);
}

TEST_P(RunSafetyTest, HistoryRowThatFailsIsRedAndNamedInTheAudit) {
    if (!InOwnProcess()) return;
    Install(PracticePatients);
    setenv("TAMARO_ODBC_FAIL_MATCH", "insert into archist", 1);
    setenv("TAMARO_ODBC_FAIL_AFTER", "0", 1);
    Transfer("6");
    unsetenv("TAMARO_ODBC_FAIL_AFTER");
    EXPECT_TRUE(
        LogHas("Fehler beim Aktualisieren der History: Injected fault (TAMARO_ODBC_FAIL_AFTER)",
               ColourRed));
    // The patient is archived all the same.
    EXPECT_EQ(Count(set_->Archive, "select count(*) from patienten where pid=6"), 1);
    EXPECT_EQ(Count(set_->MainDatabase(), "select count(*) from patienten where pid=6"), 0);
    EXPECT_EQ(Count(set_->MainDatabase(),
                    "select count(*) from log where kategorie=2 and notiz='Patienten erfolgreich "
                    "archiviert; der Vorgang wurde nicht in der History gespeichert.'"),
              1);
    EXPECT_TRUE(BakFiles().empty());
}

TEST_P(RunSafetyTest, DeleteRunRemovesThePatientsOrPutsTheSideBack) {
    if (!InOwnProcess()) return;
    Install(PracticePatients);
    ASSERT_TRUE(DeletePatientsRun(*set_, "2,3"));
    auto texts = LogTexts();
    ASSERT_EQ(texts.size(), 3u + 24u + 2u);
    EXPECT_EQ(LogLines()[0].text, "Patienten löschen aus Velunda...");
    EXPECT_EQ(LogLines()[0].colour, ColourBlue);
    EXPECT_EQ(texts[1], "• Datensicherung...");
    EXPECT_EQ(texts[2], "• Patienten löschen...");
    EXPECT_EQ(texts[3], "• Velunda.patienten... (2 Einträge)");
    EXPECT_EQ(texts[27], "• Datensicherung löschen...");
    EXPECT_EQ(texts[28].rfind("Bereit (", 0), 0u);
    EXPECT_EQ(Count(set_->MainDatabase(), "select count(*) from patienten where pid in (2,3)"), 0);
    EXPECT_TRUE(BakFiles().empty());
    EXPECT_FALSE(RunJournal::Exists());

    const Snapshot velunda = Take(set_->VelundaList);
    log_.Clear();
    setenv("TAMARO_ODBC_FAIL_MATCH", "delete from termine", 1);
    setenv("TAMARO_ODBC_FAIL_AFTER", "0", 1);
    EXPECT_FALSE(DeletePatientsRun(*set_, "4,5"));
    unsetenv("TAMARO_ODBC_FAIL_AFTER");
    const auto after = LogTexts();
    EXPECT_NE(std::find(after.begin(), after.end(), "• Daten wieder herstellen..."), after.end());
    EXPECT_EQ(Take(set_->VelundaList), velunda);
    EXPECT_TRUE(BakFiles().empty());
    EXPECT_FALSE(RunJournal::Exists());
}

TEST_P(RunSafetyTest, ViewSwitchDuringTheRunChangesNothing) {
    Install(PracticePatients);
    const Snapshot chosen = Take(set_->VelundaList, "8,9");
    // The window's lists are exchanged while the first table is copied.
    hooked_.trigger = "• Velunda.patienten";
    hooked_.action = [&] { set_->SwapSides(); };
    Transfer("8,9");
    EXPECT_TRUE(set_->ArchiveIsSource());
    for (const auto& line : LogLines()) EXPECT_NE(line.colour, ColourRed) << line.text;
    const Snapshot archived = Take(set_->ArchiveList);
    for (const auto& [table, t] : chosen) EXPECT_EQ(archived.at(table).rows, t.rows) << table;
    for (const auto& [table, t] : Take(set_->VelundaList, "8,9"))
        EXPECT_TRUE(t.rows.empty()) << table;
    EXPECT_EQ(GetArcPIDsFromDate(set_->Archive, history_.GetItemData(1)), "8,9");
}

// Server mode: other connections to the databases stop a run before it
// starts; when they cannot be read, the run says so and goes on.
TEST_P(RunSafetyTest, OtherConnectionsThroughTheServerStopTheRun) {
    if (Kind() != DatabaseKind::Firebird) GTEST_SKIP() << "Firebird only";
    std::string why;
    const std::string prefix = testenv::FirebirdServerPrefix(&why);
    if (prefix.empty()) GTEST_SKIP() << "no Firebird test server: " << why;
    if (!InOwnProcess()) return;
    Install(PracticePatients);
    DisconnectAll();
    for (auto& e : fs::recursive_directory_iterator(dir_.path()))
        fs::permissions(e.path(), fs::perms::all, fs::perm_options::replace);
    fs::permissions(dir_.path(), fs::perms::all, fs::perm_options::replace);
    ServerPath = prefix + DatabaseDir;
    ConnectAll();

    {
        ODBCConnection other;
        ASSERT_TRUE(other.OpenConnection(FirebirdConnectionString("ldt")));
        ODBCStmt id(other);
        ASSERT_TRUE(id.ExecDirect("select current_connection from rdb$database"));
        ASSERT_TRUE(id.Fetch());
        std::string attachment;
        id.GetColumnString(1, attachment);
        Transfer("2");
        ASSERT_EQ(boxes_.Texts().size(), 1u);
        const std::string box = boxes_.Texts()[0];
        EXPECT_EQ(
            box.rfind("Die Datenbanken werden noch von anderen Verbindungen benutzt:\nldt.fdb: "
                      "Verbindung " +
                          attachment + " als SYSDBA",
                      0),
            0u)
            << box;
        EXPECT_NE(box.find("Programm " + fs::read_symlink("/proc/self/exe").string()),
                  std::string::npos)
            << box;
        EXPECT_NE(
            box.find("\nBitte beenden Sie diese Programme. Der Vorgang wird nicht gestartet."),
            std::string::npos)
            << box;
        EXPECT_TRUE(LogLines().empty());
    }

    boxes_.Clear();
    setenv("TAMARO_ODBC_FAIL_MATCH", "from mon$attachments", 1);
    setenv("TAMARO_ODBC_FAIL_AFTER", "0", 1);
    Transfer("2");
    unsetenv("TAMARO_ODBC_FAIL_AFTER");
    EXPECT_TRUE(boxes_.Boxes().empty());
    EXPECT_TRUE(
        LogHas("Die Verbindungen zu data.fdb konnten nicht gelesen werden: Injected fault "
               "(TAMARO_ODBC_FAIL_AFTER)",
               ColourRed));
    EXPECT_EQ(Count(set_->Archive, "select count(*) from patienten where pid=2"), 1);
}

INSTANTIATE_TEST_SUITE_P(Kinds, RunSafetyTest,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access), KindName);

}  // namespace
}  // namespace archivetest
