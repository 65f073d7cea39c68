// A start against a Firebird server on 127.0.0.1: "FBConnect" of Network.cfg
// names the server, so every database is attached through it.
#include <gtest/gtest.h>

#include "core/FsPath.h"
#include "core/Globals.h"
#include "app/headless/HeadlessView.h"
#include "core/LogRecorder.h"
#include "app/MainDialogCore.h"
#include "core/ScriptedWindowServices.h"
#include "tests/fixtures/FirebirdSupport.h"
#include "tests/fixtures/Practice.h"
#include "users/AuditLog.h"

using namespace testenv;

namespace {

// Lets the server, which runs as another user, open and write every file
// that is there now.
void OpenToServer(const fs::path& dir) {
    for (auto& e : fs::recursive_directory_iterator(dir))
        fs::permissions(e.path(), fs::perms::all, fs::perm_options::replace);
    fs::permissions(dir, fs::perms::all, fs::perm_options::replace);
}

// Also in a folder whose name is not ASCII: the server gets the file names
// in UTF-8. The archive copied at this start must be open to the server,
// which runs as another user, by the permissions of the practice's files.
TEST(StartupServer, StartThroughFBConnectAttachesEveryDatabaseAtTheServer) {
    std::string why;
    const std::string prefix = FirebirdServerPrefix(&why);
    if (prefix.empty()) GTEST_SKIP() << "no Firebird test server: " << why;

    UseBuiltDrivers();
    TempDir cfg("tamaro-cfg"), prog("tamaro-prog"), parent("tamaro-practice");
    setenv("XDG_CONFIG_HOME", cfg.str().c_str(), 1);
    MakeProgramDir(prog.path());
    OpenToServer(prog.path());
    fs::path old = fs::current_path();
    fs::current_path(prog.path());
    for (const std::string name : {"praxis", "Praxis M\xC3\xBCller"}) {
        const fs::path practice = parent.path() / name;
        ASSERT_TRUE(MakePractice(practice, "fdb", 4,
                                 "--fbconnect '" + prefix + practice.string() + "'"));
        OpenToServer(parent.path());
        RegisterVelunda(practice);

        LogRecorder log;
        ScriptedWindowServices boxes;
        SetLogSink(&log);
        SetWindowServices(&boxes);
        HeadlessView view;
        {
            MainDialogCore core;
            ASSERT_TRUE(core.OnInitDialog(view));
            EXPECT_EQ(core.Problems(), 0) << log.Raw();
            std::string practice1252;
            ASSERT_TRUE(fspath::FromFileSystem(practice.string(), practice1252));
            EXPECT_EQ(ServerPath, prefix + practice1252 + "/Database");
            auto texts = log.Texts();
            EXPECT_NE(std::find(texts.begin(), texts.end(), "Gesamt: 4 Patienten"), texts.end())
                << log.Raw();
            core.OnDestroy();
        }
        TheAuditLog().SetConnection(nullptr);
        TheAuditLog().SetDataFolder("");
        SetLogSink(nullptr);
        SetWindowServices(nullptr);
    }
    fs::current_path(old);
}

}  // namespace
