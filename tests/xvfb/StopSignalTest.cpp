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
#include "tests/xvfb/RealProgram.h"
#include "tests/xvfb/XdoTool.h"
#include "tests/xvfb/XvfbEnvironment.h"

namespace {

using namespace xvfbtest;

class StopSignalTest : public testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        if (!g_noXServer.empty()) GTEST_SKIP() << "no X server: " << g_noXServer;
        ASSERT_TRUE(program_.Install("mdb", 0, true));
    }
    void LogIn() {
        ASSERT_TRUE(program_.LogIn());
        // The list is filled once the dialog has gone.
        RealProgram::Pause(1500);
    }
    std::vector<std::string> AuditTexts() {
        return program_.Column<std::string>("data", "select notiz from log");
    }
    bool Has(const std::vector<std::string>& texts, const std::string& text) {
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }
    std::string Stderr() { return program_.Stderr(); }

    RealProgram program_;
};

TEST_P(StopSignalTest, IdleAfterTheLoginTheProgramEndsAsItsCloseBoxEndsIt) {
    const int signal = GetParam();
    program_.Start();
    LogIn();
    ASSERT_EQ(kill(program_.Pid(), signal), 0);
    EXPECT_EQ(program_.Ended(), 0) << Stderr();
    const auto texts = AuditTexts();
    EXPECT_TRUE(Has(texts, "Login: mueller"));
    EXPECT_TRUE(Has(texts, "Tamaro beendet."));
    const std::string config = testenv::ReadFile(program_.Folder() / "Tamaro.cfg");
    EXPECT_NE(config.find("Velunda.Min"), std::string::npos) << config;
    EXPECT_EQ(Stderr().find("Fehler"), std::string::npos) << Stderr();
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignalTest, testing::Values(SIGTERM, SIGINT, SIGHUP));

using StopSignalDuringLoginTest = StopSignalTest;

TEST_P(StopSignalDuringLoginTest, TheOpenLoginIsCancelledAndTheProgramEnds) {
    program_.Start();
    ASSERT_FALSE(program_.Window("Tamaro - Login").empty());
    ASSERT_EQ(kill(program_.Pid(), GetParam()), 0);
    EXPECT_EQ(program_.Ended(), 0) << Stderr();
    EXPECT_TRUE(Has(AuditTexts(), "Tamaro beendet."));
    EXPECT_TRUE(fs::exists(program_.Folder() / "Tamaro.cfg"));
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignalDuringLoginTest, testing::Values(SIGINT));

using StopSignalDuringARunTest = StopSignalTest;

TEST_P(StopSignalDuringARunTest, TheRunEndsFirstThenTheProgram) {
    // The run stops itself right after its backups; the signal arrives
    // while it is stopped, and it goes on when continued.
    program_.Start({"TAMARO_RUN_STOP_AT=backup"});
    LogIn();
    program_.Keys("F4");
    RealProgram::Pause(500);
    xdo::Key("Return");  // the question's default: Yes
    ASSERT_TRUE(program_.WaitStopped()) << "the run never reached its backups\n" << Stderr();
    ASSERT_EQ(kill(program_.Pid(), GetParam()), 0);
    ASSERT_EQ(kill(program_.Pid(), SIGCONT), 0);
    EXPECT_EQ(program_.Ended(), 0) << Stderr();

    // Every patient of the list (pids 10 to 16) on exactly one side.
    std::vector<int32_t> pids = program_.Column<int32_t>("data", "select pid from patienten");
    for (int32_t pid : program_.Column<int32_t>("archiv", "select pid from patienten"))
        pids.push_back(pid);
    for (int32_t pid = 10; pid <= 16; ++pid)
        EXPECT_EQ(std::count(pids.begin(), pids.end(), pid), 1) << pid;
    const auto texts = AuditTexts();
    ASSERT_FALSE(texts.empty());
    EXPECT_TRUE(Has(texts, "Tamaro beendet."));
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignalDuringARunTest, testing::Values(SIGHUP));

}  // namespace
