#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "app/DirectoryDiscovery.h"
#include "core/Globals.h"
#include "tests/fixtures/TestEnv.h"

namespace {

namespace fs = std::filesystem;
using testenv::TempDir;
using testenv::WriteFile;

class DirectoryDiscoveryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("XDG_CONFIG_HOME", user_.str().c_str(), 1);
        setenv("XDG_CONFIG_DIRS", machine_.str().c_str(), 1);
        fs::create_directories(user_.path() / "Kvarn");
        fs::create_directories(machine_.path() / "Kvarn");
        VelundaDir = DataDir = DatabaseDir = ServerPath = FirebirdBase = "stale";
    }
    void UserValue(const std::string& dir) {
        WriteFile(user_.path() / "Kvarn" / "Velunda.conf", "path=" + dir + "\r\n");
    }
    void MachineValue(const std::string& dir) {
        WriteFile(machine_.path() / "Kvarn" / "Velunda.conf", "path=" + dir + "\r\n");
    }
    TempDir user_, machine_, install_;
};

TEST_F(DirectoryDiscoveryTest, PerUserValueComesFirst) {
    UserValue("/home/velunda");
    MachineValue("/opt/velunda");
    EXPECT_EQ(DiscoverInstallationDir(), "/home/velunda");
    EXPECT_EQ(VelundaDir, "/home/velunda");
}

TEST_F(DirectoryDiscoveryTest, MachineWideValueLeavesVelundaDirEmpty) {
    MachineValue("/opt/velunda");
    EXPECT_EQ(DiscoverInstallationDir(), "/opt/velunda");
    EXPECT_EQ(VelundaDir, "");
}

TEST_F(DirectoryDiscoveryTest, NoValueAnywhere) {
    EXPECT_EQ(DiscoverInstallationDir(), "");
    EXPECT_EQ(VelundaDir, "");
}

TEST_F(DirectoryDiscoveryTest, WithoutNetworkCfgTheInstallationIsTheDataRoot) {
    LocateDataDir(install_.str());
    EXPECT_EQ(DataDir, install_.str());
    EXPECT_FALSE(DatabaseFolderExists());
    fs::create_directory(install_.path() / "Database");
    EXPECT_TRUE(DatabaseFolderExists());
    SetDatabaseDirs();
    EXPECT_EQ(DatabaseDir, install_.str() + "/Database");
    EXPECT_EQ(ServerPath, "127.0.0.1:" + install_.str() + "/Database");
}

TEST_F(DirectoryDiscoveryTest, NetworkCfgReplacesDataRootAndServer) {
    WriteFile(
        install_.path() / "Network.cfg",
        "; Velunda network\r\nPath=/mnt/praxis/velunda\r\nFBConnect=server1:/srv/velunda\r\n");
    LocateDataDir(install_.str());
    SetDatabaseDirs();
    EXPECT_EQ(DataDir, "/mnt/praxis/velunda");
    EXPECT_EQ(DatabaseDir, "/mnt/praxis/velunda/Database");
    EXPECT_EQ(ServerPath, "server1:/srv/velunda/Database");
}

TEST_F(DirectoryDiscoveryTest, NetworkCfgWithoutFBConnectEmptiesTheServerBase) {
    WriteFile(install_.path() / "Network.cfg", "Path=/mnt/praxis\r\n");
    LocateDataDir(install_.str());
    SetDatabaseDirs();
    EXPECT_EQ(DataDir, "/mnt/praxis");
    EXPECT_EQ(ServerPath, "/Database");
}

TEST_F(DirectoryDiscoveryTest, ProgramDirIsTheCurrentDirectory) {
    const fs::path old = fs::current_path();
    const fs::path deep = install_.path() / std::string(200, 'p') / std::string(200, 'q');
    fs::create_directories(deep);
    fs::current_path(deep);
    const bool usable = DiscoverProgramDir();
    fs::current_path(old);
    EXPECT_TRUE(usable);
    EXPECT_EQ(ProgramDir, deep.string());
}

// Folder names enter in UTF-8 from the current directory, the key files and
// Network.cfg and are held in code page 1252; one that code page 1252
// cannot hold is reported, shown with its foreign characters named.
TEST_F(DirectoryDiscoveryTest, FolderNamesEnterInCodePage1252) {
    const std::string mueller = "Praxis M\xC3\xBCller", mueller1252 = "Praxis M\xFCller";
    const std::string lodz =
                          "\xC5\x81\xC3\xB3"
                          "d\xC5\xBA",
                      lodzShown =
                          "<U+0141>\xF3"
                          "d<U+017A>";
    const fs::path old = fs::current_path();
    fs::create_directories(install_.path() / mueller);
    fs::create_directories(install_.path() / lodz);
    fs::current_path(install_.path() / mueller);
    EXPECT_TRUE(DiscoverProgramDir());
    EXPECT_EQ(ProgramDir, install_.str() + "/" + mueller1252);
    fs::current_path(install_.path() / lodz);
    EXPECT_FALSE(DiscoverProgramDir());
    EXPECT_EQ(ProgramDir, install_.str() + "/" + lodzShown);
    fs::current_path(old);

    bool usable = false;
    UserValue("/home/" + mueller);
    EXPECT_EQ(DiscoverInstallationDir(&usable), "/home/" + mueller1252);
    EXPECT_TRUE(usable);
    EXPECT_EQ(VelundaDir, "/home/" + mueller1252);
    UserValue("/home/" + lodz);
    EXPECT_EQ(DiscoverInstallationDir(&usable), "/home/" + lodzShown);
    EXPECT_FALSE(usable);

    std::string unusable = "stale";
    WriteFile(install_.path() / "Network.cfg",
              "Path=/mnt/" + mueller + "\r\nFBConnect=server1:/srv/" + mueller + "\r\n");
    EXPECT_TRUE(LocateDataDir(install_.str(), &unusable));
    EXPECT_EQ(unusable, "");
    SetDatabaseDirs();
    EXPECT_EQ(DatabaseDir, "/mnt/" + mueller1252 + "/Database");
    EXPECT_EQ(ServerPath, "server1:/srv/" + mueller1252 + "/Database");
    WriteFile(install_.path() / "Network.cfg",
              "Path=/mnt/praxis\r\nFBConnect=server1:/srv/" + lodz + "\r\n");
    EXPECT_FALSE(LocateDataDir(install_.str(), &unusable));
    EXPECT_EQ(unusable, "server1:/srv/" + lodzShown);
    EXPECT_EQ(UnusablePathLine(unusable),
              "\x95 Der Pfad \"server1:/srv/" + lodzShown +
                  "\" enth\xE4lt Zeichen, die der Zeichensatz Windows-1252 nicht kennt; Tamaro "
                  "kann ihn nicht verwenden.");
}

}  // namespace
