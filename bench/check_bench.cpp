// The consistency check on a practice of 50,000 patients, on embedded
// Firebird and on the Access kind, with 1,000 of them archived first (so that
// both sides and the history hold something). Prints the check's time
// against its target and against a reference running the same queries
// directly on the same files: isql-fb for Firebird, the sqlite3 shell for the
// Access kind (whose files are SQLite files).
//
// check_bench [BUILD_DIR] [PATIENTS] [fdb|mdb]
//   BUILD_DIR  the build folder (tamaro-mkpractice, odbc/, tamaro/tpl/);
//              default: the parent of this program's folder. The practices
//              are made once and kept in BUILD_DIR/bench-practices.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/runs/ConsistencyCheck.h"
#include "archive/rows/PidList.h"
#include "archive/runs/TransferPatients.h"
#include "core/ComboBox.h"
#include "core/Globals.h"
#include "core/LogRecorder.h"
#include "core/ScriptedWindowServices.h"
#include "db/DatabaseKind.h"
#include "db/DatabaseSet.h"
#include "users/AuditLog.h"

namespace fs = std::filesystem;

namespace {

constexpr int kArchived = 1000;

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// CPU seconds (user and system) of this process or of its waited-for
// children: on a shared machine steadier than the time on the clock.
double CpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int Run(const std::string& command) {
    int rc = std::system(command.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

bool Connected(DatabaseSet& set) {
    for (auto& db : set.Velunda)
        if (!Connect(db)) return false;
    return Connect(set.Archive);
}

void Disconnect(DatabaseSet& set) {
    TheAuditLog().SetConnection(nullptr);
    for (auto& db : set.Velunda) db.Connection.Disconnect();
    set.Archive.Connection.Disconnect();
}

bool RedLines(const LogRecorder& log) {
    for (const auto& line : log.Lines())
        if (line.colour == ColourRed) return true;
    return false;
}

void UseInstallation(const fs::path& practice) {
    VelundaDir = practice.string();
    DataDir = practice.string();
    DatabaseDir = (practice / "Database").string();
    ServerPath = DatabaseDir;
}

// A practice of `patients` patients with the first kArchived archived, made
// once per kind and size.
bool CachedPractice(const fs::path& build, const std::string& kind, int patients,
                    fs::path& practice) {
    practice = build / "bench-practices" / ("check-" + kind + "-" + std::to_string(patients));
    if (fs::exists(practice / "ready")) return true;
    // A practice made without its archive (by an interrupted earlier
    // benchmark, or by hand with the same options) is taken as it is.
    if (!fs::exists(practice / "Database" / ("data." + kind))) {
        fs::remove_all(practice);
        std::printf("making the practice (%s, %d patients; kept for later runs)...\n", kind.c_str(),
                    patients);
        std::fflush(stdout);
        if (Run((build / "tamaro-mkpractice").string() + " " + practice.string() + " --kind " +
                kind + " --patients " + std::to_string(patients) + " --seed 7 > /dev/null") != 0)
            return false;
    }
    fs::remove(practice / "Database" / ("archiv." + kind));
    fs::copy_file(build / "tamaro" / "tpl" / ("archiv." + kind),
                  practice / "Database" / ("archiv." + kind));
    UseInstallation(practice);
    LogRecorder log;
    SetLogSink(&log);
    DatabaseSet set;
    if (!Connected(set)) return false;
    TheAuditLog().SetConnection(&set.MainDatabase().Connection);
    TheAuditLog().SetModuleId(7);
    TheAuditLog().SetDataFolder(practice.string());
    std::string pids;
    for (int pid = 1; pid <= kArchived && pid <= patients; ++pid)
        pids += (pid > 1 ? "," : "") + std::to_string(pid);
    ComboBoxModel history;
    const bool archived = TransferPatients(set, history, pids) && !RedLines(log);
    Disconnect(set);
    SetLogSink(nullptr);
    if (!archived) {
        std::fprintf(stderr, "archiving the first patients failed:\n%s\n", log.Raw().c_str());
        return false;
    }
    std::ofstream(practice / "ready") << "ok\n";
    return true;
}

// The check's own queries, one script per database file.
std::vector<std::pair<std::string, std::string>> Scripts(const std::string& ext) {
    DatabaseSet set;
    std::vector<std::pair<std::string, std::string>> scripts;
    for (ArchiveDbPair* head : {set.VelundaList, set.ArchiveList}) {
        for (ArchiveDbPair* db = head; db; db = db->Next) {
            std::string sql;
            for (const std::string& table : SplitTableList(db->Tables))
                sql += "select pid, count(*) from " + table + " group by pid;\n";
            if (db == set.ArchiveList) sql += "select datum, pidlist from archist;\n";
            scripts.emplace_back(db->FileName + ext, sql);
        }
    }
    return scripts;
}

// The same queries through the engine's own shell; seconds, or -1, and the
// shell's CPU seconds.
double Reference(const fs::path& database, const fs::path& work, const std::string& kind,
                 double& cpu) {
    double seconds = 0;
    const double cpu0 = CpuSeconds(RUSAGE_CHILDREN);
    for (const auto& [file, sql] : Scripts("." + kind)) {
        const fs::path script = work / (file + ".sql");
        std::ofstream(script, std::ios::binary) << sql;
        const fs::path err = work / (file + ".err");
        const std::string command =
            kind == "fdb" ? "isql-fb -q -ch WIN1252 -user SYSDBA -password masterkey -i " +
                                script.string() + " " + (database / file).string()
                          : "sqlite3 " + (database / file).string() + " < " + script.string();
        const auto t0 = std::chrono::steady_clock::now();
        const int rc = Run(command + " > /dev/null 2>" + err.string());
        seconds += Seconds(t0);
        if (rc != 0 || fs::file_size(err) != 0) {
            std::fprintf(stderr, "the reference failed on %s (see %s)\n", file.c_str(),
                         err.c_str());
            return -1;
        }
    }
    cpu = CpuSeconds(RUSAGE_CHILDREN) - cpu0;
    return seconds;
}

bool Bench(const fs::path& build, const std::string& kind, int patients) {
    fs::path cached;
    if (!CachedPractice(build, kind, patients, cached)) return false;
    char tmpl[] = "/tmp/tamaro-check-bench-XXXXXX";
    if (!mkdtemp(tmpl)) return false;
    const fs::path work = tmpl;
    const fs::path practice = work / "practice";
    fs::copy(cached, practice, fs::copy_options::recursive);
    const fs::path database = practice / "Database";
    // Both read the files from the page cache.
    Run("cat " + database.string() + "/*." + kind + " > /dev/null");

    // The reference first: the embedded engine of this process would keep
    // the Firebird files from isql-fb.
    double referenceCpu = 0;
    const double reference = Reference(database, work, kind, referenceCpu);

    UseInstallation(practice);
    LogRecorder log;
    SetLogSink(&log);
    DatabaseSet set;
    bool ok = Connected(set);
    CheckReport report;
    const auto t0 = std::chrono::steady_clock::now();
    const double cpu0 = CpuSeconds(RUSAGE_SELF);
    ok = ok && CheckConsistency(set, report);
    const double seconds = Seconds(t0);
    const double cpu = CpuSeconds(RUSAGE_SELF) - cpu0;
    Disconnect(set);
    SetLogSink(nullptr);

    int64_t rows = 0;
    for (const auto& line : log.Lines()) {
        const size_t at = line.text.find("... (");
        // "\x95 Velunda.patienten... (50000 Eintr\xe4ge)" in code page 1252
        if (line.text.rfind("\x95 ", 0) == 0 && at != std::string::npos &&
            line.text.find(" Eintr") != std::string::npos)
            rows += std::atoll(line.text.c_str() + at + 5);
    }
    const double target = kind == "fdb" ? 10.0 : 5.0;
    std::printf("%s: %d patients, %lld rows, %d archived: check %s, %d findings, %d history pids\n",
                kind == "fdb" ? "embedded Firebird" : "Access kind", patients,
                static_cast<long long>(rows), kArchived, ok ? "ok" : "FAILED", report.findings,
                report.historyPids);
    std::printf("  check:     %.3f s  cpu %.3f s  (target <= %.0f s: %s)\n", seconds, cpu, target,
                seconds <= target ? "met" : "MISSED");
    if (reference > 0)
        std::printf("  %-9s  %.3f s  cpu %.3f s  ratio %.2f, by cpu %.2f\n",
                    kind == "fdb" ? "isql-fb:" : "sqlite3:", reference, referenceCpu,
                    seconds / reference, cpu / referenceCpu);
    if (!std::getenv("TAMARO_KEEP_TEMP")) fs::remove_all(work);
    return ok && report.findings == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path build = argc > 1
                               ? fs::path(argv[1])
                               : fs::read_symlink("/proc/self/exe").parent_path().parent_path();
    const int patients = argc > 2 ? std::atoi(argv[2]) : 50000;
    const std::string only = argc > 3 ? argv[3] : "";
    setenv("ODBCSYSINI", (build / "odbc").c_str(), 1);
    setenv("ODBCINI", (build / "odbc" / "odbc.ini").c_str(), 1);
    // The embedded engine's locks in a folder of the benchmark's own.
    const fs::path lock = build / "bench-practices" / "fblock";
    fs::create_directories(lock);
    setenv("FIREBIRD_LOCK", lock.c_str(), 1);
    ScriptedWindowServices boxes;
    SetWindowServices(&boxes);
    bool ok = true;
    for (const std::string kind : {"fdb", "mdb"})
        if (only.empty() || only == kind) ok = Bench(build, kind, patients) && ok;
    SetWindowServices(nullptr);
    return ok ? 0 : 1;
}
