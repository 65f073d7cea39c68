// The headless login in a second process: the built program with the
// password on standard input or in a file, on practices of both kinds.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/fixtures/Practice.h"

#ifdef TAMARO_HAVE_PROGRAM
namespace {

using namespace testenv;

class HeadlessLoginTest : public testing::TestWithParam<std::string> {};

TEST_P(HeadlessLoginTest, CommandsRunOnlyAfterAConfirmedLogin) {
    UseBuiltDrivers();
    TempDir cfg("tamaro-cfg"), practice("tamaro-practice"), secrets("tamaro-secret");
    setenv("XDG_CONFIG_HOME", cfg.str().c_str(), 1);
    ASSERT_TRUE(MakePractice(practice.path(), GetParam(), 3));
    RegisterVelunda(practice.path());
    const std::string run = "cd '" + testenv::ProgramCopy().string() + "' && ";
    const std::string tamaro = "./tamaro --headless ";
    const auto contains = [](const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
    };

    std::string out;
    EXPECT_EQ(RunCommand(run + "echo geheim | " + tamaro + "--user mueller --archive 2 2>&1", &out),
              0)
        << out;
    EXPECT_TRUE(contains(out, "Datentransfer Velunda -> Archiv...")) << out;

    // Without a login no command runs; the refusal is on standard error.
    out.clear();
    EXPECT_EQ(RunCommand(run + tamaro + "--restore 2 </dev/null 2>&1 >/dev/null", &out), 1);
    EXPECT_TRUE(contains(out, "tamaro: Befehle nur nach der Anmeldung")) << out;

    // The dialog's messages go to standard error; a refused login ends with 1.
    const fs::path wrong = secrets.path() / "falsch", right = secrets.path() / "richtig";
    WriteFile(wrong, "GEHEIM\n");
    WriteFile(right, "geheim\r\n");
    out.clear();
    EXPECT_EQ(RunCommand(run + tamaro + "--user mueller --password-file '" + wrong.string() +
                             "' --restore 2 2>&1 >/dev/null",
                         &out),
              1);
    EXPECT_EQ(out, "[Meldung] Das Passwort ist nicht korrekt.\n");
    out.clear();
    EXPECT_EQ(
        RunCommand(run + "echo empfang | " + tamaro + "--user empfang --restore 2 2>&1", &out), 1);
    EXPECT_TRUE(
        contains(out, "[Meldung] Sie haben keine Berechtigung f\xc3\xbcr diese Funktion.\n"))
        << out;
    out.clear();
    // admin is not offered while doctors with a higher id have accounts.
    EXPECT_EQ(RunCommand(run + "echo admin | " + tamaro + "--user admin 2>&1", &out), 1);
    EXPECT_TRUE(contains(out, "[Meldung] Der Benutzer wurde nicht gefunden.\n")) << out;
    EXPECT_FALSE(contains(out, "Datentransfer")) << out;

    out.clear();
    EXPECT_EQ(RunCommand(run + tamaro + "--user mueller --password-file '" + right.string() +
                             "' --restore 2 2>&1",
                         &out),
              0)
        << out;
    EXPECT_TRUE(contains(out, "Datentransfer Archiv -> Velunda...")) << out;
}

INSTANTIATE_TEST_SUITE_P(Kinds, HeadlessLoginTest, testing::Values("fdb", "mdb"));

}  // namespace
#endif
