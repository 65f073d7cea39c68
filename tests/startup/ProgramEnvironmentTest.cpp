// The program as it meets a new machine: --help and --version without a
// display or a database, and the drivers found without any ODBC setting.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/fixtures/Practice.h"

#ifdef TAMARO_HAVE_PROGRAM
namespace {

using namespace testenv;

std::vector<std::string> EveryOption() {
    std::ifstream in(SourceDir() / "tests" / "packaging" / "program_options.txt");
    std::vector<std::string> options;
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) options.push_back(line);
    return options;
}

// Runs the program from its folder with no ODBC setting and no display.
int RunProgram(const std::string& arguments, std::string* out,
               const std::string& environment = "") {
    return RunCommand("cd '" + ProgramCopy().string() +
                          "' && env -u ODBCSYSINI -u ODBCINI -u ODBCINSTINI -u DISPLAY "
                          "-u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                          environment + " ./tamaro " + arguments + " </dev/null 2>&1",
                      out);
}

TEST(ProgramEnvironment, HelpAndVersionNeedNeitherDisplayNorDatabase) {
    TempDir cfg("tamaro-cfg");
    setenv("XDG_CONFIG_HOME", cfg.str().c_str(), 1);
    std::string help, version;
    EXPECT_EQ(0, RunProgram("--help", &help));
    EXPECT_EQ(0, RunProgram("--headless --version", &version));
    EXPECT_EQ("Tamaro V1.38\n", version);
    // The manual page writes each "-" of an option as "\-".
    std::string manual = ReadFile(SourceDir() / "packaging" / "tamaro.1");
    for (size_t p; (p = manual.find("\\-")) != std::string::npos;) manual.erase(p, 1);
    ASSERT_EQ(26u, EveryOption().size());
    for (const std::string& option : EveryOption()) {
        EXPECT_NE(std::string::npos, help.find(option)) << option << " missing in --help";
        EXPECT_NE(std::string::npos, manual.find(option)) << option << " missing in tamaro.1";
    }
    EXPECT_EQ(std::string::npos, help.find("Initialisierung")) << help;
}

TEST(ProgramEnvironment, FindsItsDriversWithoutOdbcSettingOrSaysWhyNot) {
    TempDir cfg("tamaro-cfg"), practice("tamaro-practice"), empty("tamaro-noodbc");
    setenv("XDG_CONFIG_HOME", cfg.str().c_str(), 1);
    ASSERT_TRUE(MakePractice(practice.path(), "fdb", 4));
    RegisterVelunda(practice.path());
    std::string out;
    EXPECT_EQ(0, RunProgram("--headless", &out)) << out;
    EXPECT_NE(std::string::npos, out.find("Gesamt: 4 Patienten\n")) << out;

    // A registration that does not name the drivers: each failed connection
    // is followed by the driver manager's reason.
    out.clear();
    EXPECT_EQ(1, RunProgram("--headless", &out, "ODBCSYSINI='" + empty.str() + "'"));
    EXPECT_NE(std::string::npos,
              out.find("Fehler beim Connect zu data.fdb\n[unixODBC][Driver Manager]Can't open lib "
                       "'Firebird/InterBase(r) driver' : file not found\nFehler beim Connect zu "
                       "ifap.fdb\n"))
        << out;
}

}  // namespace
#endif
