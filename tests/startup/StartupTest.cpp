// The main window's start-up and shutdown on real practices of both kinds,
// with the log as the user would read it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <regex>

#include "core/CConfigFile.h"
#include "app/headless/CommandLine.h"
#include "core/Globals.h"
#include "app/headless/HeadlessView.h"
#include "core/LogRecorder.h"
#include "app/MainDialogCore.h"
#include "core/ScriptedWindowServices.h"
#include "app/VersionText.h"
#include "users/AuditLog.h"
#include "tests/fixtures/Practice.h"

using namespace testenv;

namespace {

const uint32_t kRed = ColourRed;

class StartupTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        UseBuiltDrivers();
        config_ = std::make_unique<TempDir>("tamaro-cfg");
        machine_ = std::make_unique<TempDir>("tamaro-xdg-dirs");
        setenv("XDG_CONFIG_HOME", config_->str().c_str(), 1);
        setenv("XDG_CONFIG_DIRS", machine_->str().c_str(), 1);
        program_ = std::make_unique<TempDir>("tamaro-prog");
        MakeProgramDir(program_->path());
        oldCwd_ = fs::current_path();
        fs::current_path(program_->path());
        SetLogSink(&log_);
        SetWindowServices(&boxes_);
        ::ProgramDir = VelundaDir = DataDir = DatabaseDir = ServerPath = "";
        AuditLog& audit = TheAuditLog();
        audit.SetConnection(nullptr);
        audit.SetDataFolder("");
        audit.SetModuleId(7);
    }
    void TearDown() override {
        TheAuditLog().SetConnection(nullptr);
        TheAuditLog().SaveAuditFile();
        TheAuditLog().SetDataFolder("");
        SetLogSink(nullptr);
        SetWindowServices(nullptr);
        fs::current_path(oldCwd_);
    }

    std::string Kind() const { return GetParam(); }
    std::string Ext() const { return "." + GetParam(); }

    // A practice of this test's kind, registered for the current user.
    fs::path Practice(int patients = 5) {
        practice_ = std::make_unique<TempDir>("tamaro-practice");
        EXPECT_TRUE(MakePractice(practice_->path(), Kind(), patients));
        RegisterVelunda(practice_->path());
        return practice_->path();
    }

    std::vector<std::string> Texts() const { return log_.Texts(); }

    LogRecorder log_;
    ScriptedWindowServices boxes_;
    HeadlessView view_;
    std::unique_ptr<TempDir> config_, machine_, program_, practice_;
    fs::path oldCwd_;
};

TEST_P(StartupTest, WithoutVelundaInstallationTheLogHasFiveLinesAndCommandsAreOff) {
    MainDialogCore core;
    bool loginShown = false;
    core.ShowLogin = [&](ODBCConnection&) { return loginShown = true; };
    ASSERT_TRUE(core.OnInitDialog(view_));

    auto lines = log_.Lines();
    ASSERT_EQ(lines.size(), 6u) << log_.Raw();
    EXPECT_EQ(lines[0].text, "Initialisierung...");
    EXPECT_EQ(lines[0].colour, ColourBlue);
    EXPECT_EQ(lines[1].text, "• " + GetVersionText());
    EXPECT_EQ(lines[2].text, "• Tamaro-Installation in " + program_->str());
    EXPECT_EQ(lines[3].text, "• Keine Velunda-Installation auf diesem Rechner gefunden.");
    EXPECT_EQ(lines[3].colour, kRed);
    EXPECT_TRUE(std::regex_match(lines[4].text, std::regex(R"(Bereit \(\d+\.\d{3}s\))")));
    EXPECT_EQ(lines[4].colour, ColourReady);
    EXPECT_EQ(lines[5].text, "");

    EXPECT_FALSE(view_.IsControlEnabled(IDC_F4));
    EXPECT_FALSE(view_.IsControlEnabled(IDC_F5));
    EXPECT_FALSE(view_.IsControlEnabled(IDC_F6));
    EXPECT_FALSE(view_.IsControlEnabled(IDC_ARCHIVE_RUNS));
    EXPECT_EQ(view_.CheckedView(), IDC_VIEW_VELUNDA);
    // Without an archive connection the history holds only "---", unselected.
    ASSERT_EQ(view_.ArchiveRuns().GetCount(), 1);
    EXPECT_EQ(view_.ArchiveRuns().GetCurSel(), -1);
    ASSERT_EQ(view_.PendingTimers(), std::vector<int>{4});

    core.OnTimer(4);
    EXPECT_FALSE(loginShown);
    EXPECT_EQ(view_.PendingTimers(), (std::vector<int>{4, 1}));
    core.OnDestroy();
}

TEST_P(StartupTest, WithoutDatabaseFolderTheProgramEnds) {
    TempDir install("tamaro-install");
    RegisterVelunda(install.path());
    MainDialogCore core;
    EXPECT_FALSE(core.OnInitDialog(view_));
    EXPECT_TRUE(view_.Ended());
    EXPECT_FALSE(view_.EndedOk());
    auto lines = log_.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().text,
              "Die installierte Velunda-Version ist zu alt, oder die aktuelle Version wurde noch "
              "nie gestartet.");
    EXPECT_EQ(lines.back().colour, kRed);
    EXPECT_EQ(DataDir, "");
    core.OnDestroy();
    // The settings are still saved when the dialog ended early.
    EXPECT_TRUE(fs::exists(program_->path() / "Tamaro.cfg"));
}

TEST_P(StartupTest, CleanStartCountsPatientsAndCopiesTheTemplate) {
    fs::path dir = Practice(7);
    ASSERT_FALSE(fs::exists(dir / "Database" / ("archiv" + Ext())));
    MainDialogCore core;
    ASSERT_TRUE(core.OnInitDialog(view_));
    EXPECT_EQ(core.Problems(), 0) << log_.Raw();
    EXPECT_TRUE(fs::exists(dir / "Database" / ("archiv" + Ext())));

    auto lines = log_.Lines();
    ASSERT_GE(lines.size(), 11u) << log_.Raw();
    EXPECT_EQ(lines[3].text, "• Velunda-Installation in " + dir.string());
    EXPECT_EQ(lines[4].text, "• Velunda-Datenbanken in " + dir.string() + "/Database");
    size_t n = lines.size();
    EXPECT_EQ(lines[n - 6].text, "");
    EXPECT_EQ(lines[n - 5].text, "Velunda: 7 Patienten");
    EXPECT_EQ(lines[n - 5].colour, ColourCount);
    EXPECT_EQ(lines[n - 4].text, "Archiv: 0 Patienten");
    EXPECT_EQ(lines[n - 4].colour, ColourCount);
    EXPECT_EQ(lines[n - 3].text, "Gesamt: 7 Patienten");
    EXPECT_EQ(lines[n - 3].colour, ColourCount);
    EXPECT_EQ(lines[n - 2].text.rfind("Bereit (", 0), 0u);
    EXPECT_TRUE(boxes_.Boxes().empty()) << boxes_.Texts()[0];
    EXPECT_TRUE(view_.IsControlEnabled(IDC_F4));
    ASSERT_EQ(view_.ArchiveRuns().GetCount(), 1);
    EXPECT_EQ(view_.ArchiveRuns().GetItemText(0), "---");
    EXPECT_EQ(view_.ArchiveRuns().GetCurSel(), 0);

    int logins = 0;
    core.ShowLogin = [&](ODBCConnection& c) {
        EXPECT_TRUE(c.IsOpen());
        ++logins;
        return true;
    };
    core.OnTimer(4);
    EXPECT_EQ(logins, 1);
    core.OnDestroy();
    EXPECT_FALSE(core.Databases().MainDatabase().Connection.IsOpen());
    EXPECT_FALSE(core.Databases().Archive.Connection.IsOpen());
}

TEST_P(StartupTest, MissingVelundaFileIsReportedAndTheArchiveSideStaysClosed) {
    fs::path dir = Practice();
    fs::remove(dir / "Database" / ("ifap" + Ext()));
    MainDialogCore core;
    ASSERT_TRUE(core.OnInitDialog(view_));
    EXPECT_NE(core.Problems(), 0);
    auto texts = Texts();
    // Without its Firebird file the database is taken for an Access file.
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Fehler beim Connect zu ifap.mdb"),
              texts.end())
        << log_.Raw();
    for (const auto& t : texts) EXPECT_EQ(t.rfind("Gesamt", 0), std::string::npos) << t;
    EXPECT_FALSE(core.Databases().Archive.Connection.IsOpen());
    // The template is copied all the same.
    EXPECT_TRUE(fs::exists(dir / "Database" / ("archiv" + Ext())));
    EXPECT_FALSE(view_.IsControlEnabled(IDC_F4));
    EXPECT_FALSE(view_.IsControlEnabled(IDC_F5));
    EXPECT_FALSE(view_.IsControlEnabled(IDC_F6));

    int logins = 0;
    core.ShowLogin = [&](ODBCConnection&) { return ++logins, true; };
    core.OnTimer(4);
    EXPECT_EQ(logins, 1);  // the main database is connected
    core.OnDestroy();
}

TEST_P(StartupTest, ClosingInTheArchiveViewStoresTheArchiveRange) {
    Practice();
    MainDialogCore core;
    ASSERT_TRUE(core.OnInitDialog(view_));
    core.Databases().SwapSides();
    view_.SetPickerTime(IDC_SERVICE_FROM, 1000000000);
    view_.SetPickerTime(IDC_SERVICE_TO, 1100000000);
    core.OnDestroy();

    CConfigFile cfg;
    ASSERT_TRUE(cfg.Load(program_->str() + "/Tamaro.cfg"));
    EXPECT_EQ(cfg.GetInt("Archiv.Min", -1), 1000000000);
    EXPECT_EQ(cfg.GetInt("Archiv.Max", -1), 1100000000);
    EXPECT_EQ(cfg.GetString("Velunda.Min", "none"), "none");
    EXPECT_EQ(testenv::ReadFile(program_->path() / "Tamaro.cfg"),
              "Archiv.Min=1000000000\r\nArchiv.Max=1100000000\r\n");
}

TEST_P(StartupTest, StoredVelundaRangeIsShownAtStart) {
    testenv::WriteFile(program_->path() / "Tamaro.cfg",
                       "Velunda.Min=700000000\r\nVelunda.Max=800000000\r\n");
    MainDialogCore core;
    ASSERT_TRUE(core.OnInitDialog(view_));
    EXPECT_EQ(view_.GetPickerTime(IDC_SERVICE_FROM), 700000000);
    EXPECT_EQ(view_.GetPickerTime(IDC_SERVICE_TO), 800000000);
    EXPECT_EQ(view_.GetPickerTime(IDC_ADMISSION_FROM), Jan1990Local());
    core.OnDestroy();
}

// Folders whose names are not ASCII: the log shows them as they are, every
// database opens, the archive copied from the template gets the permissions
// of the practice's database files, and the audit log lets go of the main
// database before its connection closes.
TEST_P(StartupTest, PracticeAndProgramInNonAsciiFolders) {
    practice_ = std::make_unique<TempDir>("tamaro-practice");
    const fs::path dir = practice_->path() / "Praxis M\xC3\xBCller";
    const std::string dir1252 = practice_->str() + "/Praxis M\xFCller";
    ASSERT_TRUE(MakePractice(dir, Kind(), 3));
    RegisterVelunda(dir);
    fs::permissions(dir / "Database" / ("data" + Ext()), fs::perms(0660));
    const fs::path prog = program_->path() / "Tamaro J\xC3\xB6rg";
    MakeProgramDir(prog);
    fs::current_path(prog);

    MainDialogCore core;
    ASSERT_TRUE(core.OnInitDialog(view_));
    EXPECT_EQ(core.Problems(), 0) << log_.Raw();
    auto texts = Texts();
    ASSERT_GE(texts.size(), 5u);
    EXPECT_EQ(texts[2], "• Tamaro-Installation in " + program_->str() + "/Tamaro J\xF6rg");
    EXPECT_EQ(texts[3], "• Velunda-Installation in " + dir1252);
    EXPECT_EQ(texts[4], "• Velunda-Datenbanken in " + dir1252 + "/Database");
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Gesamt: 3 Patienten"), texts.end())
        << log_.Raw();
    const fs::path archive = dir / "Database" / ("archiv" + Ext());
    ASSERT_TRUE(fs::exists(archive));
    EXPECT_EQ(fs::status(archive).permissions(), fs::perms(0660));

    EXPECT_EQ(TheAuditLog().Connection(), &core.Databases().MainDatabase().Connection);
    core.OnDestroy();
    EXPECT_EQ(TheAuditLog().Connection(), nullptr);
    EXPECT_TRUE(fs::exists(prog / "Tamaro.cfg"));
    EXPECT_EQ(testenv::ReadFile(fs::path(config_->path()) / "Kvarn" / "Tamaro.conf"),
              "Path=" + prog.string() + "\r\n");
}

TEST_P(StartupTest, FolderThatCodePage1252CannotHoldIsNamedInRed) {
    practice_ = std::make_unique<TempDir>("tamaro-practice");
    const fs::path dir = practice_->path() / "Praxis \xC5\x81\xC3\xB3" "d\xC5\xBA";
    fs::create_directories(dir / "Database");
    RegisterVelunda(dir);
    MainDialogCore core;
    ASSERT_TRUE(core.OnInitDialog(view_));
    EXPECT_NE(core.Problems(), 0);
    const std::string shown = practice_->str() + "/Praxis <U+0141>\xF3" "d<U+017A>";
    auto lines = log_.Lines();
    ASSERT_EQ(lines.size(), 7u) << log_.Raw();
    EXPECT_EQ(lines[3].text, "• Velunda-Installation in " + shown);
    EXPECT_EQ(lines[4].text, "• Der Pfad \"" + shown +
                                 "\" enthält Zeichen, die der Zeichensatz Windows-1252 nicht "
                                 "kennt; Tamaro kann ihn nicht verwenden.");
    EXPECT_EQ(lines[4].colour, kRed);
    EXPECT_EQ(lines[5].text.rfind("Bereit (", 0), 0u);
    EXPECT_FALSE(view_.IsControlEnabled(IDC_F4));
    EXPECT_TRUE(boxes_.Boxes().empty());
    core.OnDestroy();
}

INSTANTIATE_TEST_SUITE_P(Kinds, StartupTest, ::testing::Values("fdb", "mdb"));

TEST(StartupMixedKinds, MixedKindIsReportedOnceAndTheArchiveIsNotOpened) {
    UseBuiltDrivers();
    TempDir cfg("tamaro-cfg"), prog("tamaro-prog"), fdb("tamaro-fdb"), mdb("tamaro-mdb");
    setenv("XDG_CONFIG_HOME", cfg.str().c_str(), 1);
    MakeProgramDir(prog.path());
    fs::path old = fs::current_path();
    fs::current_path(prog.path());
    ASSERT_TRUE(MakePractice(fdb.path(), "fdb", 2));
    ASSERT_TRUE(MakePractice(mdb.path(), "mdb", 2));
    fs::remove(fdb.path() / "Database" / "ifap.fdb");
    fs::copy_file(mdb.path() / "Database" / "ifap.mdb", fdb.path() / "Database" / "ifap.mdb");
    RegisterVelunda(fdb.path());

    LogRecorder log;
    SetLogSink(&log);
    HeadlessView view;
    {
        MainDialogCore core;
        ASSERT_TRUE(core.OnInitDialog(view));
        EXPECT_EQ(core.Databases().Velunda[1].Extension, ".mdb");
        EXPECT_FALSE(core.Databases().Archive.Connection.IsOpen());
        core.OnDestroy();
    }
    SetLogSink(nullptr);
    int mixed = 0;
    for (const auto& l : log.Lines())
        if (l.text == "Der Tamaro unterstützt keinen Mischbetrieb von Access- und "
                      "Firebird-Datenbanken.") {
            ++mixed;
            EXPECT_EQ(l.colour, ColourRed);
        }
    EXPECT_EQ(mixed, 1) << log.Raw();
    TheAuditLog().SetConnection(nullptr);
    TheAuditLog().SetDataFolder("");
    fs::current_path(old);
}

TEST(StartupCommandLine, AidAndPidAreReadCaseSensitivelyInAnyOrder) {
    int32_t aid = -1, pid = -1;
    ParseCommandLine("PID=77 AID=3", aid, pid);
    EXPECT_EQ(aid, 3);
    EXPECT_EQ(pid, 77);
    aid = pid = -1;
    ParseCommandLine("pid=77", aid, pid);
    EXPECT_EQ(pid, -1);
    ParseCommandLine("AID=", aid, pid);
    EXPECT_EQ(aid, 0);
}

TEST(StartupVersion, VersionTextFromTheFourNumbers) {
    EXPECT_EQ(FormatVersionText(1, 38, 0), "Tamaro V1.38");
    EXPECT_EQ(FormatVersionText(1, 0, 1), "Tamaro V1.00 Beta 1");
    EXPECT_EQ(GetVersionText(), "Tamaro V1.38");
}

#ifdef TAMARO_HAVE_PROGRAM
TEST(StartupHeadless, HeadlessStartPrintsTheLogAndExitsZero) {
    UseBuiltDrivers();
    TempDir cfg("tamaro-cfg"), practice("tamaro-practice");
    setenv("XDG_CONFIG_HOME", cfg.str().c_str(), 1);
    ASSERT_TRUE(MakePractice(practice.path(), "fdb", 3));
    RegisterVelunda(practice.path());
    std::string out;
    int status = RunCommand(
        "cd '" + testenv::ProgramCopy().string() + "' && ./tamaro --headless 2>&1", &out);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("Initialisierung...\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Velunda: 3 Patienten\nArchiv: 0 Patienten\nGesamt: 3 Patienten\n"),
              std::string::npos)
        << out;

    TempDir empty("tamaro-cfg2");
    setenv("XDG_CONFIG_HOME", empty.str().c_str(), 1);
    out.clear();
    status = RunCommand("cd '" + testenv::ProgramCopy().string() + "' && ./tamaro --headless 2>&1",
                        &out);
    EXPECT_EQ(status, 1) << out;
    // Standard output is UTF-8: the bullet is E2 80 A2 there.
    EXPECT_NE(out.find("\xe2\x80\xa2 Keine Velunda-Installation auf diesem Rechner gefunden.\n"),
              std::string::npos)
        << out;
}
#endif

}  // namespace

#ifdef TAMARO_HAVE_PROGRAM
namespace {

class HeadlessRunTest : public ::testing::TestWithParam<std::string> {};

TEST_P(HeadlessRunTest, ArchiveThenRestoreThroughTheCommandLine) {
    UseBuiltDrivers();
    TempDir cfg("tamaro-cfg"), practice("tamaro-practice");
    setenv("XDG_CONFIG_HOME", cfg.str().c_str(), 1);
    ASSERT_TRUE(MakePractice(practice.path(), GetParam(), 6));
    RegisterVelunda(practice.path());
    const std::string run = "cd '" + testenv::ProgramCopy().string() +
                            "' && echo geheim | ./tamaro --headless --user mueller ";

    std::string out;
    int status = RunCommand(run + "--archive 2,5,3 2>&1", &out);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("Datentransfer Velunda -> Archiv...\n"), std::string::npos) << out;

    out.clear();
    status = RunCommand(run + "2>&1", &out);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("Velunda: 3 Patienten\nArchiv: 3 Patienten\nGesamt: 6 Patienten\n"),
              std::string::npos)
        << out;

    out.clear();
    status = RunCommand(run + "--restore 5,2,3 2>&1", &out);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("Datentransfer Archiv -> Velunda...\n"), std::string::npos) << out;

    out.clear();
    status = RunCommand(run + "2>&1", &out);
    EXPECT_NE(out.find("Velunda: 6 Patienten\nArchiv: 0 Patienten\n"), std::string::npos) << out;

    // A list that is no list of ids never reaches the databases.
    out.clear();
    status = RunCommand(run + "--archive '1) or (1=1' 2>&1", &out);
    EXPECT_EQ(status, 1) << out;
    EXPECT_EQ(out.find("Datentransfer"), std::string::npos) << out;
}

INSTANTIATE_TEST_SUITE_P(Kinds, HeadlessRunTest, ::testing::Values("fdb", "mdb"));

}  // namespace
#endif
