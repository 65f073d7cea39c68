// Copying a file into place: all of it or nothing under the target's name.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "platform/CopyFileNoReplace.h"
#include "tests/fixtures/TestEnv.h"

namespace {

namespace fs = std::filesystem;
using testenv::ReadFile;
using testenv::TempDir;
using testenv::WriteFile;

std::vector<std::string> Names(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

mode_t Mode(const fs::path& p) {
    struct stat st {};
    stat(p.c_str(), &st);
    return st.st_mode & 07777;
}

TEST(CopyFileNoReplace, CopiesWithThePermissionsOfTheModelAndNeverReplaces) {
    TempDir tpl, db;
    const std::string content(300000, 'x');
    WriteFile(tpl.path() / "archiv.fdb", content);
    WriteFile(db.path() / "data.fdb", "main");
    fs::permissions(db.path() / "data.fdb", fs::perms(0640));
    // The folder name is code page 1252 text inside the program.
    fs::create_directory(db.path() / "M\xC3\xBCller");
    WriteFile(db.path() / "M\xC3\xBCller" / "data.fdb", "main");
    fs::permissions(db.path() / "M\xC3\xBCller" / "data.fdb", fs::perms(0666));

    ASSERT_TRUE(CopyFileNoReplace(tpl.str() + "/archiv.fdb", db.str() + "/archiv.fdb",
                                  db.str() + "/data.fdb"));
    EXPECT_EQ(ReadFile(db.path() / "archiv.fdb"), content);
    EXPECT_EQ(Mode(db.path() / "archiv.fdb"), 0640u);
    ASSERT_TRUE(CopyFileNoReplace(tpl.str() + "/archiv.fdb", db.str() + "/M\xFCller/archiv.fdb",
                                  db.str() + "/M\xFCller/data.fdb"));
    EXPECT_EQ(Mode(db.path() / "M\xC3\xBCller" / "archiv.fdb"), 0666u);

    // An existing file is kept; a missing source or model leaves nothing behind.
    WriteFile(db.path() / "archiv.mdb", "schon da");
    WriteFile(tpl.path() / "archiv.mdb", "Vorlage");
    EXPECT_FALSE(CopyFileNoReplace(tpl.str() + "/archiv.mdb", db.str() + "/archiv.mdb",
                                   db.str() + "/data.fdb"));
    EXPECT_EQ(ReadFile(db.path() / "archiv.mdb"), "schon da");
    EXPECT_FALSE(
        CopyFileNoReplace(tpl.str() + "/fehlt.fdb", db.str() + "/neu.fdb", db.str() + "/data.fdb"));
    EXPECT_TRUE(CopyFileNoReplace(tpl.str() + "/archiv.mdb", db.str() + "/neu.mdb",
                                  db.str() + "/fehlt.mdb"));
    EXPECT_EQ(Names(db.path()), (std::vector<std::string>{"M\xC3\xBCller", "archiv.fdb",
                                                          "archiv.mdb", "data.fdb", "neu.mdb"}));
}

// A copy that stops short (here at a file-size limit, as on a full disk)
// leaves no file that a later start could take for a whole database.
TEST(CopyFileNoReplace, ACopyThatStopsShortLeavesNoFile) {
    TempDir tpl, db;
    WriteFile(tpl.path() / "archiv.fdb", std::string(1 << 20, 'x'));
    WriteFile(db.path() / "data.fdb", "main");
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 65536;
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(CopyFileNoReplace(tpl.str() + "/archiv.fdb", db.str() + "/archiv.fdb",
                                db.str() + "/data.fdb")
                  ? 0
                  : 3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_EQ(Names(db.path()), std::vector<std::string>{"data.fdb"});
}

}  // namespace
