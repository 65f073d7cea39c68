// Archives demo patients on embedded Firebird and prints, for each size:
// rows per second of the run, the file backups against `cp` of the same
// files, the whole run against isql-fb executing the run's own insert and
// delete statements, and its counts and selects, in one transaction per
// database (the engine's floor)
// and, for reference on runs up to 1,000 patients, each committed on its
// own, and the process's peak
// memory during the run.
//
// archive_bench [BUILD_DIR] [PATIENTS,...]
//   BUILD_DIR  the build folder (tamaro-mkpractice, odbc/, tamaro/tpl/);
//              default: the parent of this program's folder.
//   PATIENTS   sizes to measure, default 1000,5000.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "archive/DatabaseBackup.h"
#include "archive/StatementObserver.h"
#include "archive/TransferPatients.h"
#include "core/ComboBox.h"
#include "core/Globals.h"
#include "core/LogRecorder.h"
#include "core/ScriptedWindowServices.h"
#include "db/DatabaseKind.h"
#include "db/DatabaseSet.h"
#include "users/AuditLog.h"

namespace fs = std::filesystem;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

int Run(const std::string& command) {
    int rc = std::system(command.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

struct Recorded {
    std::map<std::string, std::vector<std::string>> byFile;  // file name -> statements
    long inserts = 0;
};

void Record(const ArchiveDbPair& db, const std::string& sql, void* context) {
    auto* r = static_cast<Recorded*>(context);
    r->byFile[db.FileName + db.Extension].push_back(sql);
    if (sql.rfind("insert into ", 0) == 0 && sql.rfind("insert into archist", 0) != 0) ++r->inserts;
}

// CPU seconds (user and system) of this process, or of its finished
// children: steadier than the clock on a machine that is busy otherwise.
double CpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The peak resident memory of this process in KiB, and its reset (so that
// each size is measured on its own).
long PeakKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// isql-fb runs the statements of each database on a copy of the untouched
// files: in one transaction, or with a commit after each. Seconds in all.
double Replay(const Recorded& recorded, const fs::path& original, const fs::path& work,
              bool eachCommitted, long& statements, double* cpu = nullptr) {
    const double cpuBefore = CpuSeconds(RUSAGE_CHILDREN);
    const fs::path copy = work / (eachCommitted ? "replay-each" : "replay-one");
    fs::remove_all(copy);
    fs::copy(original, copy, fs::copy_options::recursive);
    double seconds = 0;
    statements = 0;
    for (const auto& [file, list] : recorded.byFile) {
        const fs::path script = work / (file + ".sql");
        std::ofstream out(script, std::ios::binary);
        for (const std::string& sql : list) {
            out << sql << ";\n";
            if (eachCommitted) out << "commit;\n";
            ++statements;
        }
        out << "commit;\n";
        out.close();
        const auto t0 = std::chrono::steady_clock::now();
        const int rc = Run("isql-fb -q -ch WIN1252 -user SYSDBA -password masterkey -i " +
                           script.string() + " " + (copy / file).string() + " > /dev/null 2>" +
                           (work / (file + ".err")).string());
        seconds += Seconds(t0);
        if (rc != 0 || fs::file_size(work / (file + ".err")) != 0)
            std::fprintf(stderr, "isql-fb reported errors for %s (see %s)\n", file.c_str(),
                         (work / (file + ".err")).c_str());
    }
    fs::remove_all(copy);
    if (cpu) *cpu = CpuSeconds(RUSAGE_CHILDREN) - cpuBefore;
    return seconds;
}

bool Measure(const fs::path& build, const fs::path& work, int patients) {
    const fs::path practice = work / "practice";
    std::printf("archive_bench: %d demo patients, embedded Firebird, in %s\n", patients,
                work.c_str());
    if (Run((build / "tamaro-mkpractice").string() + " " + practice.string() +
            " --kind fdb --patients " + std::to_string(patients) + " --seed 7 > /dev/null") != 0) {
        std::fprintf(stderr, "tamaro-mkpractice failed\n");
        return false;
    }
    const fs::path database = practice / "Database";
    fs::copy_file(build / "tamaro" / "tpl" / "archiv.fdb", database / "archiv.fdb");
    // The untouched files, for the isql-fb replay.
    const fs::path original = work / "original";
    fs::copy(database, original, fs::copy_options::recursive);

    VelundaDir = practice.string();
    DataDir = practice.string();
    DatabaseDir = database.string();
    ServerPath = DatabaseDir;
    LogRecorder log;
    SetLogSink(&log);
    ScriptedWindowServices boxes;
    SetWindowServices(&boxes);
    DatabaseSet set;
    for (auto& db : set.Velunda)
        if (!Connect(db)) return false;
    if (!Connect(set.Archive)) return false;
    TheAuditLog().SetConnection(&set.MainDatabase().Connection);
    TheAuditLog().SetModuleId(7);
    TheAuditLog().SetDataFolder(practice.string());

    // Backups of both sides against cp of the same files.
    std::vector<BackupRecord> records;
    auto t0 = std::chrono::steady_clock::now();
    const bool backed = BackupDatabaseFiles(set.VelundaList, records) &&
                        BackupDatabaseFiles(set.ArchiveList, records);
    const double backupSeconds = Seconds(t0);
    DeleteDatabaseBackups(set.VelundaList);
    DeleteDatabaseBackups(set.ArchiveList);
    // The copies alone, the way the backup makes them (with the fingerprint).
    t0 = std::chrono::steady_clock::now();
    for (const auto& entry : fs::directory_iterator(database)) {
        BackupRecord record;
        if (entry.path().extension() == ".fdb") BackupFile(entry.path().string(), record);
    }
    const double copySeconds = Seconds(t0);
    DeleteDatabaseBackups(set.VelundaList);
    DeleteDatabaseBackups(set.ArchiveList);
    std::string cp = "cp";
    for (const auto& entry : fs::directory_iterator(database))
        if (entry.path().extension() == ".fdb") cp += " " + entry.path().string();
    fs::create_directory(work / "cp");
    cp += " " + (work / "cp").string();
    t0 = std::chrono::steady_clock::now();
    Run(cp);
    const double cpSeconds = Seconds(t0);
    fs::remove_all(work / "cp");

    // The run itself.
    std::string pids;
    for (int pid = 1; pid <= patients; ++pid) pids += (pid > 1 ? "," : "") + std::to_string(pid);
    Recorded recorded;
    SetStatementObserver(Record, &recorded);
    ComboBoxModel history;
    ResetPeak();
    const double cpuBefore = CpuSeconds(RUSAGE_SELF);
    t0 = std::chrono::steady_clock::now();
    TransferPatients(set, history, pids);
    const double runSeconds = Seconds(t0);
    const double runCpu = CpuSeconds(RUSAGE_SELF) - cpuBefore;
    const long peak = PeakKiB();
    SetStatementObserver(nullptr, nullptr);
    bool failed = false;
    for (const auto& line : log.Lines())
        if (line.colour == ColourRed) failed = true;
    TheAuditLog().SetConnection(nullptr);
    for (auto& db : set.Velunda) db.Connection.Disconnect();
    set.Archive.Connection.Disconnect();

    long statements = 0;
    double oneCpu = 0;
    const double oneSeconds = Replay(recorded, original, work, false, statements, &oneCpu);
    // Committing every statement forces the disk each time: the reference
    // figure is taken on the smaller runs only.
    const double eachSeconds =
        patients <= 1000 ? Replay(recorded, original, work, true, statements) : 0;

    std::printf("run:      %s, %ld rows inserted, %ld statements replayed\n",
                failed || !backed ? "FAILED" : "ok", recorded.inserts, statements);
    std::printf("rows/s:   %.0f\n", recorded.inserts / runSeconds);
    std::printf("backups:  %.3f s  cp: %.3f s  ratio %.2f (target <= 1.2)\n", backupSeconds,
                cpSeconds, backupSeconds / cpSeconds);
    std::printf(
        "          the copies alone: %.3f s  ratio %.2f; the rest is closing and "
        "reopening the nine connections\n",
        copySeconds, copySeconds / cpSeconds);
    std::printf(
        "run:      %.3f s  isql-fb in one transaction: %.3f s  ratio %.2f (target <= 1.5)\n",
        runSeconds, oneSeconds, runSeconds / oneSeconds);
    std::printf("          CPU: run %.3f s  isql-fb %.3f s  ratio %.2f\n", runCpu, oneCpu,
                runCpu / oneCpu);
    if (eachSeconds > 0)
        std::printf("          isql-fb committing each statement: %.3f s  ratio %.2f\n",
                    eachSeconds, runSeconds / eachSeconds);
    std::printf("memory:   peak %.1f MiB during the run of %d patients\n", peak / 1024.0, patients);
    SetLogSink(nullptr);
    SetWindowServices(nullptr);
    return !failed && backed;
}

}  // namespace

int main(int argc, char** argv) {
    // Each figure as soon as it is measured, also into a file.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    fs::path build = argc > 1 ? fs::path(argv[1])
                              : fs::read_symlink("/proc/self/exe").parent_path().parent_path();
    std::vector<int> sizes;
    for (const char* p = argc > 2 ? argv[2] : "1000,5000"; *p;) {
        sizes.push_back(std::atoi(p));
        while (*p && *p != ',') ++p;
        if (*p == ',') ++p;
    }
    setenv("ODBCSYSINI", (build / "odbc").c_str(), 1);
    setenv("ODBCINI", (build / "odbc" / "odbc.ini").c_str(), 1);
    char tmpl[] = "/tmp/tamaro-archive-bench-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const fs::path base = tmpl;
    // The embedded engine's locks in a folder of the benchmark's own, shared
    // with the programs it starts, so that no other engine user waits on it.
    fs::create_directory(base / "lock");
    setenv("FIREBIRD_LOCK", (base / "lock").c_str(), 1);
    bool ok = true;
    for (int patients : sizes) {
        const fs::path work = base / std::to_string(patients);
        fs::create_directory(work);
        ok = Measure(build, work, patients) && ok;
        if (!std::getenv("TAMARO_KEEP_TEMP")) fs::remove_all(work);
    }
    if (!std::getenv("TAMARO_KEEP_TEMP")) fs::remove_all(base);
    return ok ? 0 : 1;
}
