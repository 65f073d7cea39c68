// The real program (build/tamaro/tamaro --headless) killed with SIGKILL at
// each stage of a run, then started again: the start finishes the run from
// its journal before it connects, so that every patient's rows exist exactly
// once, in one place, and every database holds either what it held before
// the run or what the run was to leave.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "archive/safety/RunJournal.h"
#include "archive/safety/RunLock.h"
#include "core/Cp1252.h"
#include "core/Globals.h"
#include "platform/UserAndHost.h"
#include "tests/archive/ArchiveFixture.h"
#include "tests/fixtures/FirebirdSupport.h"
#include "tests/fixtures/Practice.h"

extern char** environ;

namespace archivetest {
namespace {

namespace fs = std::filesystem;

const std::string kPids = "2,5,7";

// What a start reports when it has finished a run interrupted inside its
// commit sequence.
const char* const kFinished =
    "• Der Vorgang war beim Speichern unterbrochen und wurde zu Ende geführt; die "
    "Datensicherung wurde gelöscht.";

// The rows of the patients of pids (in), or of all others (out).
Snapshot Filter(const Snapshot& all, const std::string& pids, bool in) {
    std::set<std::string> chosen;
    for (size_t at = 0; at <= pids.size();) {
        size_t end = pids.find(',', at);
        if (end == std::string::npos) end = pids.size();
        chosen.insert(pids.substr(at, end - at));
        at = end + 1;
    }
    Snapshot out = all;
    for (auto& [table, t] : out) {
        size_t pid = 0;
        while (pid < t.columns.size() && t.columns[pid] != "pid") ++pid;
        std::vector<std::vector<std::string>> kept;
        for (auto& row : t.rows)
            if ((chosen.count(row.at(pid)) != 0) == in) kept.push_back(row);
        t.rows = kept;
    }
    return out;
}

// Each side holds exactly one of its two states, whole.
enum class State { Before, After };

class InterruptedRunTest : public ArchiveTest {
  protected:
    void SetUp() override {
#ifndef TAMARO_HAVE_PROGRAM
        GTEST_SKIP() << "the program is not built";
#endif
        ArchiveTest::SetUp();
        if (IsSkipped()) return;
        Install(PracticePatients);
        testenv::WriteFile(dir_.path() / "Network.cfg",
                           "Path=" + dir_.str() + "\r\nFBConnect=" + dir_.str() + "\r\n");
        testenv::RegisterVelunda(dir_.path());
        testenv::WriteFile(dir_.path() / "password", "geheim\n");
        velundaBefore_ = Take(set_->VelundaList);
        archiveBefore_ = Take(set_->ArchiveList);
        velundaAfter_ = Filter(velundaBefore_, kPids, false);
        archiveAfter_ = Filter(velundaBefore_, kPids, true);
        DisconnectAll();
        pristine_ = dir_.path() / "pristine";
        fs::copy(DatabaseDir, pristine_, fs::copy_options::recursive);
    }

    // Puts the practice back as it was before any run.
    void Reset() {
        DisconnectAll();
        fs::remove_all(DatabaseDir);
        fs::copy(pristine_, DatabaseDir, fs::copy_options::recursive);
    }

    // Starts the program from its folder with the arguments and the extra
    // environment; its output goes to a file (output.txt unless named).
    // Returns the process id.
    pid_t Start(const std::string& args, const std::vector<std::string>& env,
                const std::string& outputName = "output.txt") {
        const fs::path output = dir_.path() / outputName;
        std::vector<std::string> envText;
        for (char** e = environ; *e; ++e) envText.push_back(*e);
        envText.insert(envText.end(), env.begin(), env.end());
        std::vector<char*> envp;
        for (auto& s : envText) envp.push_back(s.data());
        envp.push_back(nullptr);
        // Commands need a login; a start without commands logs in all the same.
        const std::string shell = "exec ./tamaro --headless --user mueller --password-file '" +
                                  (dir_.path() / "password").string() + "' " + args + " > '" +
                                  output.string() + "' 2>&1";
        const std::string programDir = testenv::ProgramCopy().string();
        const pid_t child = fork();
        if (child == 0) {
            if (chdir(programDir.c_str()) != 0) _exit(126);
            execle("/bin/sh", "sh", "-c", shell.c_str(), nullptr, envp.data());
            _exit(127);
        }
        return child;
    }
    // Runs the program to its end; the exit status, or 128 + the signal that
    // ended it. *output receives what it printed.
    int Run(const std::string& args, const std::vector<std::string>& env = {},
            std::string* output = nullptr) {
        const pid_t child = Start(args, env);
        int status = 0;
        waitpid(child, &status, 0);
        if (output) *output = testenv::ReadFile(dir_.path() / "output.txt");
        return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
    }

    // Two programs share Firebird files through a server, as two workstations
    // do; the embedded engine would make the second wait for the stopped
    // first. Skips the test without a test server.
    void ShareThroughServer() {
        if (Kind() != DatabaseKind::Firebird) return;
        std::string why;
        const std::string prefix = testenv::FirebirdServerPrefix(&why);
        if (prefix.empty()) GTEST_SKIP() << "no Firebird test server: " << why;
        testenv::WriteFile(dir_.path() / "Network.cfg",
                           "Path=" + dir_.str() + "\r\nFBConnect=" + prefix + dir_.str() + "\r\n");
        ServerPath = prefix + DatabaseDir;
        for (auto& e : fs::recursive_directory_iterator(dir_.path()))
            fs::permissions(e.path(), fs::perms::all, fs::perm_options::replace);
        fs::permissions(dir_.path(), fs::perms::all, fs::perm_options::replace);
    }

    // The databases hold state (whole) on both sides, no file of a run is
    // left, and every key the database numbered is there once. velunda,
    // when given, is what Velunda is to hold instead (the state with
    // another client's work).
    void ExpectState(State state, const std::string& why, const Snapshot* velunda = nullptr) {
        SCOPED_TRACE(why);
        for (const std::string& name : BakFiles()) ADD_FAILURE() << "left behind: " << name;
        for (const char* name : {"Tamaro.journal", "Tamaro.lock", "Tamaro.journal.new"})
            EXPECT_FALSE(fs::exists(fs::path(DatabaseDir) / name)) << name;
        for (const auto& entry : fs::directory_iterator(DatabaseDir))
            EXPECT_NE(entry.path().extension(), ".restore") << entry.path();
        ConnectAll();
        const Snapshot velundaNow = Take(set_->VelundaList);
        const Snapshot archive = Take(set_->ArchiveList);
        const Snapshot& wantVelunda = velunda                  ? *velunda
                                      : state == State::Before ? velundaBefore_
                                                               : velundaAfter_;
        const Snapshot& wantArchive = state == State::Before ? archiveBefore_ : archiveAfter_;
        for (const auto& [table, t] : wantVelunda)
            EXPECT_EQ(velundaNow.at(table).rows, t.rows) << "Velunda " << table;
        for (const auto& [table, t] : wantArchive)
            EXPECT_EQ(archive.at(table).rows, t.rows) << "Archiv " << table;
        EXPECT_EQ(Count(set_->Archive, "select count(*) from archist"),
                  state == State::Before ? 0 : 1);
        for (const char* key : {"abrechnungen where zid", "diagnosen where did"}) {
            EXPECT_EQ(Count(set_->Archive, std::string("select count(*) from ") + key + " is null"),
                      0)
                << key;
        }
        DisconnectAll();
    }

    // Another member of the practice's group ("staff" on Debian), who starts
    // the program with a home and an engine lock folder of its own: the
    // practice and the program are opened to it.
    static constexpr gid_t kGroup = 50;
    static constexpr uid_t kOther = 65534;
    void OpenToOtherUser() {
        fs::permissions(dir_.path(), fs::perms(0755));
        fs::permissions(std::getenv("XDG_CONFIG_HOME"), fs::perms(0755));
        fs::permissions(testenv::ProgramCopy(), fs::perms(0755));
        fs::permissions(dir_.path() / "password", fs::perms(0644));
        otherHome_.emplace("tamaro-other");
        fs::permissions(otherHome_->path(), fs::perms(01777));
        fs::create_directory(otherHome_->path() / "lock");
        fs::permissions(otherHome_->path() / "lock", fs::perms(01777));
    }
    // The database folder the group's with mode `folder`, its files the
    // group's to change.
    void ShareDatabases(mode_t folder) {
        ASSERT_EQ(chown(DatabaseDir.c_str(), 0, kGroup), 0);
        ASSERT_EQ(chmod(DatabaseDir.c_str(), folder), 0);
        for (const auto& entry : fs::directory_iterator(DatabaseDir)) {
            ASSERT_EQ(chown(entry.path().c_str(), 0, kGroup), 0);
            ASSERT_EQ(chmod(entry.path().c_str(), 0660), 0);
        }
    }
    // Starts the program as the other user; its exit status, -1 when it did
    // not exit. out receives what it printed.
    int RunAsOther(std::string& out) {
        const fs::path output = otherHome_->path() / "output.txt";
        const std::string shell =
            "cd '" + testenv::ProgramCopy().string() + "' && FIREBIRD_LOCK='" +
            (otherHome_->path() / "lock").string() + "' HOME='" + otherHome_->str() +
            "' setpriv --reuid=" + std::to_string(kOther) + " --regid=" + std::to_string(kOther) +
            " --groups=" + std::to_string(kGroup) +
            " ./tamaro --headless --user mueller --password-file '" +
            (dir_.path() / "password").string() + "' > '" + output.string() + "' 2>&1";
        const int rc = std::system(shell.c_str());
        out = testenv::ReadFile(output);
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }

    fs::path pristine_;
    std::optional<testenv::TempDir> otherHome_;
    Snapshot velundaBefore_, archiveBefore_, velundaAfter_, archiveAfter_;
};

// The program prints UTF-8; the expected texts here are code page 1252.
size_t Find(const std::string& output, const std::string& text, size_t from = 0) {
    return output.find(cp1252::ToUtf8(text), from);
}

// A start ended with status 1, its report being red, and printed `text`.
void ExpectRedReport(int status, const std::string& out, const std::string& text) {
    EXPECT_EQ(status, 1) << out;
    EXPECT_NE(Find(out, text), std::string::npos) << out;
}

TEST_P(InterruptedRunTest, KilledAtEachStageTheNextStartFinishesTheRun) {
    struct Case {
        const char* point;
        State state;       // what the next start leaves
        const char* done;  // its report of what it did
        bool cutBackup;    // the main database's backup is cut to nothing before the start
    };
    const char* discarded =
        "• Der Vorgang wurde abgebrochen, bevor er gespeichert war. Die Datenbanken haben ihn "
        "verworfen und bleiben, wie sie sind, mit allem, was seither darin gespeichert wurde; die "
        "Datensicherung wurde gelöscht.";
    const Case cases[] = {
        {"backup", State::Before,
         "• Die Datensicherung war unvollständig, die Datenbanken sind unverändert; die "
         "Teilsicherung wurde gelöscht.",
         false},
        {"inserts", State::Before, discarded, false},
        {"deletion", State::Before, discarded, true},
        {"history", State::Before, discarded, false},
        // The archive has committed, then the first four Velunda databases.
        {"commit:1", State::After, kFinished, false},
        {"commit:5", State::After, kFinished, true},
        {"removal", State::After,
         "• Der Vorgang war abgeschlossen; die verbliebene Datensicherung wurde gelöscht.", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.point);
        Reset();
        std::string out;
        EXPECT_EQ(Run("--archive " + kPids, {std::string("TAMARO_RUN_KILL_AT=") + c.point}, &out),
                  128 + SIGKILL)
            << out;
        EXPECT_TRUE(RunJournal::Exists());
        // A backup damaged after the interruption is never put back.
        if (c.cutBackup)
            testenv::WriteFile(fs::path(DatabaseDir) / (std::string("data") + Ext() + ".bak"), "");
        // The report is red, which a headless start answers with status 1.
        EXPECT_EQ(Run("", {}, &out), 1) << out;
        // Reported in red before the databases are connected: the counts follow.
        const size_t found = Find(
            out, "• Unterbrochener Vorgang gefunden: Archivierung von 3 Patienten, begonnen am ");
        ASSERT_NE(found, std::string::npos) << out;
        EXPECT_NE(Find(out, c.done, found), std::string::npos) << out;
        EXPECT_LT(Find(out, c.done), Find(out, "Velunda: ")) << out;
        ExpectState(c.state, out);
        ConnectAll();
        EXPECT_EQ(Count(set_->MainDatabase(),
                        "select count(*) from log where kategorie=2 and notiz like "
                        "'Unterbrochener Vorgang (Archivierung von 3 Patienten%'"),
                  1);
        DisconnectAll();
    }
}

TEST_P(InterruptedRunTest, WhatOthersSavedSinceTheKillDecidesTheDirection) {
    // Killed before its commit, the run changed nothing; the practice works
    // on, and the next start keeps that work.
    std::string out;
    EXPECT_EQ(Run("--archive " + kPids, {"TAMARO_RUN_KILL_AT=deletion"}), 128 + SIGKILL);
    ConnectAll();
    Exec(set_->MainDatabase(), "insert into termine (tid, pid) values (99999, 2)");
    Exec(set_->MainDatabase(), "update patienten set nachname = 'Neuname' where pid = 3");
    DisconnectAll();
    EXPECT_EQ(Run("", {}, &out), 1) << out;
    ConnectAll();
    EXPECT_EQ(
        Count(set_->MainDatabase(), "select count(*) from termine where pid = 2 and tid = 99999"),
        1);
    EXPECT_EQ(
        Count(set_->MainDatabase(), "select count(*) from patienten where nachname = 'Neuname'"),
        1);
    EXPECT_EQ(Count(set_->Archive, "select count(*) from patienten"), 0);

    // The rows each change works on.
    ArchiveDbPair& kartei = set_->Velunda[7];
    const auto diagnosis = Query(set_->MainDatabase(),
                                 "select did, aid, sid, datum from diagnosen where pid = 7 "
                                 "order by did");
    ASSERT_FALSE(diagnosis.empty());
    const auto& d = diagnosis.front();
    const std::string named =
        Query(set_->MainDatabase(), "select nachname from patienten where pid = 5")[0][0];
    const auto notes = Query(kartei, "select pid, count(*) from data where pid in (" + kPids +
                                         ") group by pid order by pid");
    ASSERT_FALSE(notes.empty());
    const std::string notesOf = notes[0][0];
    const int noteCount = std::atoi(notes[0][1].c_str());
    const std::string noteId =
        Query(kartei, "select min(did) from data where pid = " + notesOf)[0][0];
    DisconnectAll();
    auto entries = [](int n) { return std::to_string(n) + (n == 1 ? " Eintrag" : " Einträge"); };

    // Killed once the archive has committed, no Velunda database has: the
    // run could be finished, but another client has changed rows of its
    // patients in Velunda since (a row more, a text edited, a row swapped
    // for another, every note of a patient deleted in a database the
    // sequence never reached). Finishing would lose that work; the archive
    // still holds exactly the copies, so the start takes them out again.
    // The patients are then wholly in Velunda with the client's change, and
    // the change is named. The start that goes back may itself be killed
    // after taking the copies out: the next one ends it the same way.
    struct Change {
        const char* what;
        std::vector<std::pair<ArchiveDbPair*, std::string>> make;
        std::string named;
        const char* killAt;  // the first start's kill point, or none
    };
    ArchiveDbPair& main = set_->MainDatabase();
    const Change changes[] = {
        {"added",
         {{&main, "insert into termine (tid, pid) values (99998, 2)"}},
         "• Velunda.termine, Patient 2: 1 statt 0 Einträge",
         nullptr},
        {"edited",
         {{&main, "update patienten set nachname = 'Geaendert' where pid = 5"}},
         "• Velunda.patienten, Patient 5: 1 Eintrag mit anderem Inhalt als in Archiv",
         "TAMARO_RUN_KILL_AT=undo"},
        {"swapped",
         {{&main, "delete from diagnosen where did = " + d[0]},
          {&main, "insert into diagnosen (pid, aid, sid, datum, code) values (7, " + d[1] + ", " +
                      d[2] + ", " + d[3] + ", 'Z99.9')"}},
         "• Velunda.diagnosen, Patient 7: " + entries(int(diagnosis.size())) +
             " mit anderem Inhalt als in Archiv",
         nullptr},
        {"deleted where never reached",
         {{&kartei, "delete from data where pid = " + notesOf}},
         "• Kartei.data, Patient " + notesOf + ": 0 statt " + entries(noteCount),
         nullptr},
    };
    const char* const back =
        "• Der Vorgang war beim Speichern unterbrochen und konnte nicht zu Ende geführt werden, "
        "weil seine Einträge in Velunda seither geändert wurden (oben). Er wurde zurückgenommen: "
        "die Patienten sind wieder ganz in Velunda, mit allem, was seither dort gespeichert "
        "wurde; die Datensicherung wurde gelöscht.";
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        Reset();
        EXPECT_EQ(Run("--archive " + kPids, {"TAMARO_RUN_KILL_AT=commit:1"}), 128 + SIGKILL);
        ConnectAll();
        for (const auto& [db, sql] : change.make) Exec(*db, sql);
        const Snapshot velunda = Take(set_->VelundaList);
        DisconnectAll();
        if (change.killAt) {
            EXPECT_EQ(Run("", {change.killAt}, &out), 128 + SIGKILL) << out;
            EXPECT_NE(Find(out, change.named), std::string::npos) << out;
            EXPECT_NE(Find(out, "• Der Vorgang wird zurückgenommen..."), std::string::npos) << out;
            EXPECT_TRUE(RunJournal::Exists());
        }
        ExpectRedReport(Run("", {}, &out), out, back);
        if (!change.killAt) {
            EXPECT_LT(Find(out, change.named), Find(out, back)) << out;
        }
        ExpectState(State::Before, out, &velunda);
        ConnectAll();
        EXPECT_EQ(Count(set_->MainDatabase(),
                        "select count(*) from log where kategorie=2 and notiz like "
                        "'Unterbrochener Vorgang (Archivierung von 3 Patienten%'"),
                  1);
        DisconnectAll();
    }

    // Both sides changed: a note of a patient edited in Kartei, a database of
    // one table, and his copy edited in the archive. Neither direction keeps
    // both; the start changes nothing, names each patient and table against
    // the other side, and refuses runs. Once the archive's copy is as the
    // run wrote it again, the next start takes the run back.
    Reset();
    EXPECT_EQ(Run("--archive " + kPids, {"TAMARO_RUN_KILL_AT=commit:1"}), 128 + SIGKILL);
    ConnectAll();
    Exec(kartei, "update data set txt = 'Geaendert' where did = " + noteId);
    Exec(set_->Archive, "update patienten set nachname = 'Kopie' where pid = 5");
    const Snapshot velunda = Take(set_->VelundaList);
    const Snapshot archive = Take(set_->ArchiveList);
    DisconnectAll();
    EXPECT_EQ(Run("", {}, &out), 1) << out;
    for (const std::string& line :
         {"• Kartei.data, Patient " + notesOf + ": " + entries(noteCount) +
              " mit anderem Inhalt als in Archiv",
          std::string("• Archiv.patienten, Patient 5: 1 Eintrag mit anderem Inhalt als in Velunda"),
          std::string("• Der Vorgang war beim Speichern unterbrochen und kann weder zu Ende "
                      "geführt noch zurückgenommen werden, weil die Datenbanken nicht mehr den "
                      "Stand des Vorgangs haben (oben). Tamaro ändert nichts daran. Weitere "
                      "Vorgänge sind gesperrt, bis")})
        EXPECT_NE(Find(out, line), std::string::npos) << line << "\n" << out;
    ExpectRedReport(Run("--archive 9", {}, &out), out,
                    "Weitere Vorgänge sind gesperrt, bis ein Administrator den Datenbestand");
    ConnectAll();
    EXPECT_EQ(Take(set_->VelundaList), velunda);
    EXPECT_EQ(Take(set_->ArchiveList), archive);
    Exec(set_->Archive, "update patienten set nachname = '" + named + "' where pid = 5");
    DisconnectAll();
    ExpectRedReport(Run("", {}, &out), out, back);
    ExpectState(State::Before, out, &velunda);

    // Killed once Velunda's main database has committed too: its rows are
    // gone, so the run can no longer go back. An appointment saved since for
    // a patient of the run in the main database does not stand in the way;
    // a note changed in Kartei, which the sequence never reached, does,
    // until it is undone. Then the run is finished, and the appointment is
    // named as left behind.
    Reset();
    EXPECT_EQ(Run("--archive " + kPids, {"TAMARO_RUN_KILL_AT=commit:2"}), 128 + SIGKILL);
    ConnectAll();
    const std::string text = Query(kartei, "select txt from data where did = " + noteId)[0][0];
    std::string note = "'";
    for (char c : text) note += c == '\'' ? std::string("''") : std::string(1, c);
    note = text == "<null>" ? "null" : note + "'";
    Exec(kartei, "update data set txt = 'Geaendert' where did = " + noteId);
    Exec(set_->MainDatabase(), "insert into termine (tid, pid) values (99997, 2)");
    DisconnectAll();
    EXPECT_EQ(Run("", {}, &out), 1) << out;
    EXPECT_NE(Find(out, "• Kartei.data, Patient " + notesOf + ": " + entries(noteCount) +
                            " mit anderem Inhalt als in Archiv"),
              std::string::npos)
        << out;
    EXPECT_NE(Find(out, "• Velunda (data" + std::string(Ext()) +
                            ") hat die Einträge des Vorgangs schon gelöscht."),
              std::string::npos)
        << out;
    EXPECT_NE(Find(out, "kann weder zu Ende geführt noch zurückgenommen werden"), std::string::npos)
        << out;
    EXPECT_TRUE(RunJournal::Exists());
    ConnectAll();
    Exec(kartei, "update data set txt = " + note + " where did = " + noteId);
    DisconnectAll();
    ExpectRedReport(Run("", {}, &out), out, kFinished);
    const size_t late = Find(out,
                             "Während des Vorgangs hat ein anderes Programm Einträge dieser "
                             "Patienten in Velunda gespeichert; sie sind nicht archiviert:");
    ASSERT_NE(late, std::string::npos) << out;
    EXPECT_NE(Find(out, "• Velunda.termine, Patient 2: 1 Eintrag", late), std::string::npos) << out;
    ConnectAll();
    EXPECT_EQ(Count(set_->Archive, "select count(*) from patienten where pid in (" + kPids + ")"),
              3);
    Exec(set_->MainDatabase(), "delete from termine where tid = 99997");
    DisconnectAll();
    ExpectState(State::After, out);
}

TEST_P(InterruptedRunTest, KilledRestoreAndKilledRecoveryAreFinishedAtTheNextStart) {
    // An archived practice is the starting point of a restore.
    ASSERT_EQ(Run("--archive " + kPids), 0);
    ExpectState(State::After, "archived");
    const Snapshot whole = velundaBefore_;

    std::string out;
    EXPECT_EQ(Run("--restore " + kPids, {"TAMARO_RUN_KILL_AT=deletion"}), 128 + SIGKILL);
    ExpectRedReport(Run("", {}, &out), out,
                    "• Unterbrochener Vorgang gefunden: Restaurierung von 3 Patienten");
    ExpectState(State::After, out);

    // Two Velunda databases have committed; the start that finishes the run
    // is killed itself after its first commit, and the next one ends it.
    EXPECT_EQ(Run("--restore " + kPids, {"TAMARO_RUN_KILL_AT=commit:2"}), 128 + SIGKILL);
    EXPECT_EQ(Run("", {"TAMARO_RUN_KILL_AT=commit"}, &out), 128 + SIGKILL);
    EXPECT_TRUE(RunJournal::Exists());
    ExpectRedReport(Run("", {}, &out), out,
                    "• Der Vorgang war beim Speichern unterbrochen und wurde zu Ende geführt");
    // Restored; the history keeps the archiving run.
    for (const std::string& name : BakFiles()) ADD_FAILURE() << "left behind: " << name;
    EXPECT_FALSE(RunJournal::Exists());
    ConnectAll();
    const Snapshot velunda = Take(set_->VelundaList);
    for (const auto& [table, t] : whole)
        EXPECT_EQ(velunda.at(table).rows, t.rows) << "Velunda " << table;
    for (const auto& [table, t] : Take(set_->ArchiveList))
        EXPECT_TRUE(t.rows.empty()) << "Archiv " << table;
    DisconnectAll();
}

// A restore killed once two Velunda databases hold the copies; then the
// archive's record of a patient is edited, and a note is saved in Kartei,
// which the sequence never reached, for another patient of the run. The
// start takes the restore back: the copies leave Velunda, the patients are
// wholly in the archive with the edit, and the note is named as left in
// Velunda.
TEST_P(InterruptedRunTest, ARestoreTakenBackLeavesThePatientsInTheArchive) {
    ASSERT_EQ(Run("--archive " + kPids), 0);
    std::string out;
    EXPECT_EQ(Run("--restore " + kPids, {"TAMARO_RUN_KILL_AT=commit:2"}), 128 + SIGKILL);
    ConnectAll();
    Exec(set_->Archive, "update patienten set nachname = 'Geaendert' where pid = 5");
    Exec(set_->Velunda[7], "insert into data (did, pid, txt) values (99996, 2, 'Neu')");
    const Snapshot archive = Take(set_->ArchiveList);
    DisconnectAll();
    ExpectRedReport(Run("", {}, &out), out,
                    "• Der Vorgang war beim Speichern unterbrochen und konnte nicht zu Ende "
                    "geführt werden, weil seine Einträge in Archiv seither geändert wurden (oben). "
                    "Er wurde zurückgenommen: die Patienten sind wieder ganz in Archiv, mit allem, "
                    "was seither dort gespeichert wurde; die Datensicherung wurde gelöscht.");
    const size_t named =
        Find(out, "• Archiv.patienten, Patient 5: 1 Eintrag mit anderem Inhalt als in Velunda");
    const size_t left = Find(out,
                             "Während des Vorgangs hat ein anderes Programm Einträge dieser "
                             "Patienten in Velunda gespeichert; der Vorgang wurde zurückgenommen, "
                             "sie sind dort geblieben:");
    EXPECT_LT(named, Find(out, "• Der Vorgang wird zurückgenommen...")) << out;
    ASSERT_NE(left, std::string::npos) << out;
    EXPECT_NE(Find(out, "• Kartei.data, Patient 2: 1 Eintrag", left), std::string::npos) << out;
    EXPECT_FALSE(RunJournal::Exists());
    EXPECT_TRUE(BakFiles().empty());
    ConnectAll();
    EXPECT_EQ(Take(set_->ArchiveList), archive);
    Exec(set_->Velunda[7], "delete from data where did = 99996");
    const Snapshot velunda = Take(set_->VelundaList);
    for (const auto& [table, t] : velundaAfter_)
        EXPECT_EQ(velunda.at(table).rows, t.rows) << "Velunda " << table;
    DisconnectAll();
}

// A Firebird server of the test's own, which it may stop and start again
// (the shared test server must run on): scripts/fbserver.sh with a state
// folder and a port of its own.
class OwnFirebirdServer {
  public:
    OwnFirebirdServer() {
        // The server runs as the firebird user, who must reach its folder.
        fs::permissions(folder_.path(), fs::perms(0755));
        const int s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        if (s >= 0 && bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            getsockname(s, reinterpret_cast<sockaddr*>(&a), &length) == 0)
            port_ = ntohs(a.sin_port);
        if (s >= 0) close(s);
        started_ = port_ > 0 && Script("start");
    }
    ~OwnFirebirdServer() { Script("stop"); }
    bool Started() const { return started_; }
    std::string Prefix() const { return "127.0.0.1/" + std::to_string(port_) + ":"; }
    bool Restart() { return Script("stop") && Script("start"); }

  private:
    bool Script(const std::string& what) {
        const std::string command =
            "TAMARO_FBSERVER_STATE='" + (folder_.path() / "state").string() +
            "' TAMARO_FBSERVER_PORT=" + std::to_string(port_) + " '" + TAMARO_SOURCE_DIR +
            "/scripts/fbserver.sh' " + what + " > /dev/null 2>&1";
        return std::system(command.c_str()) == 0;
    }
    testenv::TempDir folder_{"tamaro-fbserver"};
    int port_ = 0;
    bool started_ = false;
};

// The Firebird server restarts while the run waits before its third
// commit (the archive and the main database have committed): every
// connection of the run breaks, though each still counts as open. The run
// finds each by a round trip, connects again, reads the tables and finishes.
TEST_P(InterruptedRunTest, AServerRestartInsideTheCommitSequenceIsFinished) {
    if (Kind() != DatabaseKind::Firebird) GTEST_SKIP() << "Firebird only";
    OwnFirebirdServer server;
    if (!server.Started()) GTEST_SKIP() << "no Firebird server could be started";
    testenv::WriteFile(dir_.path() / "Network.cfg", "Path=" + dir_.str() + "\r\nFBConnect=" +
                                                        server.Prefix() + dir_.str() + "\r\n");
    ServerPath = server.Prefix() + DatabaseDir;
    for (auto& e : fs::recursive_directory_iterator(dir_.path()))
        fs::permissions(e.path(), fs::perms::all, fs::perm_options::replace);
    fs::permissions(dir_.path(), fs::perms::all, fs::perm_options::replace);

    const pid_t child = Start("--archive " + kPids, {"TAMARO_RUN_STOP_AT=precommit:3"});
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, WUNTRACED), child);
    ASSERT_TRUE(WIFSTOPPED(status));
    EXPECT_TRUE(server.Restart());
    kill(child, SIGCONT);
    ASSERT_EQ(waitpid(child, &status, 0), child);
    const std::string out = testenv::ReadFile(dir_.path() / "output.txt");
    ASSERT_TRUE(WIFEXITED(status)) << out;
    EXPECT_EQ(WEXITSTATUS(status), 0) << out;
    EXPECT_NE(Find(out, "• Der Vorgang wird zu Ende geführt..."), std::string::npos) << out;
    EXPECT_EQ(Find(out, "nicht lesbar"), std::string::npos) << out;
    ExpectState(State::After, out);
}

// Journals that were tampered with: a line far longer than any journal
// writes, and a pid list that is not one, are unreadable like garbage: the
// start says so at once, changes nothing and writes one short audit entry.
// A long pid list of a real run is read.
TEST_P(InterruptedRunTest, AJournalWithAnOverlongLineOrForeignPidsIsUnreadable) {
    const Snapshot velunda = velundaBefore_;
    auto journal = [&](RunStage stage, const std::string& pids) {
        RunJournal j;
        j.kind = RunKind::Archive;
        j.stage = stage;
        j.pids = pids;
        for (ArchiveDbPair& db : set_->Velunda) j.sourceFiles.push_back(db.FileName + Ext());
        j.targetFiles = {set_->Archive.FileName + Ext()};
        j.committed = j.targetFiles;
        j.committing = j.sourceFiles.front();
        return j;
    };
    const std::string refused = "• Die Journal-Datei " + RunJournal::Path() +
                                " eines unterbrochenen Vorgangs ist unlesbar oder stammt von "
                                "einer älteren Version.";
    std::string out;
    RunJournal longUser = journal(RunStage::Committing, kPids);
    longUser.user = std::string(5 << 20, 'u');
    RunJournal foreignPids = journal(RunStage::Committing, "2,5) or (1=1");
    for (RunJournal* j : {&longUser, &foreignPids}) {
        ASSERT_TRUE(j->Save());
        ExpectRedReport(Run("", {}, &out), out, refused);
        EXPECT_LT(out.size(), 100000u);
        EXPECT_TRUE(RunJournal::Exists());
        ConnectAll();
        EXPECT_EQ(Take(set_->VelundaList), velunda);
        EXPECT_EQ(Count(set_->MainDatabase(),
                        "select count(*) from log where notiz = 'Unterbrochener Vorgang: "
                        "Journal-Datei unlesbar.'"),
                  1);
        EXPECT_LT(Count(set_->MainDatabase(), "select count(*) from log"), 20);
        Exec(set_->MainDatabase(), "delete from log");
        DisconnectAll();
        RunJournal::Remove();
    }

    // 200,000 patients of a run that had not begun its commit sequence.
    std::string pids = kPids;
    for (int pid = 100000; pid < 300000; ++pid) pids += "," + std::to_string(pid);
    ASSERT_TRUE(journal(RunStage::Running, pids).Save());
    ExpectRedReport(Run("", {}, &out), out,
                    "• Der Vorgang wurde abgebrochen, bevor er gespeichert war.");
    ExpectState(State::Before, out);
}

// A start finds a run killed inside its commit sequence, and the first
// read of the patients' notes fails (the driver's fault injection): the
// table it cannot read is unknown, not different. The start tries again and
// finishes the run.
TEST_P(InterruptedRunTest, AnUnreadableTableIsTriedAgainNotTakenForADifference) {
    std::string out;
    EXPECT_EQ(Run("--archive " + kPids, {"TAMARO_RUN_KILL_AT=commit:1"}), 128 + SIGKILL);
    ExpectRedReport(
        Run("", {"TAMARO_ODBC_FAIL_MATCH=select * from data where", "TAMARO_ODBC_FAIL_AFTER=0"},
            &out),
        out, kFinished);
    EXPECT_NE(Find(out, "• archiv" + std::string(Ext()) + ": Nicht lesbar (Archiv.data: "),
              std::string::npos)
        << out;
    EXPECT_NE(Find(out, "Neuer Versuch in 1 s."), std::string::npos) << out;
    EXPECT_EQ(Find(out, "mit anderem Inhalt"), std::string::npos) << out;
    EXPECT_EQ(Find(out, "zurückgenommen"), std::string::npos) << out;
    ExpectState(State::After, out);
}

TEST_P(InterruptedRunTest, SignalsAndAClosedOutputNeverLeaveARunHalfDone) {
    // SIGTERM while the run deletes: the run rolls back, then the program
    // ends with status 1.
    const pid_t child = Start("--archive " + kPids, {"TAMARO_RUN_STOP_AT=deletion"});
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, WUNTRACED), child);
    ASSERT_TRUE(WIFSTOPPED(status));
    kill(child, SIGTERM);
    kill(child, SIGCONT);
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string out = testenv::ReadFile(dir_.path() / "output.txt");
    const size_t stop = Find(out, "Tamaro soll beendet werden: der Vorgang wird abgebrochen.");
    EXPECT_NE(stop, std::string::npos) << out;
    EXPECT_NE(Find(out, "• Daten wieder herstellen...", stop), std::string::npos) << out;
    ExpectState(State::Before, out);

    // Standard output closed by its reader half-way: the run goes on to its
    // end all the same.
    const std::string shell = "cd '" + testenv::ProgramCopy().string() +
                              "' && ./tamaro --headless --user mueller --password-file '" +
                              (dir_.path() / "password").string() + "' --archive " + kPids +
                              " 2>/dev/null | head -c 1 > /dev/null; exit ${PIPESTATUS[0]}";
    const fs::path script = dir_.path() / "closed-output.sh";
    testenv::WriteFile(script, shell + "\n");
    const int rc = std::system(("bash '" + script.string() + "'").c_str());
    ASSERT_TRUE(WIFEXITED(rc));
    EXPECT_EQ(WEXITSTATUS(rc), 0);
    ExpectState(State::After, "closed output");
}

// A run killed on one workstation is recovered by another member of the
// practice's group: the files of the run belong to the folder's group and
// can be written by it.
TEST_P(InterruptedRunTest, AnotherUserOfThePracticeGroupRecovers) {
    if (geteuid() != 0) GTEST_SKIP() << "acting as two users needs the super-user";
    OpenToOtherUser();
    ASSERT_NO_FATAL_FAILURE(ShareDatabases(02770));
    std::string out;
    EXPECT_EQ(Run("--archive " + kPids, {"TAMARO_RUN_KILL_AT=deletion"}, &out), 128 + SIGKILL)
        << out;
    for (const auto& entry : fs::directory_iterator(DatabaseDir)) {
        struct stat st {};
        ASSERT_EQ(lstat(entry.path().c_str(), &st), 0);
        EXPECT_EQ(st.st_gid, kGroup) << entry.path();
        EXPECT_EQ(st.st_mode & 0070, 0060u) << entry.path();
    }

    ExpectRedReport(RunAsOther(out), out,
                    "• Der Vorgang wurde abgebrochen, bevor er gespeichert war.");
    ExpectState(State::Before, out);
}

// A start by a member of the practice's group who may change the databases
// but not the folder they lie in: the journal cannot be written, so nothing
// is committed, and the files of a finished run cannot be removed. Each
// message names the real cause; a later start with the folder writable
// again finishes the work and never takes it for undecided.
TEST_P(InterruptedRunTest, ReadOnlyDatabaseFolderNamesTheCauseAndALaterStartFinishes) {
    if (geteuid() != 0) GTEST_SKIP() << "acting as two users needs the super-user";
    OpenToOtherUser();
    std::string out;

    // Interrupted inside the commit sequence: not finished without a journal.
    EXPECT_EQ(Run("--archive " + kPids, {"TAMARO_RUN_KILL_AT=commit:1"}), 128 + SIGKILL);
    ShareDatabases(0750);
    ExpectRedReport(RunAsOther(out), out,
                    "Fehler beim Schreiben der Journal-Datei " + DatabaseDir + "/Tamaro.journal");
    EXPECT_NE(Find(out,
                   "• Der Vorgang war beim Speichern unterbrochen und kann jetzt nicht zu "
                   "Ende geführt werden (oben). Tamaro versucht es beim nächsten Start "
                   "erneut; bis dahin sind weitere Vorgänge gesperrt."),
              std::string::npos)
        << out;
    EXPECT_EQ(Find(out, "wurde zu Ende geführt"), std::string::npos) << out;
    ShareDatabases(02770);
    ExpectRedReport(RunAsOther(out), out, kFinished);
    ExpectState(State::After, out);

    // Interrupted while its backups were removed: the run is done, only its
    // files are left, and they cannot be removed yet.
    Reset();
    EXPECT_EQ(Run("--archive " + kPids, {"TAMARO_RUN_KILL_AT=removal"}), 128 + SIGKILL);
    ShareDatabases(0750);
    ExpectRedReport(RunAsOther(out), out, ".bak kann nicht gelöscht werden (keine Berechtigung).");
    EXPECT_NE(Find(out,
                   "• Der Vorgang war abgeschlossen; die Dateien des Vorgangs konnten noch "
                   "nicht gelöscht werden (oben)."),
              std::string::npos)
        << out;
    ShareDatabases(02770);
    ExpectRedReport(RunAsOther(out), out,
                    "• Der Vorgang war abgeschlossen; die verbliebene Datensicherung wurde "
                    "gelöscht.");
    ExpectState(State::After, out);
}

TEST_P(InterruptedRunTest, SecondRunIsRefusedWhileAnotherProcessHoldsTheLock) {
    ShareThroughServer();
    if (IsSkipped()) return;
    const std::vector<std::string> env;
    std::vector<std::string> stopped = env;
    stopped.push_back("TAMARO_RUN_STOP_AT=backup");
    const pid_t first = Start("--archive " + kPids, stopped);
    int status = 0;
    ASSERT_EQ(waitpid(first, &status, WUNTRACED), first);
    ASSERT_TRUE(WIFSTOPPED(status));

    std::string user, host;
    ASSERT_TRUE(GetLoginName(user));
    ASSERT_TRUE(GetHostName(host));
    std::string out;
    ExpectRedReport(Run("--archive 9", env, &out), out,
                    "[Meldung] Auf diesen Datenbanken läuft bereits ein Vorgang (Benutzer " + user +
                        " auf Rechner " + host + ").\nBitte warten Sie");
    EXPECT_EQ(Find(out, "Datentransfer"), std::string::npos) << out;
    // A start leaves the journal of a running run alone; its note of that
    // run is no failure of the start.
    EXPECT_EQ(Run("", env, &out), 0) << out;
    EXPECT_NE(Find(out, "• Auf diesen Datenbanken läuft gerade ein Vorgang (Benutzer " + user),
              std::string::npos)
        << out;
    EXPECT_TRUE(RunJournal::Exists());

    kill(first, SIGKILL);
    waitpid(first, &status, 0);
    ExpectRedReport(Run("", env, &out), out, "• Die Datensicherung war unvollständig");
    ExpectState(State::Before, out);
    EXPECT_EQ(Run("--archive " + kPids, env, &out), 0) << out;
    ExpectState(State::After, out);
}

// The start-up notes in red that another program's run is going on; that
// run ends while this program waits for its login, and the command after
// the login runs and succeeds: the status is 0.
TEST_P(InterruptedRunTest, ANoteOfAnotherRunAtStartFailsNoLaterCommand) {
    ShareThroughServer();
    if (IsSkipped()) return;
    const pid_t first = Start("--archive 2,5", {"TAMARO_RUN_STOP_AT=backup"});
    int status = 0;
    ASSERT_EQ(waitpid(first, &status, WUNTRACED), first);
    ASSERT_TRUE(WIFSTOPPED(status));

    // The second reads its password from a pipe, after the start-up.
    const fs::path fifo = dir_.path() / "password.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const pid_t second =
        Start("--password-file '" + fifo.string() + "' --archive 7", {}, "second.txt");
    const std::string note = "• Auf diesen Datenbanken läuft gerade ein Vorgang (Benutzer ";
    std::string out;
    for (int i = 0; i < 600 && Find(out, note) == std::string::npos; ++i) {
        usleep(100000);
        out = testenv::ReadFile(dir_.path() / "second.txt");
    }
    ASSERT_NE(Find(out, note), std::string::npos) << out;

    kill(first, SIGCONT);
    ASSERT_EQ(waitpid(first, &status, 0), first);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    testenv::WriteFile(fifo, "geheim\n");
    ASSERT_EQ(waitpid(second, &status, 0), second);
    out = testenv::ReadFile(dir_.path() / "second.txt");
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0) << out;
    EXPECT_NE(Find(out, "Datentransfer Velunda -> Archiv..."), std::string::npos) << out;
    ConnectAll();
    EXPECT_EQ(Count(set_->Archive, "select count(*) from patienten where pid in (2,5,7)"), 3);
    EXPECT_EQ(Count(set_->MainDatabase(), "select count(*) from patienten where pid in (2,5,7)"),
              0);
    DisconnectAll();
}

INSTANTIATE_TEST_SUITE_P(Kinds, InterruptedRunTest,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access), KindName);

}  // namespace
}  // namespace archivetest
