#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "core/Globals.h"
#include "platform/Registry.h"
#include "tests/fixtures/TestEnv.h"

namespace {

namespace fs = std::filesystem;
using testenv::ReadFile;
using testenv::TempDir;
using testenv::WriteFile;

class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("XDG_CONFIG_HOME", user_.str().c_str(), 1);
        machineDirs_ = machineA_.str() + ":" + machineB_.str();
        setenv("XDG_CONFIG_DIRS", machineDirs_.c_str(), 1);
    }
    void Put(const TempDir& root, const std::string& text,
             const std::string& file = "Velunda.conf") {
        fs::create_directories(root.path() / "Kvarn");
        WriteFile(root.path() / "Kvarn" / file, text);
    }
    TempDir user_, machineA_, machineB_;
    std::string machineDirs_;
};

TEST_F(RegistryTest, ReadsEachRootFromItsOwnFile) {
    Put(user_, "path=/home/praxis/velunda\r\n");
    Put(machineB_, "; machine-wide\r\nPath=/opt/velunda\r\n");
    EXPECT_EQ(ReadVelundaPath(RegistryRoot::CurrentUser), "/home/praxis/velunda");
    // The first folder of XDG_CONFIG_DIRS holds no file; the second one counts.
    EXPECT_EQ(ReadVelundaPath(RegistryRoot::LocalMachine), "/opt/velunda");
    Put(machineA_, "path=/srv/first\n");
    EXPECT_EQ(ReadVelundaPath(RegistryRoot::LocalMachine), "/srv/first");
}

TEST_F(RegistryTest, MissingFileOrValueReadsEmpty) {
    EXPECT_EQ(ReadVelundaPath(RegistryRoot::CurrentUser), "");
    EXPECT_EQ(ReadVelundaPath(RegistryRoot::LocalMachine), "");
    Put(user_, "other=1\r\n");
    EXPECT_EQ(ReadVelundaPath(RegistryRoot::CurrentUser), "");
}

TEST_F(RegistryTest, ValueMustFitTheQueryBuffer) {
    Put(user_, "path=" + std::string(255, 'a') + "\r\n");
    EXPECT_EQ(ReadVelundaPath(RegistryRoot::CurrentUser), std::string(255, 'a'));
    Put(user_, "path=" + std::string(256, 'a') + "\r\n");
    EXPECT_EQ(ReadVelundaPath(RegistryRoot::CurrentUser), "");
    Put(user_, std::string("path=/a\0b\r\n", 11));
    EXPECT_EQ(ReadVelundaPath(RegistryRoot::CurrentUser), "/a");
}

TEST_F(RegistryTest, DefaultMachineFolderIsEtcXdg) {
    unsetenv("XDG_CONFIG_DIRS");
    const std::string file = VelundaKeyFile(RegistryRoot::LocalMachine);
    EXPECT_TRUE(file.empty() || file == "/etc/xdg/Kvarn/Velunda.conf");
}

TEST_F(RegistryTest, WriteProgramPathCreatesFoldersAndKeepsOtherLines) {
    const std::string old = ProgramDir;
    ProgramDir = "/opt/tamaro";
    WriteProgramPath();
    EXPECT_EQ(ReadFile(user_.path() / "Kvarn" / "Tamaro.conf"), "Path=/opt/tamaro\r\n");
    Put(user_, "Sprache=de\r\nPath=/old\r\n", "Tamaro.conf");
    ProgramDir = "/srv/tamaro";
    WriteProgramPath();
    EXPECT_EQ(ReadFile(user_.path() / "Kvarn" / "Tamaro.conf"),
              "Sprache=de\r\nPath=/srv/tamaro\r\n");
    ProgramDir = old;
}

}  // namespace
