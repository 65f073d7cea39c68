// The start-up block that keeps the archive current: version upgrade and
// schema synchronisation before the totals, then the notes migration and the
// lookup lists whatever happened before.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "app/headless/HeadlessView.h"
#include "app/MainDialogCore.h"
#include "archive/rows/StatementObserver.h"
#include "core/Globals.h"
#include "core/LogRecorder.h"
#include "core/ScriptedWindowServices.h"
#include "db/DatabaseKind.h"
#include "db/ODBCStmt.h"
#include "tests/fixtures/Practice.h"
#include "users/AuditLog.h"

using namespace testenv;

namespace {

void Record(const ArchiveDbPair&, const std::string& sql, void* context) {
    static_cast<std::vector<std::string>*>(context)->push_back(sql);
}

std::string Tool() {
    return "ODBCSYSINI='" + (BuildDir() / "odbc").string() + "' '" +
           (BuildDir() / "tamaro-mkpractice").string() + "'";
}

// A current archive in line with the live schema costs no statement; one at
// a version beyond the program's stops the upgrade, the synchronisation and
// the totals, yet old notes still move and the lists are still filled.
TEST(StartupMaintenance, VersionConflictSkipsTheTotalsButNotTheNotesAndLists) {
    UseBuiltDrivers();
    TempDir cfg("tamaro-cfg"), prog("tamaro-prog"), practice("tamaro-practice");
    setenv("XDG_CONFIG_HOME", cfg.str().c_str(), 1);
    MakeProgramDir(prog.path());
    const fs::path old = fs::current_path();
    fs::current_path(prog.path());
    ASSERT_TRUE(MakePractice(practice.path(), "fdb", 3));
    RegisterVelunda(practice.path());
    LogRecorder log;
    ScriptedWindowServices boxes;
    std::vector<std::string> statements;
    SetLogSink(&log);
    SetWindowServices(&boxes);
    SetStatementObserver(Record, &statements);
    auto has = [&](const std::string& text) {
        for (const auto& line : log.Lines())
            if (line.text == text) return true;
        return false;
    };
    for (int start = 1; start <= 2; ++start) {
        HeadlessView view;
        MainDialogCore core;
        ASSERT_TRUE(core.OnInitDialog(view));
        if (start == 1) {
            EXPECT_EQ(core.Problems(), 0) << log.Raw();
            EXPECT_TRUE(statements.empty()) << statements[0];
            EXPECT_TRUE(has("Gesamt: 3 Patienten")) << log.Raw();
            ODBCStmt stmt(core.Databases().Archive.Connection);
            EXPECT_TRUE(stmt.ExecDirect("update dbv set val=69"));
            stmt.Reset();
            EXPECT_TRUE(
                stmt.ExecDirect("insert into notizen (nid, pid, aid, datum, notiz) values (1, 2, "
                                "2, 1000000000, 'Alte Notiz')"));
            stmt.Reset();
            log.Clear();
        } else {
            EXPECT_NE(core.Problems(), 0);
            auto lines = log.Lines();
            auto conflict = std::find_if(lines.begin(), lines.end(), [](const auto& l) {
                return l.text == "Versionskonflikt.";
            });
            ASSERT_NE(conflict, lines.end()) << log.Raw();
            EXPECT_EQ(conflict->colour, ColourRed);
            EXPECT_EQ((conflict + 1)->text.rfind("Die Archivdatenbank ", 0), 0u) << log.Raw();
            EXPECT_EQ((conflict + 2)->text.rfind("Bereit (", 0), 0u) << log.Raw();
            EXPECT_FALSE(has("Gesamt: 3 Patienten"));
            EXPECT_FALSE(view.IsControlEnabled(IDC_F4));
            EXPECT_FALSE(view.IsControlEnabled(IDC_F5));
            EXPECT_FALSE(view.IsControlEnabled(IDC_F6));
            ASSERT_EQ(statements.size(), 2u);
            EXPECT_EQ(statements[0].rfind("insert into data (did, pid, aid, cid, datum, txt, ", 0),
                      0u);
            EXPECT_EQ(statements[1], "delete from notizen where nid in (1)");
            EXPECT_EQ(view.ArchiveRuns().GetItemText(0), "---");
            EXPECT_EQ(view.ArchiveRuns().GetCurSel(), 0);
        }
        core.OnDestroy();
    }
    SetStatementObserver(nullptr, nullptr);
    TheAuditLog().SetConnection(nullptr);
    TheAuditLog().SetDataFolder("");
    SetLogSink(nullptr);
    SetWindowServices(nullptr);
    fs::current_path(old);
}

struct OldArchive {
    const char* kind;
    int version;
};

// A practice of three patients whose archive an older release wrote.
class HeadlessOnOldArchive : public ::testing::TestWithParam<OldArchive> {
  protected:
    void SetUp() override {
        UseBuiltDrivers();
        setenv("XDG_CONFIG_HOME", cfg_.str().c_str(), 1);
        const std::string kind = GetParam().kind;
        ASSERT_TRUE(MakePractice(practice_.path(), kind, 3));
        RegisterVelunda(practice_.path());
        archive_ = (database_ / ("archiv." + kind)).string();
        ASSERT_EQ(RunCommand(Tool() + " --old-archive '" + archive_ + "' --version " +
                             std::to_string(GetParam().version)),
                  0);
    }

    TempDir cfg_{"tamaro-cfg"}, practice_{"tamaro-practice"};
    const fs::path database_ = practice_.path() / "Database";
    std::string archive_;
};

// The program itself, started headless on a practice whose archive comes
// from an older release, brings the archive to 68 and writes the totals.
TEST_P(HeadlessOnOldArchive, EndsAtTheCurrentVersionWithTheTotals) {
    std::string out;
    const int status = RunCommand(
        "cd '" + testenv::ProgramCopy().string() + "' && ./tamaro --headless 2>&1", &out);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("\nVelunda: 3 Patienten\nArchiv: 0 Patienten\nGesamt: 3 Patienten\n"),
              std::string::npos)
        << out;

    ::DatabaseDir = database_.string();
    ::ServerPath = ::DatabaseDir;
    ArchiveDbPair pair("Archiv", "archiv", "");
    ASSERT_TRUE(Connect(pair));
    int32_t version = 0;
    {
        ODBCStmt stmt(pair.Connection);
        EXPECT_TRUE(stmt.ExecDirect("select val from dbv") && stmt.Fetch() &&
                    stmt.GetColumnInt(1, version));
    }
    EXPECT_EQ(version, 68);
    pair.Connection.Disconnect();
}

// Killed in the middle of the upgrade, at steps spread over the ladder:
// every next start puts the archive back from its backup and upgrades it
// again, and the last one ends at 68 with the totals.
TEST_P(HeadlessOnOldArchive, KilledUpgradeIsPutBackAndDoneAgain) {
    const fs::path& database = database_;
    const std::string& archive = archive_;
    const int steps = 68 - GetParam().version;
    const std::string start = "cd '" + testenv::ProgramCopy().string() + "' && ";
    std::string out;
    for (int step : {1, (steps + 1) / 2, steps}) {
        SCOPED_TRACE(step);
        EXPECT_EQ(RunCommand(start + "TAMARO_RUN_KILL_AT=upgrade:" + std::to_string(step) +
                                 " ./tamaro --headless 2>&1",
                             &out),
                  128 + 9)
            << out;
        EXPECT_TRUE(fs::exists(database / "Tamaro.journal"));
        EXPECT_TRUE(fs::exists(archive + ".bak"));
    }
    EXPECT_EQ(RunCommand(start + "./tamaro --headless 2>&1", &out), 1) << out;
    const auto found = out.find(
        "\xe2\x80\xa2 Unterbrochener Vorgang gefunden: Wartung der Archivdatenbank, begonnen am ");
    EXPECT_NE(found, std::string::npos) << out;
    EXPECT_NE(out.find("\xe2\x80\xa2 Die Archivdatenbank wurde aus der Datensicherung "
                       "wiederhergestellt (Stand vor der Wartung); die Wartung wird wiederholt.",
                       found),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("\nVelunda: 3 Patienten\nArchiv: 0 Patienten\nGesamt: 3 Patienten\n"),
              std::string::npos)
        << out;
    EXPECT_FALSE(fs::exists(database / "Tamaro.journal"));
    EXPECT_FALSE(fs::exists(archive + ".bak"));
    // The start after it has nothing to change: no backup, no report.
    EXPECT_EQ(RunCommand(start + "./tamaro --headless 2>&1", &out), 0) << out;
}

INSTANTIATE_TEST_SUITE_P(Releases, HeadlessOnOldArchive,
                         ::testing::Values(OldArchive{"mdb", 0}, OldArchive{"fdb", 47},
                                           OldArchive{"fdb", 67}),
                         [](const auto& info) {
                             return std::string(info.param.kind) +
                                    std::to_string(info.param.version);
                         });

}  // namespace
