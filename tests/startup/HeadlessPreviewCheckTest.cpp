// "--dry-run" and "--check" of the headless mode, run as an administrator
// runs them, on practices of both kinds with the fixed cases of
// tamaro-mkpractice (Velunda lists 10 to 16; 1 to 9 have open business).
#include <gtest/gtest.h>

#include <sstream>

#include "core/Globals.h"
#include "db/DatabaseKind.h"
#include "db/DatabaseSet.h"
#include "db/ODBCStmt.h"
#include "tests/fixtures/HeadlessProgram.h"
#include "tests/fixtures/LockHeldElsewhere.h"

#ifdef TAMARO_HAVE_PROGRAM

using namespace testenv;

namespace {

class HeadlessPreviewCheckTest : public HeadlessProgramTest {
  protected:
    // Runs statements on databases of the practice from this process, and
    // lets go of them before the program starts.
    void Plant(const std::vector<std::pair<std::string, std::string>>& statements) {
        ::VelundaDir = ::DataDir = practice_.str();
        ::DatabaseDir = ::ServerPath = (practice_.path() / "Database").string();
        DatabaseSet set;
        for (const auto& [file, sql] : statements) {
            ArchiveDbPair& db = file == "archiv" ? set.Archive : set.Velunda[0];
            if (!db.Connection.IsOpen()) {
                ASSERT_TRUE(Connect(db)) << file;
            }
            ODBCStmt stmt(db.Connection);
            ASSERT_TRUE(stmt.ExecDirect(sql)) << sql;
        }
        set.Archive.Connection.Disconnect();
        set.Velunda[0].Connection.Disconnect();
    }
};

TEST_P(HeadlessPreviewCheckTest, DryRunPrintsThePlanIsRefusedAsTheCommandAndChangesNothing) {
    HeadlessResult r = Run("--dry-run --archive 11,12 --list");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(r.Out("Vorschau: Datentransfer Velunda -> Archiv (2 Patienten)\n")) << r.out;
    const std::vector<std::string> plan = r.Lines("PLAN\t");
    ASSERT_EQ(plan.size(), 25u) << r.out;
    EXPECT_EQ(plan[0], "PLAN\tVelunda.patienten\t2");
    EXPECT_EQ(plan[23].rfind("PLAN\tKartei.data\t", 0), 0u);
    long total = 0;
    for (size_t i = 0; i + 1 < plan.size(); ++i)
        total += std::stol(plan[i].substr(plan[i].rfind('\t')));
    EXPECT_EQ(plan[24], "PLAN\ttotal\t" + std::to_string(total));
    EXPECT_EQ(r.err, "");  // no question
    EXPECT_TRUE(r.Out("LIST\t11\t") && r.Out("LIST\t12\t")) << r.out;
    for (const auto& entry : fs::directory_iterator(practice_.path() / "Database"))
        EXPECT_NE(entry.path().extension(), ".bak") << entry.path();

    // The previews of the archive side; --delete needs no --yes for it.
    ASSERT_EQ(Run("--archive 11,12").status, 0);
    r = Run("--dry-run --restore 12 --view archiv --dry-run --delete 11");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(r.Out("Vorschau: Datentransfer Archiv -> Velunda (1 Patienten)\n")) << r.out;
    EXPECT_TRUE(r.Out("Vorschau: Patienten l\xc3\xb6schen aus Archiv (1 Patienten)\n")) << r.out;
    EXPECT_EQ(r.Lines("PLAN\tArchiv.patienten\t1").size(), 2u) << r.out;

    // Refused with the command's own message, and only right before a run.
    r = Run("--dry-run --restore 12,99,12");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, Run("--restore 12,99,12").err);
    EXPECT_TRUE(r.Err("mehrfach angegeben: 12\n")) << r.err;
    EXPECT_FALSE(r.Out("PLAN")) << r.out;
    for (const char* bad : {"--dry-run", "--dry-run --check", "--dry-run --list --archive 13"}) {
        r = Run(bad);
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_EQ(r.out, "") << bad;
        EXPECT_EQ(r.err,
                  "tamaro: --dry-run gilt nur unmittelbar vor --archive, --restore oder --delete\n")
            << bad;
    }

    // After a start that reported a problem the preview is refused as its
    // run is.
    Plant({{"archiv", "update dbv set val=69"}});
    const std::string refused =
        ": nicht ausgef\xc3\xbchrt, weil der Start Fehler gemeldet hat "
        "(siehe Protokoll)\n";
    r = Run("--dry-run --archive 11");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tamaro: --dry-run --archive 11" + refused);
    EXPECT_FALSE(r.Out("PLAN") || r.Out("Vorschau")) << r.out;
    EXPECT_EQ(Run("--archive 11").err, "tamaro: --archive 11" + refused);
}

TEST_P(HeadlessPreviewCheckTest, CheckPrintsItsFindingsWithTheirStatusAndWaitsForARun) {
    HeadlessResult r = Run("--check");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.Lines("CHECK\t"), std::vector<std::string>{"CHECK\ttotal\t0\t0\t0"}) << r.out;

    // An archived patient with an appointment left in Velunda, a run in the
    // history naming a patient who is gone.
    ASSERT_EQ(Run("--archive 12").status, 0);
    Plant({{"data", "insert into termine (tid, pid) values (9001, 12)"},
           {"archiv", "insert into archist (datum,pidlist) values(1600000000,'12,777')"}});
    r = Run("--check --dry-run --delete 11 --archive 11");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(
        r.Err("tamaro: --dry-run --delete 11: nicht ausgef\xc3\xbchrt, weil ein Befehl "
              "davor fehlgeschlagen ist\n"))
        << r.err;
    EXPECT_FALSE(r.Out("PLAN")) << r.out;
    // Every table of the archive that holds rows of 12 follows the one in Velunda.
    const std::vector<std::string> lines = r.Lines("CHECK\t");
    ASSERT_GE(lines.size(), 6u) << r.out;
    const size_t n = lines.size();
    EXPECT_EQ(lines[0], "CHECK\tboth\t12\tVelunda\tVelunda.termine\t1");
    EXPECT_EQ(lines[1], "CHECK\tboth\t12\tArchiv\tArchiv.patienten\t1");
    for (size_t i = 1; i < n - 3; ++i)
        EXPECT_EQ(lines[i].rfind("CHECK\tboth\t12\tArchiv\tArchiv.", 0), 0u) << lines[i];
    EXPECT_EQ(lines[n - 3], "CHECK\torphan\t12\tVelunda\tVelunda.termine\t1");
    EXPECT_EQ(lines[n - 2], "CHECK\thistory\t777\tArchiv\tArchiv.archist\t1");
    EXPECT_EQ(lines[n - 1], "CHECK\ttotal\t" + std::to_string(n - 2) + "\t1\t1");
    EXPECT_FALSE(r.Out("Datentransfer")) << r.out;  // no run after a finding

    // A run of another workstation: preview and check wait for it as the
    // command does.
    testenv::LockHeldElsewhere holder((practice_.path() / "Database" / "Tamaro.lock").string());
    ASSERT_TRUE(holder.Held());
    for (const char* args : {"--dry-run --archive 11", "--check"}) {
        r = Run(args);
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_EQ(r.err,
                  "[Meldung] Auf diesen Datenbanken l\xc3\xa4uft bereits ein Vorgang (Benutzer "
                  "unbekannt auf Rechner unbekannt).\nBitte warten Sie, bis er beendet ist.\n")
            << args;
        EXPECT_FALSE(r.Out("PLAN") || r.Out("CHECK")) << r.out;
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, HeadlessPreviewCheckTest, ::testing::Values("fdb", "mdb"));

}  // namespace

#endif
