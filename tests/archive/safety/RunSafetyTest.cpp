// What protects a run beyond its backups, in the engine: the refusals before
// a run starts, the roll-back by the engines and the put-back of the backups
// where it is safe, the history row that fails, the delete run, a view
// switch and another client during a run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include "archive/runs/ArchiveHistory.h"
#include "archive/rows/ColumnText.h"
#include "archive/safety/DatabaseBackup.h"
#include "archive/runs/DeletePatientsRun.h"
#include "archive/rows/RunCheckpoint.h"
#include "archive/safety/RunJournal.h"
#include "archive/safety/RunLock.h"
#include "archive/safety/RunRecovery.h"
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
    // The other text is there (colours follow the log's format rule: a line
    // without a colour of its own keeps the one before it).
    bool LogContains(const std::string& text) {
        for (const auto& line : LogTexts())
            if (line == text) return true;
        ADD_FAILURE() << "not in the log: " << text << "\n" << log_.Raw();
        return false;
    }
    std::string ConnectionString(const std::string& file) {
        return Kind() == DatabaseKind::Firebird ? FirebirdConnectionString(file)
                                                : AccessConnectionString(file);
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
    expectNothingHappened("Ein früherer Vorgang ist nicht abgeschlossen (" + journal.Describe() +
                          "), und die Datenbanken haben weder den Stand vor noch den nach dem "
                          "Vorgang.\nWeitere Vorgänge sind gesperrt, bis ein Administrator den "
                          "Datenbestand geprüft und die Journal-Datei entfernt hat oder die "
                          "Datenbanken wieder einen der beiden Stände haben (Tamaro prüft es bei "
                          "jedem Start).");
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

TEST_P(RunSafetyTest, FailedRunIsTheEnginesRollBackAndKeepsWhatOthersSaved) {
    if (!InOwnProcess()) return;
    Install(PracticePatients);
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
    // Once the main database is backed up, another client saves an
    // appointment of a patient outside the run and renames him; then the
    // run fails. Putting the backups back would lose both.
    auto otherClientSaves = [this](int tid, int pid) {
        SetRunCheckpointHook([=, this](const std::string& point, int) {
            if (point != "backup") return;
            SetRunCheckpointHook({});
            ODBCConnection other;
            ASSERT_TRUE(other.OpenConnection(ConnectionString("data")));
            ODBCStmt insert(other);
            EXPECT_TRUE(insert.ExecDirect("insert into termine (tid, pid) values (" +
                                          std::to_string(tid) + ", " + std::to_string(pid) + ")"));
            ODBCStmt rename(other);
            EXPECT_TRUE(rename.ExecDirect("update patienten set nachname = 'Neu" +
                                          std::to_string(tid) +
                                          "' where pid = " + std::to_string(pid)));
        });
    };
    auto expectKept = [this](int tid, int pid, const std::string& run, const Snapshot& rows) {
        const auto texts = LogTexts();
        EXPECT_NE(std::find(texts.begin(), texts.end(), "• Daten wieder herstellen..."),
                  texts.end());
        // Nothing was put back from a backup.
        for (const std::string& line : texts)
            EXPECT_EQ(line.find("Datensicherung " + DatabaseDir), std::string::npos) << line;
        EXPECT_EQ(Count(set_->MainDatabase(),
                        "select count(*) from termine where tid = " + std::to_string(tid)),
                  1);
        EXPECT_EQ(Count(set_->MainDatabase(),
                        "select count(*) from patienten where pid = " + std::to_string(pid) +
                            " and nachname = 'Neu" + std::to_string(tid) + "'"),
                  1);
        EXPECT_EQ(Take(set_->VelundaList, run), rows);
        for (const auto& [table, t] : Take(set_->ArchiveList, run))
            EXPECT_TRUE(t.rows.empty()) << table;
        EXPECT_TRUE(BakFiles().empty());
        EXPECT_FALSE(RunJournal::Exists());
        EXPECT_EQ(AuditEntries(2), 0);
    };

    const Snapshot archived = Take(set_->VelundaList, "2,5");
    otherClientSaves(99990, 11);
    setenv("TAMARO_ODBC_FAIL_MATCH", "delete from scheine", 1);
    setenv("TAMARO_ODBC_FAIL_AFTER", "0", 1);
    Transfer("2,5");
    unsetenv("TAMARO_ODBC_FAIL_AFTER");
    expectKept(99990, 11, "2,5", archived);
    DisconnectAll();
    for (const auto& entry : fs::directory_iterator(DatabaseDir)) {
        struct stat st {};
        ASSERT_EQ(stat(entry.path().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0660u) << entry.path();
        if (root) {
            EXPECT_EQ(st.st_uid, 65534u) << entry.path();
        }
    }
    ConnectAll();

    // The same for a deletion.
    log_.Clear();
    const Snapshot deleted = Take(set_->VelundaList, "3,4");
    otherClientSaves(99991, 10);
    setenv("TAMARO_ODBC_FAIL_MATCH", "delete from termine", 1);
    setenv("TAMARO_ODBC_FAIL_AFTER", "0", 1);
    EXPECT_FALSE(DeletePatientsRun(*set_, "3,4"));
    unsetenv("TAMARO_ODBC_FAIL_AFTER");
    expectKept(99991, 10, "3,4", deleted);
}

TEST_P(RunSafetyTest, BackupIsPutBackOnlyWhereTheEngineCannotOpenTheFileAndNobodyWrote) {
    if (!InOwnProcess()) return;
    Install(PracticePatients);
    const std::string data = DatabasePath(set_->MainDatabase());

    // A roll-back owed by an earlier run: the database opens now, so its
    // engine has discarded the run, and what was saved since stays.
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
    DisconnectAll();
    log_.Clear();
    RecoverInterruptedRun();
    EXPECT_EQ(LogTexts(),
              (std::vector<std::string>{
                  "• Unterbrochener Vorgang gefunden: " + journal.Describe() + ".",
                  "• Die Datenbanken haben den Vorgang verworfen und bleiben, wie sie sind, mit "
                  "allem, was seither darin gespeichert wurde; die Datensicherung wurde "
                  "gelöscht."}));
    EXPECT_TRUE(BakFiles().empty());
    EXPECT_FALSE(RunJournal::Exists());
    ConnectAll();
    EXPECT_EQ(Count(kb, "select count(*) from kassenbuch"), 0);

    // A run fails, and then the roll-back of the main database fails too.
    // runRollingBack: spoil is done to the file when the roll-back has
    // failed; the run's patients are 2 and 5.
    auto runFailingTwice = [&](const std::function<void()>& spoil) {
        log_.Clear();
        hooked_.trigger = "\r\nFehler beim Löschen:";
        hooked_.action = [&] {
            setenv("TAMARO_ODBC_FAIL_MATCH", "ROLLBACK", 1);
            setenv("TAMARO_ODBC_FAIL_AFTER", "0", 1);
            hooked_.trigger = "Fehler beim Zurücksetzen der Transaktion in data";
            hooked_.action = spoil;
        };
        setenv("TAMARO_ODBC_FAIL_MATCH", "delete from scheine", 1);
        setenv("TAMARO_ODBC_FAIL_AFTER", "0", 1);
        Transfer("2,5");
        unsetenv("TAMARO_ODBC_FAIL_AFTER");
        unsetenv("TAMARO_ODBC_FAIL_MATCH");
    };
    const Snapshot velunda = Take(set_->VelundaList);
    if (Kind() == DatabaseKind::Firebird) {
        // The database opens again: nothing is put back, and a Firebird file
        // that cannot be opened could never tell its other connections.
        runFailingTwice({});
        EXPECT_TRUE(LogContains("• data.fdb: die Datenbank hat den Vorgang verworfen."));
        EXPECT_EQ(Take(set_->VelundaList), velunda);
        EXPECT_TRUE(BakFiles().empty());
        EXPECT_FALSE(RunJournal::Exists());
        return;
    }
    // Access kind: the file is spoilt, so that its engine cannot open it.
    // Another process holds it open: the backup is kept and named.
    const auto garbage = [&] { testenv::WriteFile(data, std::string(8192, 'x')); };
    pid_t holder = -1;
    runFailingTwice([&] {
        garbage();
        holder = fork();
        if (holder == 0) {
            const int fd = open(data.c_str(), O_RDONLY);
            (void)fd;
            execl("/bin/sleep", "sleep", "60", nullptr);
            _exit(127);
        }
        // The holder has the file open once it sleeps.
        for (int i = 0;
             i < 100 &&
             fs::read_symlink("/proc/" + std::to_string(holder) + "/exe").filename() != "sleep";
             ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    EXPECT_TRUE(LogHas("• Die Datensicherung " + data +
                           ".bak wird nicht zurückgelegt: die Datenbank ist noch geöffnet von "
                           "Prozess " +
                           std::to_string(holder) + " (sleep).",
                       ColourRed));
    EXPECT_TRUE(LogHas("Die Datensicherung " + data +
                           ".bak bleibt erhalten. Weitere Vorgänge sind gesperrt, bis die "
                           "Datenbank wieder geöffnet werden kann (Tamaro prüft es bei jedem "
                           "Start) oder ein Administrator sie aus der Datensicherung "
                           "zurückgelegt und die Journal-Datei " +
                           RunJournal::Path() + " entfernt hat.",
                       ColourRed));
    EXPECT_EQ(BakFiles(), std::vector<std::string>{"data.mdb.bak"});
    RunJournal failed;
    ASSERT_EQ(failed.Load(), RunJournal::LoadResult::Loaded);
    EXPECT_EQ(failed.stage, RunStage::Failed);
    // Once the holder has gone, the next start puts the backup back.
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    DisconnectAll();
    log_.Clear();
    RecoverInterruptedRun();
    EXPECT_TRUE(
        LogHas("• Die Datenbank wurde aus der Datensicherung wiederhergestellt (Stand vor "
               "dem Vorgang); die Datensicherung wurde gelöscht.",
               ColourRed));
    ConnectAll();
    EXPECT_EQ(Take(set_->VelundaList), velunda);
    EXPECT_TRUE(BakFiles().empty());

    // A backup older than the file (another program wrote between the
    // backup and the run's begin) is never put back.
    SetRunCheckpointHook([this](const std::string& point, int) {
        if (point != "backup") return;
        SetRunCheckpointHook({});
        ODBCConnection other;
        ASSERT_TRUE(other.OpenConnection(ConnectionString("data")));
        ODBCStmt insert(other);
        EXPECT_TRUE(insert.ExecDirect("insert into termine (tid, pid) values (99992, 11)"));
    });
    runFailingTwice(garbage);
    EXPECT_TRUE(LogHas("• Die Datensicherung " + data +
                           ".bak wird nicht zurückgelegt: die Datenbank wurde zwischen der "
                           "Datensicherung und dem Beginn des Vorgangs von einem anderen "
                           "Programm geändert.",
                       ColourRed));
    EXPECT_EQ(BakFiles(), std::vector<std::string>{"data.mdb.bak"});
}

TEST_P(RunSafetyTest, CommitSequenceTriesShortFaultsAgain) {
    if (!InOwnProcess()) return;
    Install(PracticePatients);
    const std::string injected = "Injected fault (TAMARO_ODBC_FAIL_AFTER)";
    auto commitFails = [](const char* after, const char* state, bool late) {
        setenv("TAMARO_ODBC_FAIL_MATCH", "COMMIT", 1);
        setenv("TAMARO_ODBC_FAIL_STATE", state, 1);
        if (late) setenv("TAMARO_ODBC_FAIL_LATE", "1", 1);
        setenv("TAMARO_ODBC_FAIL_AFTER", after, 1);
    };
    auto noFault = [] {
        for (const char* v : {"TAMARO_ODBC_FAIL_AFTER", "TAMARO_ODBC_FAIL_MATCH",
                              "TAMARO_ODBC_FAIL_STATE", "TAMARO_ODBC_FAIL_LATE"})
            unsetenv(v);
    };
    auto archived = [this](const std::string& pid) {
        return Count(set_->Archive, "select count(*) from patienten where pid = " + pid) == 1 &&
               Count(set_->MainDatabase(), "select count(*) from patienten where pid = " + pid) ==
                   0;
    };
    auto noRedLine = [this] {
        for (const auto& line : LogLines()) EXPECT_NE(line.colour, ColourRed) << line.text;
    };

    // The main database is busy at its commit: a second try succeeds.
    commitFails("1", "HYT00", false);
    Transfer("2");
    noFault();
    EXPECT_TRUE(LogContains("• data" + std::string(Ext()) + ": Speichern nicht möglich (" +
                            injected + "). Neuer Versuch in 1 s."));
    EXPECT_TRUE(archived("2"));
    noRedLine();

    // The connection to the archive breaks while it commits, before the
    // commit arrived: nothing is committed, and the run is rolled back.
    log_.Clear();
    commitFails("0", "08S01", false);
    Transfer("3");
    noFault();
    EXPECT_TRUE(LogContains("• archiv" + std::string(Ext()) +
                            ": Verbindung beim Speichern verloren (" + injected + ")."));
    EXPECT_TRUE(LogContains("• Daten wieder herstellen..."));
    EXPECT_EQ(Count(set_->Archive, "select count(*) from patienten where pid = 3"), 0);
    EXPECT_EQ(Count(set_->MainDatabase(), "select count(*) from patienten where pid = 3"), 1);
    EXPECT_TRUE(BakFiles().empty());
    EXPECT_FALSE(RunJournal::Exists());

    // The connection to the main database breaks after its commit arrived:
    // its tables tell, and the run goes on.
    log_.Clear();
    commitFails("1", "08S01", true);
    Transfer("4");
    noFault();
    EXPECT_TRUE(LogContains("• data" + std::string(Ext()) +
                            ": Verbindung beim Speichern verloren (" + injected + ")."));
    EXPECT_TRUE(archived("4"));
    noRedLine();
    EXPECT_TRUE(BakFiles().empty());
    EXPECT_FALSE(RunJournal::Exists());
    if (Kind() != DatabaseKind::Access) return;

    // A real reader holds the main database for seven seconds when it is to
    // commit: the engine's busy time-out passes, and the run tries again
    // until the reader has let go.
    log_.Clear();
    const std::string data = DatabasePath(set_->MainDatabase());
    FILE* reader = nullptr;
    SetRunCheckpointHook([&](const std::string& point, int passage) {
        if (point != "commit" || passage != 1) return;
        const std::string command =
            "/usr/bin/python3 -c \"import sqlite3, sys, time\n"
            "c = sqlite3.connect(sys.argv[1], isolation_level=None)\n"
            "c.execute('begin')\n"
            "c.execute('select count(*) from patienten').fetchone()\n"
            "print('holding', flush=True)\n"
            "time.sleep(7)\n"
            "c.execute('commit')\" '" +
            data + "'";
        reader = popen(command.c_str(), "r");
        char line[32] = {0};
        ASSERT_NE(reader, nullptr);
        ASSERT_NE(fgets(line, sizeof line, reader), nullptr);
        EXPECT_STREQ(line, "holding\n");
    });
    Transfer("5");
    SetRunCheckpointHook({});
    if (reader) pclose(reader);
    bool retried = false;
    for (const std::string& line : LogTexts())
        retried = retried || (line.rfind("• data.mdb: Speichern nicht möglich (", 0) == 0 &&
                              line.find("Neuer Versuch in ") != std::string::npos);
    EXPECT_TRUE(retried) << log_.Raw();
    EXPECT_TRUE(archived("5"));
    noRedLine();
}

// Server mode: the connections of the run are cut once the archive has
// committed, as a restarted server cuts them; the run connects again and
// finishes its sources.
TEST_P(RunSafetyTest, ConnectionsCutInsideTheCommitSequenceAreFinishedForward) {
    if (Kind() != DatabaseKind::Firebird) GTEST_SKIP() << "Firebird only";
    std::string why;
    const std::string prefix = testenv::FirebirdServerPrefix(&why);
    if (prefix.empty()) GTEST_SKIP() << "no Firebird test server: " << why;
    Install(PracticePatients);
    AttachThroughServer(prefix);
    const Snapshot moved = Take(set_->VelundaList, "2,5");
    SetRunCheckpointHook([this](const std::string& point, int passage) {
        if (point != "commit" || passage != 1) return;
        for (ArchiveDbPair& db : set_->Velunda) {
            ODBCConnection other;
            ASSERT_TRUE(other.OpenConnection(FirebirdConnectionString(db.FileName)));
            ODBCStmt cut(other);
            EXPECT_TRUE(cut.ExecDirect(
                "delete from mon$attachments where mon$attachment_id <> current_connection"));
        }
    });
    Transfer("2,5");
    SetRunCheckpointHook({});
    EXPECT_TRUE(LogContains("• Der Vorgang wird zu Ende geführt..."));
    for (const auto& line : LogLines()) EXPECT_NE(line.colour, ColourRed) << line.text;
    ConnectAll();
    const Snapshot archive = Take(set_->ArchiveList, "2,5");
    for (const auto& [table, t] : moved)
        EXPECT_EQ(archive.at(table).rows.size(), t.rows.size()) << table;
    for (const auto& [table, t] : Take(set_->VelundaList, "2,5"))
        EXPECT_TRUE(t.rows.empty()) << table;
    EXPECT_TRUE(BakFiles().empty());
    EXPECT_FALSE(RunJournal::Exists());
}

TEST_P(RunSafetyTest, RowsSavedForTheRunsPatientsAfterTheCommitAreNamed) {
    Install(PracticePatients);
    // After the last commit, before the run looks again, another client
    // saves an appointment and two fields (a table without a pid index) of
    // a patient the run has just archived.
    SetRunCheckpointHook([this](const std::string& point, int passage) {
        if (point != "commit" || passage != 9) return;
        ODBCConnection other;
        ASSERT_TRUE(other.OpenConnection(ConnectionString("data")));
        ODBCStmt insert(other);
        EXPECT_TRUE(insert.ExecDirect("insert into termine (tid, pid) values (99993, 2)"));
        ODBCStmt fields(other);
        EXPECT_TRUE(fields.ExecDirect("insert into felder (fid, pid) values (99993, 2)"));
        EXPECT_TRUE(fields.ExecDirect("insert into felder (fid, pid) values (99994, 2)"));
    });
    // Ids without patients make the list as long as a run of hundreds of
    // patients gives it.
    std::string pids = "2,5";
    for (int i = 0; i < 300; ++i) pids += "," + std::to_string(100000 + i);
    Transfer(pids);
    SetRunCheckpointHook({});
    const auto lines = LogLines();
    const std::vector<std::string> expected{
        "Während des Vorgangs hat ein anderes Programm Einträge dieser Patienten in Velunda "
        "gespeichert; sie sind nicht archiviert:",
        "• Velunda.termine, Patient 2: 1 Eintrag", "• Velunda.felder, Patient 2: 2 Einträge",
        "Bitte prüfen Sie den Datenbestand (tamaro --headless --check) und restaurieren Sie die "
        "Patienten oder löschen Sie diese Einträge."};
    const auto texts = LogTexts();
    const auto at = std::search(texts.begin(), texts.end(), expected.begin(), expected.end());
    ASSERT_NE(at, texts.end()) << log_.Raw();
    EXPECT_EQ(lines[at - texts.begin()].colour, ColourRed);
    EXPECT_EQ(Count(set_->Archive, "select count(*) from patienten where pid in (2,5)"), 2);
    EXPECT_EQ(Count(set_->MainDatabase(), "select count(*) from termine where tid = 99993"), 1);
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
        // The client's row may land before the run looks again after its
        // commit: then it is named, and nothing else is red.
        const std::string late =
            "• Velunda.termine, Patient " + std::to_string(pid) + ": 1 Eintrag";
        const auto texts = LogTexts();
        if (std::find(texts.begin(), texts.end(), late) == texts.end()) {
            for (const auto& line : LogLines()) EXPECT_NE(line.colour, ColourRed) << line.text;
        }
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

// The database folder on a small file system of its own for a test, and
// back where it was at its end whatever happens; Fill takes what is left.
class SmallDisk {
  public:
    explicit SmallDisk(std::function<void()> disconnect) : disconnect_(std::move(disconnect)) {}
    ~SmallDisk() {
        if (!moved_) return;
        disconnect_();
        if (mounted_) umount2(database_.c_str(), MNT_DETACH);
        fs::remove_all(database_);
        fs::rename(original_, database_);
    }
    // Moves the closed databases onto the small disk; an empty text when it
    // is ready, else why not.
    std::string Mount() {
        fs::rename(database_, original_);
        moved_ = true;
        fs::create_directory(database_);
        uintmax_t bytes = 0;
        for (const auto& entry : fs::directory_iterator(original_)) bytes += fs::file_size(entry);
        // Room for the databases and their backups, and a little more.
        const std::string options = "size=" + std::to_string((2 * bytes + (1 << 20)) / 1024) + "k";
        if (mount("tamaro-test", database_.c_str(), "tmpfs", 0, options.c_str()) != 0)
            return std::strerror(errno);
        mounted_ = true;
        for (const auto& entry : fs::directory_iterator(original_))
            fs::copy_file(entry, database_ / entry.path().filename());
        return "";
    }
    void Fill() {
        std::FILE* f = std::fopen(filler().c_str(), "wb");
        const std::string block(1 << 12, 'x');
        while (f && std::fwrite(block.data(), 1, block.size(), f) == block.size()) {
        }
        if (f) std::fclose(f);
    }
    void Free() { fs::remove(filler()); }

  private:
    fs::path filler() const { return database_ / "filler"; }
    std::function<void()> disconnect_;
    fs::path database_ = DatabaseDir;
    fs::path original_ = database_.string() + ".orig";
    bool moved_ = false, mounted_ = false;
};

// A disk that fills up after the backups: the engines undo the run.
TEST_P(RunSafetyTest, FullDiskDuringTheRunLeavesEveryPatientOnOneSide) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs the super-user";
    if (!InOwnProcess()) return;
    Install(PracticePatients);
    DisconnectAll();
    SmallDisk disk([this] { DisconnectAll(); });
    const std::string why = disk.Mount();
    if (!why.empty()) GTEST_SKIP() << "cannot mount a small file system here: " << why;
    ConnectAll();
    const Snapshot velunda = Take(set_->VelundaList);
    const Snapshot archive = Take(set_->ArchiveList);

    // Once rows of the first tables are in the archive, a file fills what
    // is left of the disk.
    hooked_.trigger = "• Velunda.termine";
    hooked_.action = [&] { disk.Fill(); };
    std::string all;
    for (int pid = 1; pid <= PracticePatients; ++pid)
        all += (pid > 1 ? "," : "") + std::to_string(pid);
    Transfer(all);
    const auto texts = LogTexts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "• Daten wieder herstellen..."), texts.end())
        << testing::PrintToString(texts);
    disk.Free();
    EXPECT_EQ(Take(set_->VelundaList), velunda);
    EXPECT_EQ(Take(set_->ArchiveList), archive);
    EXPECT_TRUE(BakFiles().empty());
    EXPECT_FALSE(RunJournal::Exists());
}

// No commit without the journal that says so: a disk full before a commit
// of the sequence stops it there.
TEST_P(RunSafetyTest, JournalThatCannotBeWrittenStopsTheCommitSequence) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs the super-user";
    if (!InOwnProcess()) return;
    Install(PracticePatients);
    const Snapshot velunda = Take(set_->VelundaList);
    DisconnectAll();
    SmallDisk disk([this] { DisconnectAll(); });
    const std::string why = disk.Mount();
    if (!why.empty()) GTEST_SKIP() << "cannot mount a small file system here: " << why;
    ConnectAll();
    auto fullBefore = [&](int commit) {
        SetRunCheckpointHook([&disk, commit](const std::string& point, int passage) {
            if (point == "precommit" && passage == commit) disk.Fill();
        });
    };
    const std::string journalError =
        "Fehler beim Schreiben der Journal-Datei " + RunJournal::Path();

    // Before the first commit: nothing is committed, the run is rolled back.
    fullBefore(1);
    Transfer("11,12");
    SetRunCheckpointHook({});
    disk.Free();
    EXPECT_TRUE(LogHas(journalError, ColourRed));
    EXPECT_TRUE(LogContains("• Daten wieder herstellen..."));
    EXPECT_EQ(Take(set_->VelundaList), velunda);
    for (const auto& [table, t] : Take(set_->ArchiveList)) EXPECT_TRUE(t.rows.empty()) << table;
    EXPECT_TRUE(BakFiles().empty());
    EXPECT_FALSE(RunJournal::Exists());

    // Before any later commit: nothing more is committed, and the journal
    // stays as it last was (naming the commit before as about to happen),
    // which the next start finishes.
    std::vector<std::string> order{"archiv" + std::string(Ext())};
    for (const auto& db : set_->Velunda) order.push_back(db.FileName + Ext());
    for (int commit = 2; commit <= 9; ++commit) {
        SCOPED_TRACE(commit);
        const std::string pid = std::to_string(commit);
        log_.Clear();
        const Snapshot moved = Take(set_->VelundaList, pid);
        fullBefore(commit);
        Transfer(pid);
        SetRunCheckpointHook({});
        EXPECT_TRUE(LogHas(journalError, ColourRed));
        EXPECT_TRUE(LogHas("Ohne Journal-Datei wird nichts weiter gespeichert. Tamaro führt den "
                           "Vorgang beim nächsten Start zu Ende; bis dahin sind weitere Vorgänge "
                           "gesperrt.",
                           ColourRed));
        RunJournal left;
        ASSERT_EQ(left.Load(), RunJournal::LoadResult::Loaded);
        EXPECT_EQ(left.stage, RunStage::Committing);
        EXPECT_EQ(left.committed, std::vector<std::string>(order.begin(), order.begin() + commit - 2));
        EXPECT_EQ(left.committing, order[commit - 2]);
        disk.Free();
        DisconnectAll();
        log_.Clear();
        RecoverInterruptedRun();
        EXPECT_TRUE(LogHas("• Der Vorgang war beim Speichern unterbrochen und wurde zu Ende "
                           "geführt; die Datensicherung wurde gelöscht.",
                           ColourRed));
        ConnectAll();
        for (const auto& [table, t] : Take(set_->VelundaList, pid))
            EXPECT_TRUE(t.rows.empty()) << table;
        const Snapshot archive = Take(set_->ArchiveList, pid);
        for (const auto& [table, t] : moved)
            EXPECT_EQ(archive.at(table).rows.size(), t.rows.size()) << table;
        EXPECT_TRUE(BakFiles().empty());
        EXPECT_FALSE(RunJournal::Exists());
    }
}

// The start-up maintenance of the archive whose backup is gone cannot be
// undone: the start says what happened and what to do, and runs stay
// refused, instead of a retry that could never succeed.
TEST_P(RunSafetyTest, InterruptedMaintenanceWithoutItsBackupAsksForTheAdministrator) {
    Install(PracticePatients);
    DisconnectAll();
    RunJournal journal;
    journal.kind = RunKind::Maintenance;
    journal.stage = RunStage::Running;
    journal.sourceFiles = {"archiv" + std::string(Ext())};
    BackupRecord record;
    ASSERT_TRUE(BackupFile(DatabasePath(set_->Archive), record));
    journal.backups.push_back(record);
    ASSERT_TRUE(journal.Save());
    // The maintenance had changed the archive when it was interrupted.
    ConnectAll();
    Exec(set_->Archive, "insert into archist (datum, pidlist) values (1, '1')");
    DisconnectAll();
    fs::remove(BackupPath(set_->Archive));
    RecoverInterruptedRun();
    EXPECT_TRUE(LogHas(
        "• Die Datensicherung " + DatabasePath(set_->Archive) +
            ".bak fehlt, daher kann die unterbrochene Wartung der Archivdatenbank nicht "
            "zurückgenommen werden; die Archivdatenbank ist womöglich nur zum Teil gewartet. "
            "Bitte legen Sie die Archivdatenbank aus der Sicherung der Praxis zurück (Stand vor "
            "der Wartung) und entfernen Sie danach die Journal-Datei " +
            RunJournal::Path() +
            "; Tamaro wartet sie beim nächsten Start erneut. Bis dahin sind weitere Vorgänge "
            "gesperrt.",
        ColourRed));
    RunJournal left;
    ASSERT_EQ(left.Load(), RunJournal::LoadResult::Loaded);
    EXPECT_EQ(left.stage, RunStage::Undecided);
    ConnectAll();
    Transfer("2");
    ASSERT_EQ(boxes_.Texts().size(), 1u);
    EXPECT_NE(boxes_.Texts()[0].find("Weitere Vorgänge sind gesperrt, bis ein Administrator"),
              std::string::npos)
        << boxes_.Texts()[0];
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
    // The run's result keeps its text, which filters of the audit table look
    // for; the lost history row is a program event of its own.
    EXPECT_EQ(Count(set_->MainDatabase(),
                    "select count(*) from log where kategorie=2 and notiz='Patienten erfolgreich "
                    "archiviert.'"),
              1);
    EXPECT_EQ(Count(set_->MainDatabase(),
                    "select count(*) from log where kategorie=1 and notiz='Archivierung von 1 "
                    "Patienten nicht in der History gespeichert.'"),
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
