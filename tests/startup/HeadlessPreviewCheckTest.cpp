// "--dry-run" and "--check" of the headless mode, run as an administrator
// runs them, on practices of both kinds with the fixed cases of
// tamaro-mkpractice (Velunda lists 10 to 16; 1 to 9 have open business).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>

#include "core/Globals.h"
#include "db/DatabaseKind.h"
#include "db/DatabaseSet.h"
#include "db/ODBCStmt.h"
#include "tests/fixtures/Practice.h"

#ifdef TAMARO_HAVE_PROGRAM

using namespace testenv;

namespace {

class HeadlessPreviewCheckTest : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        UseBuiltDrivers();
        setenv("XDG_CONFIG_HOME", cfg_.str().c_str(), 1);
        setenv("TAMARO_LOCK_DIR", locks_.str().c_str(), 1);
        const fs::path cached = CachedPractice(GetParam(), 0, "--cases");
        ASSERT_FALSE(cached.empty());
        fs::copy(cached / "Database", practice_.path() / "Database", fs::copy_options::recursive);
        WriteFile(practice_.path() / "Network.cfg",
                  "Path=" + practice_.str() + "\nFBConnect=" + practice_.str() + "\n");
        RegisterVelunda(practice_.path());
        MakeProgramDir(program_.path());
    }
    void TearDown() override { unsetenv("TAMARO_LOCK_DIR"); }

    struct Result {
        int status;
        std::string out, err;
        bool Out(const std::string& part) const { return out.find(part) != std::string::npos; }
        bool Err(const std::string& part) const { return err.find(part) != std::string::npos; }
        // The lines that begin with prefix, in order.
        std::vector<std::string> Lines(const std::string& prefix) const {
            std::vector<std::string> lines;
            size_t at = 0;
            while (at < out.size()) {
                size_t end = out.find('\n', at);
                if (end == std::string::npos) end = out.size();
                if (out.compare(at, prefix.size(), prefix) == 0)
                    lines.push_back(out.substr(at, end - at));
                at = end + 1;
            }
            return lines;
        }
    };
    Result Run(const std::string& args) {
        const fs::path errFile = cfg_.path() / "stderr.txt";
        Result r;
        r.status =
            RunCommand("cd '" + program_.str() + "' && echo geheim | '" +
                           (testenv::ProgramDir() / "tamaro").string() +
                           "' --headless --user mueller " + args + " 2>'" + errFile.string() + "'",
                       &r.out);
        r.err = ReadFile(errFile);
        return r;
    }
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
    // Another workstation's run: a second process holding the run lock.
    pid_t HoldRunLock() {
        const std::string path = (practice_.path() / "Database" / "Tamaro.lock").string();
        int out[2];
        if (pipe(out) != 0) return -1;
        const pid_t child = fork();
        if (child == 0) {
            setpgid(0, 0);
            dup2(out[1], 1);
            close_range(3, ~0U, 0);
            execlp("flock", "flock", "-x", path.c_str(), "-c", "echo held; exec sleep 60",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        char c = 0;
        EXPECT_EQ(read(out[0], &c, 1), 1);
        close(out[0]);
        return child;
    }
    static void Release(pid_t holder) {
        kill(-holder, SIGKILL);
        waitpid(holder, nullptr, 0);
    }

    TempDir cfg_{"tamaro-cfg"}, practice_{"tamaro-practice"}, program_{"tamaro-prog"},
        locks_{"tamaro-locks"};
};

// "PLAN<TAB>Velunda.patienten<TAB>2" -> {"Velunda.patienten", 2}; the run's
// "• Velunda.patienten... (2 Einträge)" likewise, first occurrence.
std::map<std::string, long> PlanCounts(const std::vector<std::string>& lines) {
    std::map<std::string, long> counts;
    for (const std::string& line : lines) {
        const size_t tab = line.find('\t', 5);
        counts[line.substr(5, tab - 5)] = std::stol(line.substr(tab + 1));
    }
    return counts;
}
std::map<std::string, long> RunCounts(const std::vector<std::string>& lines) {
    std::map<std::string, long> counts;
    for (const std::string& line : lines) {
        const size_t dots = line.find("... (");
        if (dots != std::string::npos)
            counts.emplace(line.substr(4, dots - 4), std::stol(line.substr(dots + 5)));
    }
    return counts;
}

TEST_P(HeadlessPreviewCheckTest, DryRunPrintsWhatTheCommandMovesAndChangesNothing) {
    Result r = Run("--dry-run --archive 11,12 --list");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(r.Out("Vorschau: Datentransfer Velunda -> Archiv (2 Patienten)\n")) << r.out;
    const std::vector<std::string> plan = r.Lines("PLAN\t");
    ASSERT_EQ(plan.size(), 25u) << r.out;
    EXPECT_EQ(plan[0], "PLAN\tVelunda.patienten\t2");
    EXPECT_EQ(plan[16].rfind("PLAN\tIfap.docmed\t", 0), 0u);
    EXPECT_EQ(plan[23].rfind("PLAN\tKartei.data\t", 0), 0u);
    long total = 0;
    for (size_t i = 0; i + 1 < plan.size(); ++i)
        total += std::stol(plan[i].substr(plan[i].rfind('\t')));
    EXPECT_EQ(plan[24], "PLAN\ttotal\t" + std::to_string(total));
    EXPECT_FALSE(r.Err("[Frage]")) << r.err;
    EXPECT_TRUE(r.Out("LIST\t11\t")) << r.out;
    EXPECT_TRUE(r.Out("LIST\t12\t")) << r.out;
    for (const auto& entry : fs::directory_iterator(practice_.path() / "Database"))
        EXPECT_TRUE(entry.path().extension() == ".fdb" || entry.path().extension() == ".mdb" ||
                    entry.path().extension() == ".id")
            << entry.path();

    // The command then moves exactly these rows.
    r = Run("--archive 11,12");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    std::vector<std::string> tables = plan;
    tables.pop_back();
    EXPECT_EQ(RunCounts(r.Lines("\xe2\x80\xa2 ")), PlanCounts(tables)) << r.out;

    // Restore and delete previews on the archive side; --delete needs no --yes.
    r = Run("--dry-run --restore 12 --view archiv --dry-run --delete 11");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(r.Out("Vorschau: Datentransfer Archiv -> Velunda (1 Patienten)\n")) << r.out;
    EXPECT_TRUE(r.Out("Vorschau: Patienten l\xc3\xb6schen aus Archiv (1 Patienten)\n")) << r.out;
    EXPECT_EQ(r.Lines("PLAN\tArchiv.patienten\t1").size(), 2u) << r.out;
    EXPECT_EQ(r.Lines("PLAN\t").size(), 50u);
}

TEST_P(HeadlessPreviewCheckTest, DryRunIsRefusedAsTheCommandIsAndOnlyBeforeARun) {
    const std::string refusal =
        "[Meldung] Diese Patienten k\xc3\xb6nnen nicht archiviert werden:\n"
        "\xe2\x80\xa2 mehrfach angegeben: 11\n"
        "\xe2\x80\xa2 nicht in Velunda vorhanden: 99\n"
        "\xe2\x80\xa2 mit offenen Leistungen, Rechnungen, eDokus, leeren Scheinen "
        "oder Kassenbucheintr\xc3\xa4gen: 1\n"
        "Der Vorgang wird nicht gestartet.\n";
    Result r = Run("--dry-run --archive 1,11,99,11");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, refusal);
    EXPECT_FALSE(r.Out("PLAN")) << r.out;
    EXPECT_EQ(Run("--archive 1,11,99,11").err, refusal);

    for (const char* bad : {"--dry-run --list", "--dry-run", "--dry-run --info 11",
                            "--dry-run --dry-run --archive 11", "--dry-run --check",
                            "--dry-run --list --archive 11"}) {
        r = Run(bad);
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_EQ(r.out, "") << bad;
        EXPECT_EQ(r.err,
                  "tamaro: --dry-run gilt nur unmittelbar vor --archive, --restore oder --delete\n")
            << bad;
    }

    // A run of another workstation: preview and check wait for it as the
    // command does.
    const pid_t holder = HoldRunLock();
    const std::string busy =
        "[Meldung] Auf diesen Datenbanken l\xc3\xa4uft bereits ein Vorgang (Benutzer unbekannt "
        "auf Rechner unbekannt).\nBitte warten Sie, bis er beendet ist.\n";
    for (const char* args : {"--dry-run --archive 11", "--check", "--archive 11"}) {
        r = Run(args);
        EXPECT_EQ(r.status, 1) << args;
        // The command asks its question first.
        EXPECT_EQ(r.err.substr(r.err.find("[Meldung]")), busy) << args;
        EXPECT_EQ(r.err.find("[Frage]") == std::string::npos, std::string(args) != "--archive 11")
            << r.err;
        EXPECT_FALSE(r.Out("PLAN") || r.Out("CHECK")) << r.out;
    }
    Release(holder);
}

TEST_P(HeadlessPreviewCheckTest, CheckPrintsItsFindingsAndTheirStatus) {
    Result r = Run("--check");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.Lines("CHECK\t"), std::vector<std::string>{"CHECK\ttotal\t0\t0\t0"}) << r.out;
    EXPECT_TRUE(
        r.Out("Keine Befunde: jeder Patient liegt mit genau einem Patientensatz auf "
              "einer Seite.\n"))
        << r.out;

    // An archived patient with an appointment left in Velunda, a run in the
    // history naming a patient who is gone.
    ASSERT_EQ(Run("--archive 12").status, 0);
    Plant({{"data", "insert into termine (tid, pid) values (9001, 12)"},
           {"archiv", "insert into archist (datum,pidlist) values(1600000000,'12,777')"}});
    r = Run("--check --archive 11");
    EXPECT_EQ(r.status, 1);
    // Every table of the archive that holds rows of 12, in the archive's
    // order, after the one in Velunda.
    const std::vector<std::string> lines = r.Lines("CHECK\t");
    ASSERT_GE(lines.size(), 6u) << r.out;
    const size_t n = lines.size();
    EXPECT_EQ(lines[0], "CHECK\tboth\t12\tVelunda\tVelunda.termine\t1");
    EXPECT_EQ(lines[1], "CHECK\tboth\t12\tArchiv\tArchiv.patienten\t1");
    EXPECT_EQ(lines[2].rfind("CHECK\tboth\t12\tArchiv\tArchiv.abrechnungen\t", 0), 0u);
    for (size_t i = 1; i < n - 3; ++i)
        EXPECT_EQ(lines[i].rfind("CHECK\tboth\t12\tArchiv\tArchiv.", 0), 0u) << lines[i];
    EXPECT_EQ(lines[n - 3], "CHECK\torphan\t12\tVelunda\tVelunda.termine\t1");
    EXPECT_EQ(lines[n - 2], "CHECK\thistory\t777\tArchiv\tArchiv.archist\t1");
    const std::string findings = std::to_string(n - 2);
    EXPECT_EQ(lines[n - 1], "CHECK\ttotal\t" + findings + "\t1\t1");
    EXPECT_TRUE(r.Out(findings + " Befunde bei 1 Patienten.\n")) << r.out;
    // A command after a check with findings does not run.
    EXPECT_FALSE(r.Out("Datentransfer")) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Kinds, HeadlessPreviewCheckTest, ::testing::Values("fdb", "mdb"));

}  // namespace

#endif
