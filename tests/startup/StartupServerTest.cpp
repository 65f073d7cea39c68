// A start against a Firebird server on 127.0.0.1: "FBConnect" of Network.cfg
// names the server, so every database is attached through it.
#include <gtest/gtest.h>

#include "core/Globals.h"
#include "app/HeadlessView.h"
#include "core/LogRecorder.h"
#include "app/MainDialogCore.h"
#include "core/ScriptedWindowServices.h"
#include "tests/fixtures/FirebirdSupport.h"
#include "tests/fixtures/Practice.h"
#include "users/AuditLog.h"

using namespace testenv;

namespace {

// Lets the server, which runs as another user, open and write every file.
void OpenToServer(const fs::path& dir) {
    for (auto& e : fs::recursive_directory_iterator(dir))
        fs::permissions(e.path(), fs::perms::all, fs::perm_options::replace);
    fs::permissions(dir, fs::perms::all, fs::perm_options::replace);
}

TEST(StartupServer, StartThroughFBConnectAttachesEveryDatabaseAtTheServer) {
    std::string why;
    const std::string prefix = FirebirdServerPrefix(&why);
    if (prefix.empty()) GTEST_SKIP() << "no Firebird test server: " << why;

    UseBuiltDrivers();
    TempDir cfg("tamaro-cfg"), prog("tamaro-prog"), practice("tamaro-practice");
    setenv("XDG_CONFIG_HOME", cfg.str().c_str(), 1);
    MakeProgramDir(prog.path());
    OpenToServer(prog.path());
    ASSERT_TRUE(MakePractice(practice.path(), "fdb", 4,
                             "--fbconnect '" + prefix + practice.str() + "'"));
    OpenToServer(practice.path());
    RegisterVelunda(practice.path());

    fs::path old = fs::current_path();
    fs::current_path(prog.path());
    LogRecorder log;
    ScriptedWindowServices boxes;
    SetLogSink(&log);
    SetWindowServices(&boxes);
    HeadlessView view;
    {
        MainDialogCore core;
        ASSERT_TRUE(core.OnInitDialog(view));
        EXPECT_EQ(core.Problems(), 0) << log.Raw();
        EXPECT_EQ(ServerPath, prefix + practice.str() + "/Database");
        auto texts = log.Texts();
        EXPECT_NE(std::find(texts.begin(), texts.end(), "Gesamt: 4 Patienten"), texts.end())
            << log.Raw();
        core.OnDestroy();
    }
    TheAuditLog().SetConnection(nullptr);
    TheAuditLog().SetDataFolder("");
    SetLogSink(nullptr);
    SetWindowServices(nullptr);
    fs::current_path(old);
}

}  // namespace
