// What protects a run beyond its backups, in the engine: the refusals before
// a run starts, the roll-back by the engines and the put-back of the backups
// where it is safe, the history row that fails, the delete run, a view
// switch and another client during a run.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include "archive/ArchiveHistory.h"
#include "archive/ColumnText.h"
#include "archive/DatabaseBackup.h"
#include "archive/DeletePatientsRun.h"
#include "archive/RunJournal.h"
#include "archive/RunLock.h"
#include "archive/RunRecovery.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "db/DatabaseKind.h"
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
    // Connects every database again through the Firebird test server at
    // prefix, the installation opened to the server's user.
    void AttachThroughServer(const std::string& prefix) {
        DisconnectAll();
        for (auto& e : fs::recursive_directory_iterator(dir_.path()))
            fs::permissions(e.path(), fs::perms::all, fs::perm_options::replace);
        fs::permissions(dir_.path(), fs::perms::all, fs::perm_options::replace);
        ServerPath = prefix + DatabaseDir;
        ConnectAll();
    }
    HookedLog hooked_{log_};
};

TEST_P(RunSafetyTest, RefusalsComeBeforeTheRunWritesAnything) {
    Install(PracticePatients);
    const Snapshot velunda = Take(set_->VelundaList);
    size_t planted = 0;  // backups of an interrupted run, planted below
    auto expectNothingHappened = [&](const std::string& box) {
        ASSERT_EQ(boxes_.Texts(), std::vector<std::string>{box});
        EXPECT_TRUE(LogLines().empty()) << log_.Raw();
        EXPECT_EQ(BakFiles().size(), planted);
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

    // An interrupted run's backups are never overwritten: a start finishes
    // the run first, or an administrator must resolve it.
    RunJournal journal;
    journal.stage = RunStage::Running;
    journal.pids = "1,2";
    journal.sourceFiles = {std::string("data") + Ext()};
    ASSERT_TRUE(journal.Save());
    const fs::path backup = BackupPath(set_->MainDatabase());
    testenv::WriteFile(backup, "the state before the interrupted run");
    planted = 1;
    Transfer("3");
    expectNothingHappened("Ein früherer Vorgang ist nicht abgeschlossen (" + journal.Describe() +
                          ").\nWeitere Vorgänge sind gesperrt, bis Tamaro ihn beim nächsten Start "
                          "abgeschlossen hat.");
    const std::string administrator =
        "Ein früherer Vorgang ist nicht abgeschlossen, und Tamaro kann ihn nicht selbst "
        "abschließen (" +
        RunJournal::Path() +
        ").\nWeitere Vorgänge sind gesperrt, bis ein Administrator die Datenbanken geprüft und "
        "die Journal-Datei entfernt hat.";
    ASSERT_TRUE(journal.SetStage(RunStage::Undecided));
    EXPECT_FALSE(DeletePatientsRun(*set_, "3"));
    expectNothingHappened(administrator);
    // A journal that is a link is not read through, let alone written.
    const fs::path victim = dir_.path() / "victim";
    testenv::WriteFile(victim, "Tamaro-Journal\nsomething else\n");
    fs::remove(RunJournal::Path());
    fs::create_symlink(victim, RunJournal::Path());
    Transfer("3");
    expectNothingHappened(administrator);
    EXPECT_EQ(testenv::ReadFile(backup), "the state before the interrupted run");
    EXPECT_FALSE(fs::exists(RunLock::Path()));
    RunJournal::Remove();
    fs::remove(backup);
    planted = 0;

    // A lock file that is a link refuses the run and is never written through.
    fs::create_symlink(DatabasePath(set_->MainDatabase()), RunLock::Path());
    const auto size = fs::file_size(DatabasePath(set_->MainDatabase()));
    Transfer("3");
    expectNothingHappened("Die Sperrdatei " + RunLock::Path() +
                          " kann nicht angelegt werden (keine gewöhnliche Datei).\nDer Vorgang "
                          "wird nicht gestartet.");
    EXPECT_TRUE(fs::is_symlink(RunLock::Path()));
    EXPECT_EQ(fs::file_size(DatabasePath(set_->MainDatabase())), size);
    fs::remove(RunLock::Path());
    EXPECT_EQ(testenv::ReadFile(victim), "Tamaro-Journal\nsomething else\n");

    // With all of it cleared the run goes ahead.
    Transfer("3");
    EXPECT_TRUE(boxes_.Boxes().empty());
    EXPECT_EQ(Count(set_->Archive, "select count(*) from patienten where pid=3"), 1);
    EXPECT_FALSE(fs::exists(RunLock::Path()));
    EXPECT_FALSE(RunJournal::Exists());
}

TEST_P(RunSafetyTest, RollBackLetsTheEnginesUndoAndPutsBackOnlyTheBackupsThatWereMade) {
    if (!InOwnProcess()) return;
    Install(PracticePatients);
    const Snapshot velunda = Take(set_->VelundaList);
    const Snapshot archive = Take(set_->ArchiveList);
    // The files as a database server's: another owner and group, rw-rw----.
    const bool root = geteuid() == 0;
    DisconnectAll();
    for (const auto& entry : fs::directory_iterator(DatabaseDir)) {
        if (root) {
            ASSERT_EQ(chown(entry.path().c_str(), 65534, 65534), 0) << entry.path();
        }
        chmod(entry.path().c_str(), 0660);
    }
    ConnectAll();
    // The deletion fails after three tables; when the roll-back begins, the
    // backup of "ldt" has been cut short.
    setenv("TAMARO_ODBC_FAIL_MATCH", "delete from scheine", 1);
    setenv("TAMARO_ODBC_FAIL_AFTER", "0", 1);
    const std::string ldt = DatabasePath(set_->Velunda[3]);
    hooked_.trigger = "• Daten wieder herstellen...";
    hooked_.action = [&] { testenv::WriteFile(ldt + ".bak", "cut"); };
    Transfer("2,5");
    unsetenv("TAMARO_ODBC_FAIL_AFTER");

    // The failure, the roll-back, the damaged backup kept, and the database
    // left as the engine rolled it back.
    const auto texts = LogTexts();
    const std::vector<std::string> expected{
        "Fehler beim Löschen:",
        "delete from scheine where pid in(2,5)",
        "Injected fault (TAMARO_ODBC_FAIL_AFTER)",
        "• Daten wieder herstellen...",
        "Die Datensicherung " + ldt +
            ".bak ist nicht mehr die beim Vorgang angelegte (Größe oder Prüfsumme weichen ab); sie "
            "wird nicht zurückgelegt und bleibt zur Prüfung erhalten.",
        "• ldt" + std::string(Ext()) +
            " bleibt, wie das Zurücksetzen der Transaktion sie hinterlassen hat."};
    auto at = std::search(texts.begin(), texts.end(), expected.begin(), expected.end());
    EXPECT_NE(at, texts.end()) << testing::PrintToString(texts);
    // Every database holds its state before the run, owners and modes too;
    // only the damaged backup is left, and further runs are not refused.
    EXPECT_EQ(Take(set_->VelundaList), velunda);
    EXPECT_EQ(Take(set_->ArchiveList), archive);
    DisconnectAll();
    for (const auto& entry : fs::directory_iterator(DatabaseDir)) {
        if (entry.path().extension() == ".bak") continue;
        struct stat st {};
        ASSERT_EQ(stat(entry.path().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0660u) << entry.path();
        if (root) {
            EXPECT_EQ(st.st_uid, 65534u) << entry.path();
        }
    }
    ConnectAll();
    EXPECT_EQ(BakFiles(), std::vector<std::string>{"ldt" + std::string(Ext()) + ".bak"});
    EXPECT_FALSE(RunJournal::Exists());
    EXPECT_EQ(AuditEntries(2), 0);
    boxes_.Clear();
    Transfer("1");
    EXPECT_TRUE(boxes_.Boxes().empty());
    EXPECT_EQ(Count(set_->Archive, "select count(*) from patienten where pid=1"), 1);
}

TEST_P(RunSafetyTest, PutBackThatARollBackOwedIsDoneByTheNextStart) {
    Install(PracticePatients);
    const Snapshot velunda = Take(set_->VelundaList);
    // What a roll-back leaves when the engine could not undo the kassenbuch
    // database and its backup could not be renamed back.
    DisconnectAll();
    ArchiveDbPair& kb = set_->Velunda[6];
    RunJournal journal;
    journal.kind = RunKind::Delete;
    journal.pids = "4";
    for (auto& db : set_->Velunda) journal.sourceFiles.push_back(db.FileName + Ext());
    BackupRecord record;
    ASSERT_TRUE(BackupFile(DatabasePath(kb), record));
    journal.backups.push_back(record);
    journal.pending.push_back(kb.FileName + Ext());
    journal.stage = RunStage::Failed;
    ASSERT_TRUE(journal.Save());
    ConnectAll();
    Exec(kb, "delete from kassenbuch");
    boxes_.Clear();
    Transfer("1");
    ASSERT_EQ(boxes_.Texts().size(), 1u);
    EXPECT_EQ(boxes_.Texts()[0].rfind("Ein früherer Vorgang ist nicht abgeschlossen (Löschung", 0),
              0u);
    DisconnectAll();
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
}

TEST_P(RunSafetyTest, AnotherClientWritingDuringTheRunLosesNothing) {
    Install(PracticePatients);
    // While the run deletes, a second client of the practice adds an
    // appointment for one of its patients. The run's transaction keeps the
    // table for itself, so the client waits for the run's end (or gives up
    // with an error); either way its row is not lost, and the run moves
    // exactly the rows it copied.
    auto runWithClient = [&](const std::string& pids, int pid, int tid) {
        const std::string where = " from termine where pid in (" + pids + ")";
        const int rows = Count(set_->MainDatabase(), "select count(*)" + where);
        std::thread client;
        std::atomic<int> added{-1};
        hooked_.trigger = "• Daten aus Quelle löschen";
        hooked_.action = [&] {
            client = std::thread([&] {
                ODBCConnection other;
                if (!other.OpenConnection(Kind() == DatabaseKind::Firebird
                                              ? FirebirdConnectionString("data")
                                              : AccessConnectionString("data")))
                    return;
                ODBCStmt insert(other);
                added = insert.ExecDirect("insert into termine (tid, pid) values (" +
                                          std::to_string(tid) + ", " + std::to_string(pid) + ")")
                            ? 1
                            : 0;
            });
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        };
        log_.Clear();
        Transfer(pids);
        client.join();
        ASSERT_NE(added, -1) << "the client could not connect";
        for (const auto& line : LogLines()) EXPECT_NE(line.colour, ColourRed) << line.text;
        const std::string row = " from termine where tid = " + std::to_string(tid);
        EXPECT_EQ(Count(set_->Archive, "select count(*)" + where), rows);
        EXPECT_EQ(Count(set_->Archive, "select count(*)" + row), 0);
        EXPECT_EQ(Count(set_->MainDatabase(), "select count(*)" + row), added.load());
        EXPECT_EQ(Count(set_->MainDatabase(), "select count(*)" + where), added.load());
    };
    runWithClient("2,5", 2, 99999);
    if (Kind() != DatabaseKind::Firebird) return;

    // The same with the run and the client both attached through the
    // Firebird server, as at a practice with several workstations.
    std::string why;
    const std::string prefix = testenv::FirebirdServerPrefix(&why);
    if (prefix.empty()) GTEST_SKIP() << "no Firebird test server: " << why;
    AttachThroughServer(prefix);
    runWithClient("3,6", 3, 99998);
}

// A disk that fills up after the backups: the engines undo the run, and the
// backups go back by rename, which needs no space.
TEST_P(RunSafetyTest, FullDiskDuringTheRunLeavesEveryPatientOnOneSide) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs the super-user";
    if (!InOwnProcess()) return;
    Install(PracticePatients);
    DisconnectAll();
    // The database folder moves onto a small file system of its own for the
    // test, and back at its end whatever happens.
    struct SmallDisk {
        fs::path database = DatabaseDir;
        fs::path original = database.string() + ".orig";
        bool mounted = false;
        std::function<void()> disconnect;
        ~SmallDisk() {
            if (disconnect) disconnect();
            if (mounted) umount2(database.c_str(), MNT_DETACH);
            fs::remove_all(database);
            fs::rename(original, database);
        }
    } disk;
    fs::rename(disk.database, disk.original);
    fs::create_directory(disk.database);
    disk.disconnect = [this] { DisconnectAll(); };
    uintmax_t bytes = 0;
    for (const auto& entry : fs::directory_iterator(disk.original)) bytes += fs::file_size(entry);
    // Room for the databases and their backups, and a little more.
    const std::string options = "size=" + std::to_string((2 * bytes + (1 << 20)) / 1024) + "k";
    if (mount("tamaro-test", disk.database.c_str(), "tmpfs", 0, options.c_str()) != 0)
        GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
    disk.mounted = true;
    const fs::path database = disk.database;
    for (const auto& entry : fs::directory_iterator(disk.original))
        fs::copy_file(entry, database / entry.path().filename());
    ConnectAll();
    const Snapshot velunda = Take(set_->VelundaList);
    const Snapshot archive = Take(set_->ArchiveList);

    // Once rows of the first tables are in the archive, a file fills what
    // is left of the disk.
    const fs::path filler = database / "filler";
    hooked_.trigger = "• Velunda.termine";
    hooked_.action = [&] {
        std::FILE* f = std::fopen(filler.c_str(), "wb");
        const std::string block(1 << 16, 'x');
        while (f && std::fwrite(block.data(), 1, block.size(), f) == block.size()) {
        }
        if (f) std::fclose(f);
    };
    std::string all;
    for (int pid = 1; pid <= PracticePatients; ++pid)
        all += (pid > 1 ? "," : "") + std::to_string(pid);
    Transfer(all);
    const auto texts = LogTexts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "• Daten wieder herstellen..."), texts.end())
        << testing::PrintToString(texts);
    fs::remove(filler);
    EXPECT_EQ(Take(set_->VelundaList), velunda);
    EXPECT_EQ(Take(set_->ArchiveList), archive);
    EXPECT_TRUE(BakFiles().empty());
    EXPECT_FALSE(RunJournal::Exists());
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
    AttachThroughServer(prefix);

    {
        ODBCConnection other;
        ASSERT_TRUE(other.OpenConnection(FirebirdConnectionString("ldt")));
        ODBCStmt id(other);
        ASSERT_TRUE(id.ExecDirect("select current_connection from rdb$database"));
        ASSERT_TRUE(id.Fetch());
        std::string attachment;
        SQLLEN indicator = 0;
        ASSERT_TRUE(ReadColumnText(id.Handle(), 1, attachment, indicator));
        // A number, not the raw bytes of one.
        ASSERT_FALSE(attachment.empty());
        EXPECT_EQ(attachment.find_first_not_of("0123456789"), std::string::npos) << attachment;
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
