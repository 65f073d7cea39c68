// The real program (build/tamaro/tamaro --headless) killed with SIGKILL at
// each stage of a run, then started again: the start finishes the run from
// its journal before it connects, so that every patient's rows exist exactly
// once, in one place, and every database holds either what it held before
// the run or what the run was to leave.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "archive/RunJournal.h"
#include "archive/RunLock.h"
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
    // environment; its output goes to a file. Returns the process id.
    pid_t Start(const std::string& args, const std::vector<std::string>& env) {
        const fs::path output = dir_.path() / "output.txt";
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

    // The databases hold state (whole) on both sides, no file of a run is
    // left, and every key the database numbered is there once.
    void ExpectState(State state, const std::string& why) {
        SCOPED_TRACE(why);
        for (const std::string& name : BakFiles()) ADD_FAILURE() << "left behind: " << name;
        for (const char* name : {"Tamaro.journal", "Tamaro.lock", "Tamaro.journal.new"})
            EXPECT_FALSE(fs::exists(fs::path(DatabaseDir) / name)) << name;
        for (const auto& entry : fs::directory_iterator(DatabaseDir))
            EXPECT_NE(entry.path().extension(), ".restore") << entry.path();
        ConnectAll();
        const Snapshot velunda = Take(set_->VelundaList);
        const Snapshot archive = Take(set_->ArchiveList);
        const Snapshot& wantVelunda = state == State::Before ? velundaBefore_ : velundaAfter_;
        const Snapshot& wantArchive = state == State::Before ? archiveBefore_ : archiveAfter_;
        for (const auto& [table, t] : wantVelunda)
            EXPECT_EQ(velunda.at(table).rows, t.rows) << "Velunda " << table;
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

    fs::path pristine_;
    Snapshot velundaBefore_, archiveBefore_, velundaAfter_, archiveAfter_;
};

// The program prints UTF-8; the expected texts here are code page 1252.
size_t Find(const std::string& output, const std::string& text, size_t from = 0) {
    return output.find(cp1252::ToUtf8(text), from);
}

TEST_P(InterruptedRunTest, KilledAtEachStageTheNextStartFinishesTheRun) {
    struct Case {
        const char* point;
        State state;       // what the next start leaves
        const char* done;  // its report of what it did
    };
    const char* restored =
        "• Die Datenbanken wurden aus der Datensicherung wiederhergestellt (Stand vor dem "
        "Vorgang).";
    const Case cases[] = {
        {"backup", State::Before,
         "• Die Datensicherung war unvollständig, die Datenbanken sind unverändert; die "
         "Teilsicherung wurde gelöscht."},
        {"inserts", State::Before, restored},
        {"deletion", State::Before, restored},
        {"history", State::Before, restored},
        {"removal", State::After,
         "• Der Vorgang war abgeschlossen; die verbliebene Datensicherung wurde gelöscht."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.point);
        Reset();
        std::string out;
        EXPECT_EQ(Run("--archive " + kPids, {std::string("TAMARO_RUN_KILL_AT=") + c.point}, &out),
                  128 + SIGKILL)
            << out;
        EXPECT_TRUE(RunJournal::Exists());
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

TEST_P(InterruptedRunTest, KilledRestoreAndKilledRecoveryAreFinishedAtTheNextStart) {
    // An archived practice is the starting point of a restore.
    ASSERT_EQ(Run("--archive " + kPids), 0);
    ExpectState(State::After, "archived");
    const Snapshot whole = velundaBefore_;

    std::string out;
    EXPECT_EQ(Run("--restore " + kPids, {"TAMARO_RUN_KILL_AT=deletion"}), 128 + SIGKILL);
    // The start that recovers is killed itself after the first file is back.
    EXPECT_EQ(Run("", {"TAMARO_RUN_KILL_AT=putback"}, &out), 128 + SIGKILL);
    EXPECT_NE(Find(out, "• Unterbrochener Vorgang gefunden: Restaurierung von 3 Patienten"),
              std::string::npos)
        << out;
    EXPECT_TRUE(RunJournal::Exists());
    EXPECT_EQ(Run("", {}, &out), 1) << out;
    EXPECT_NE(Find(out, "• Die Datenbanken wurden aus der Datensicherung wiederhergestellt"),
              std::string::npos)
        << out;
    // The archived state: the restore never happened.
    ExpectState(State::After, out);

    EXPECT_EQ(Run("--restore " + kPids, {"TAMARO_RUN_KILL_AT=removal"}), 128 + SIGKILL);
    EXPECT_EQ(Run("", {}, &out), 1) << out;
    // Restored; the history keeps the archiving run.
    for (const std::string& name : BakFiles()) ADD_FAILURE() << "left behind: " << name;
    ConnectAll();
    const Snapshot velunda = Take(set_->VelundaList);
    for (const auto& [table, t] : whole)
        EXPECT_EQ(velunda.at(table).rows, t.rows) << "Velunda " << table;
    for (const auto& [table, t] : Take(set_->ArchiveList))
        EXPECT_TRUE(t.rows.empty()) << "Archiv " << table;
    DisconnectAll();
}

TEST_P(InterruptedRunTest, SecondRunIsRefusedWhileAnotherProcessHoldsTheLock) {
    // Two programs share Firebird files through a server, as two workstations
    // do; the embedded engine would make the second wait for the stopped first.
    if (Kind() == DatabaseKind::Firebird) {
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
    EXPECT_EQ(Run("--archive 9", env, &out), 1) << out;
    EXPECT_NE(Find(out, "[Meldung] Auf diesen Datenbanken läuft bereits ein Vorgang (Benutzer " +
                            user + " auf Rechner " + host + ").\nBitte warten Sie"),
              std::string::npos)
        << out;
    EXPECT_EQ(Find(out, "Datentransfer"), std::string::npos) << out;
    // A start leaves the journal of a running run alone.
    EXPECT_EQ(Run("", env, &out), 1) << out;
    EXPECT_NE(Find(out, "• Auf diesen Datenbanken läuft gerade ein Vorgang (Benutzer " + user),
              std::string::npos)
        << out;
    EXPECT_TRUE(RunJournal::Exists());

    kill(first, SIGKILL);
    waitpid(first, &status, 0);
    EXPECT_EQ(Run("", env, &out), 1) << out;
    EXPECT_NE(Find(out, "• Die Datensicherung war unvollständig"), std::string::npos) << out;
    ExpectState(State::Before, out);
    EXPECT_EQ(Run("--archive " + kPids, env, &out), 0) << out;
    ExpectState(State::After, out);
}

INSTANTIATE_TEST_SUITE_P(Kinds, InterruptedRunTest,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access), KindName);

}  // namespace
}  // namespace archivetest
