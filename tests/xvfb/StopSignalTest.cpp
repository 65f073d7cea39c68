// The real program on the X server, ended by SIGTERM, SIGINT and SIGHUP as
// its close box ends it: idle after the login, with the login dialog open,
// and in the middle of a run (which ends first, leaving every patient on one
// side). Each end is recorded in the audit table, the settings are saved
// and the program's exit status is 0.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "core/Globals.h"
#include "db/ArchiveDbPair.h"
#include "db/DatabaseKind.h"
#include "db/ODBCStmt.h"
#include "tests/fixtures/Practice.h"
#include "tests/xvfb/XdoTool.h"
#include "tests/xvfb/XvfbEnvironment.h"

namespace {

namespace fs = std::filesystem;
using namespace testenv;

class StopSignalTest : public testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        if (!g_noXServer.empty()) GTEST_SKIP() << "no X server: " << g_noXServer;
        UseBuiltDrivers();
        const fs::path cached = CachedPractice("mdb", 0, "--cases");
        ASSERT_FALSE(cached.empty());
        fs::copy(cached / "Database", practice_.path() / "Database", fs::copy_options::recursive);
        WriteFile(practice_.path() / "Network.cfg", "Path=" + practice_.str() + "\n");
        RegisterVelunda(practice_.path());
        MakeProgramDir(program_.path());
    }
    void TearDown() override {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    // Starts the program from its folder, as "AID=2" (the user mueller).
    void Start(const std::string& environment = "") {
        pid_ = fork();
        if (pid_ == 0) {
            if (chdir(program_.str().c_str()) != 0) _exit(126);
            setenv("TAMARO_LOCK_DIR", locks_.str().c_str(), 1);
            if (!environment.empty()) putenv(const_cast<char*>(environment.c_str()));
            const std::string err = (program_.path() / "stderr.txt").string();
            if (!freopen(err.c_str(), "w", stderr)) _exit(126);
            const std::string program = (testenv::ProgramDir() / "tamaro").string();
            execl(program.c_str(), program.c_str(), "AID=2", static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    // The window of that title, waited for (or looked for once).
    std::string Window(const std::string& title, bool wait = true) {
        std::string id;
        xdo::Run(std::string("search ") + (wait ? "--sync " : "") + "--name '^" + title + "$'",
                 &id);
        return id.substr(0, id.find('\n'));
    }
    void LogIn() {
        const std::string login = Window("Tamaro - Login");
        ASSERT_FALSE(login.empty());
        xdo::Run("windowfocus --sync " + login);
        xdo::Key("Tab");
        xdo::Type("geheim");
        xdo::Key("Return");
        // The list is filled once the dialog has gone.
        for (int i = 0; i < 100 && !Window("Tamaro - Login", false).empty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    }
    // The exit status, or -1 when the program did not end in 30 s.
    int Ended() {
        for (int i = 0; i < 300; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return -1;
    }
    template <class T>
    std::vector<T> Column(const std::string& file, const std::string& sql) {
        DatabaseDir = ServerPath = (practice_.path() / "Database").string();
        ArchiveDbPair db{"x", file, ""};
        std::vector<T> values;
        if (!Connect(db)) return values;
        ODBCStmt stmt(db.Connection);
        if (stmt.ExecDirect(sql))
            while (stmt.Fetch()) {
                T v{};
                if constexpr (std::is_same_v<T, std::string>)
                    stmt.GetColumnString(1, v);
                else
                    stmt.GetColumnInt(1, v);
                values.push_back(v);
            }
        stmt.Reset();
        db.Connection.Disconnect();
        return values;
    }
    std::vector<std::string> AuditTexts() {
        return Column<std::string>("data", "select notiz from log");
    }
    bool Has(const std::vector<std::string>& texts, const std::string& text) {
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }
    std::string Stderr() { return ReadFile(program_.path() / "stderr.txt"); }

    TempDir practice_{"tamaro-sig-practice"}, program_{"tamaro-sig-prog"},
        locks_{"tamaro-sig-locks"};
    pid_t pid_ = -1;
};

TEST_P(StopSignalTest, IdleAfterTheLoginTheProgramEndsAsItsCloseBoxEndsIt) {
    const int signal = GetParam();
    Start();
    LogIn();
    ASSERT_EQ(kill(pid_, signal), 0);
    EXPECT_EQ(Ended(), 0) << Stderr();
    const auto texts = AuditTexts();
    EXPECT_TRUE(Has(texts, "Login: mueller"));
    EXPECT_TRUE(Has(texts, "Tamaro beendet."));
    const std::string config = ReadFile(program_.path() / "Tamaro.cfg");
    EXPECT_NE(config.find("Velunda.Min"), std::string::npos) << config;
    EXPECT_EQ(Stderr().find("Fehler"), std::string::npos) << Stderr();
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignalTest, testing::Values(SIGTERM, SIGINT, SIGHUP));

using StopSignalDuringLoginTest = StopSignalTest;

TEST_P(StopSignalDuringLoginTest, TheOpenLoginIsCancelledAndTheProgramEnds) {
    Start();
    ASSERT_FALSE(Window("Tamaro - Login").empty());
    ASSERT_EQ(kill(pid_, GetParam()), 0);
    EXPECT_EQ(Ended(), 0) << Stderr();
    EXPECT_TRUE(Has(AuditTexts(), "Tamaro beendet."));
    EXPECT_TRUE(fs::exists(program_.path() / "Tamaro.cfg"));
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignalDuringLoginTest, testing::Values(SIGINT));

using StopSignalDuringARunTest = StopSignalTest;

TEST_P(StopSignalDuringARunTest, TheRunEndsFirstThenTheProgram) {
    // The run stops itself right after its backups; the signal arrives
    // while it is stopped, and it goes on when continued.
    Start("TAMARO_RUN_STOP_AT=backup");
    LogIn();
    xdo::Run("windowfocus --sync " + Window("Tamaro"));
    xdo::Key("F4");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    xdo::Key("Return");  // the question's default: Yes
    int status = 0;
    bool stopped = false;
    for (int i = 0; i < 300 && !stopped; ++i) {
        if (waitpid(pid_, &status, WUNTRACED | WNOHANG) == pid_) {
            ASSERT_TRUE(WIFSTOPPED(status)) << Stderr();
            stopped = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(stopped) << "the run never reached its backups\n" << Stderr();
    ASSERT_EQ(kill(pid_, GetParam()), 0);
    ASSERT_EQ(kill(pid_, SIGCONT), 0);
    EXPECT_EQ(Ended(), 0) << Stderr();

    // Every patient of the list (pids 10 to 16) on exactly one side.
    std::vector<int32_t> pids = Column<int32_t>("data", "select pid from patienten");
    for (int32_t pid : Column<int32_t>("archiv", "select pid from patienten")) pids.push_back(pid);
    for (int32_t pid = 10; pid <= 16; ++pid)
        EXPECT_EQ(std::count(pids.begin(), pids.end(), pid), 1) << pid;
    const auto texts = AuditTexts();
    ASSERT_FALSE(texts.empty());
    EXPECT_TRUE(Has(texts, "Tamaro beendet."));
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignalDuringARunTest, testing::Values(SIGHUP));

}  // namespace
