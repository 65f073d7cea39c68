#include <gtest/gtest.h>

#include <filesystem>

#include "platform/OdbcDriverLocator.h"
#include "tests/fixtures/TestEnv.h"

namespace {

using testenv::TempDir;
using testenv::WriteFile;
namespace fs = std::filesystem;

const char* kBoth =
    "[ODBC]\nTrace=No\n\n"
    "# the project's drivers\n"
    "[Firebird/InterBase(r) driver]\nDriver = /opt/x/libtamarofb.so\n\n"
    "[microsoft access driver (*.mdb)]\nDriver64=/opt/x/libtamaroaccess.so\n";

TEST(OdbcDriverLocator, UsesTheRegistrationBesideTheProgramOnlyWhenUnixOdbcLacksTheDrivers) {
    TempDir dir("tamaro-locator");
    fs::path etc = dir.path() / "etc", home = dir.path() / "home";
    fs::path build = dir.path() / "build", installed = dir.path() / "usr";
    for (const fs::path& p : {etc, home, build / "odbc", build / "tamaro",
                              installed / "lib" / "tamaro" / "odbc", installed / "bin"})
        fs::create_directories(p);

    WriteFile(etc / "both.ini", kBoth);
    WriteFile(etc / "one.ini", "[Firebird/InterBase(r) driver]\nDriver=/opt/x/libtamarofb.so\n");
    WriteFile(etc / "empty-driver.ini",
              "[Firebird/InterBase(r) driver]\nDriver=\n[Microsoft Access Driver (*.mdb)]\n"
              "Driver=/x\n");
    EXPECT_TRUE(OdbcDriverLocator::RegistersDrivers((etc / "both.ini").string()));
    EXPECT_FALSE(OdbcDriverLocator::RegistersDrivers((etc / "one.ini").string()));
    EXPECT_FALSE(OdbcDriverLocator::RegistersDrivers((etc / "empty-driver.ini").string()));
    EXPECT_FALSE(OdbcDriverLocator::RegistersDrivers((etc / "missing.ini").string()));

    WriteFile(build / "odbc" / "odbcinst.ini", kBoth);
    WriteFile(installed / "lib" / "tamaro" / "odbc" / "odbcinst.ini", kBoth);
    std::string none = (etc / "missing.ini").string();
    auto folder = [&](const fs::path& exeDir, const fs::path& system, const fs::path& user) {
        return OdbcDriverLocator::RegistrationFolder(exeDir.string(), system.string(),
                                                     user.string());
    };
    // The build: build/tamaro/tamaro and build/tamaro-mkpractice.
    EXPECT_EQ(fs::canonical(build / "odbc").string(), folder(build / "tamaro", none, none));
    EXPECT_EQ(fs::canonical(build / "odbc").string(), folder(build, none, none));
    // An installation: P/lib/tamaro/tamaro and P/bin/tamaro-mkpractice.
    fs::path program = installed / "lib" / "tamaro";
    EXPECT_EQ(fs::canonical(program / "odbc").string(), folder(program, none, none));
    EXPECT_EQ(fs::canonical(program / "odbc").string(), folder(installed / "bin", none, none));
    // The system's or the user's registration wins; nothing beside: nothing.
    EXPECT_EQ("", folder(program, etc / "both.ini", none));
    EXPECT_EQ("", folder(program, etc / "one.ini", etc / "both.ini"));
    EXPECT_EQ("", folder(dir.path() / "elsewhere", etc / "one.ini", none));

    // An explicit ODBCSYSINI is left alone.
    setenv("ODBCSYSINI", "/somewhere", 1);
    EXPECT_EQ("", OdbcDriverLocator::UseRegistrationBesideProgram());
    EXPECT_STREQ("/somewhere", getenv("ODBCSYSINI"));
    unsetenv("ODBCSYSINI");
}

}  // namespace
