// Archives 1,000 demo patients on embedded Firebird and prints: rows per
// second of the run, the file backups against `cp` of the same files, and
// the whole run against isql-fb executing the run's own insert and delete
// statements, each committed on its own.
//
// archive_bench [BUILD_DIR] [PATIENTS]
//   BUILD_DIR  the build folder (tamaro-mkpractice, odbc/, tamaro/tpl/);
//              default: the parent of this program's folder.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "core/ComboBox.h"
#include "db/DatabaseSet.h"
#include "core/Globals.h"
#include "core/LogRecorder.h"
#include "core/ScriptedWindowServices.h"
#include "archive/DatabaseBackup.h"
#include "archive/StatementObserver.h"
#include "archive/TransferPatients.h"
#include "db/DatabaseKind.h"
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

}  // namespace

int main(int argc, char** argv) {
    fs::path build = argc > 1 ? fs::path(argv[1])
                              : fs::read_symlink("/proc/self/exe").parent_path().parent_path();
    const int patients = argc > 2 ? std::atoi(argv[2]) : 1000;
    setenv("ODBCSYSINI", (build / "odbc").c_str(), 1);
    setenv("ODBCINI", (build / "odbc" / "odbc.ini").c_str(), 1);

    char tmpl[] = "/tmp/tamaro-archive-bench-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const fs::path work = tmpl;
    const fs::path practice = work / "practice";
    // The embedded engine's locks in a folder of the benchmark's own, shared
    // with the programs it starts, so that no other engine user waits on it.
    fs::create_directory(work / "lock");
    setenv("FIREBIRD_LOCK", (work / "lock").c_str(), 1);
    std::printf("archive_bench: %d demo patients, embedded Firebird, in %s\n", patients,
                work.c_str());
    if (Run((build / "tamaro-mkpractice").string() + " " + practice.string() +
            " --kind fdb --patients " + std::to_string(patients) + " --seed 7 > /dev/null") != 0) {
        std::fprintf(stderr, "tamaro-mkpractice failed\n");
        return 1;
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
        if (!Connect(db)) return 1;
    if (!Connect(set.Archive)) return 1;
    TheAuditLog().SetConnection(&set.MainDatabase().Connection);
    TheAuditLog().SetModuleId(7);
    TheAuditLog().SetDataFolder(practice.string());

    // Backups of both sides against cp of the same files.
    auto t0 = std::chrono::steady_clock::now();
    const bool backed =
        BackupDatabaseFiles(set.VelundaList) && BackupDatabaseFiles(set.ArchiveList);
    const double backupSeconds = Seconds(t0);
    DeleteDatabaseBackups(set.VelundaList);
    DeleteDatabaseBackups(set.ArchiveList);
    // The copies alone, the way the backup makes them.
    t0 = std::chrono::steady_clock::now();
    for (const auto& entry : fs::directory_iterator(database))
        if (entry.path().extension() == ".fdb")
            CopyDatabaseFile(entry.path().string(), entry.path().string() + ".bak");
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
    t0 = std::chrono::steady_clock::now();
    TransferPatients(set, history, pids);
    const double runSeconds = Seconds(t0);
    SetStatementObserver(nullptr, nullptr);
    bool failed = false;
    for (const auto& line : log.Lines())
        if (line.colour == ColourRed) failed = true;
    TheAuditLog().SetConnection(nullptr);
    for (auto& db : set.Velunda) db.Connection.Disconnect();
    set.Archive.Connection.Disconnect();

    // isql-fb replays the same statements on the untouched files, one
    // commit per statement, one isql-fb per database.
    double isqlSeconds = 0;
    long statements = 0;
    for (const auto& [file, list] : recorded.byFile) {
        const fs::path script = work / (file + ".sql");
        std::ofstream out(script, std::ios::binary);
        for (const std::string& sql : list) {
            out << sql << ";\ncommit;\n";
            ++statements;
        }
        out.close();
        t0 = std::chrono::steady_clock::now();
        const int rc = Run("isql-fb -q -ch WIN1252 -user SYSDBA -password masterkey -i " +
                           script.string() + " " + (original / file).string() + " > /dev/null 2>" +
                           (work / (file + ".err")).string());
        isqlSeconds += Seconds(t0);
        if (rc != 0 || fs::file_size(work / (file + ".err")) != 0)
            std::fprintf(stderr, "isql-fb reported errors for %s (see %s)\n", file.c_str(),
                         (work / (file + ".err")).c_str());
    }

    std::printf("run:      %s, %ld rows inserted, %ld statements replayed\n",
                failed || !backed ? "FAILED" : "ok", recorded.inserts, statements);
    std::printf("rows/s:   %.0f\n", recorded.inserts / runSeconds);
    std::printf("backups:  %.3f s  cp: %.3f s  ratio %.2f (target <= 1.2)\n", backupSeconds,
                cpSeconds, backupSeconds / cpSeconds);
    std::printf(
        "          the copies alone: %.3f s  ratio %.2f; the rest is closing and "
        "reopening the nine connections\n",
        copySeconds, copySeconds / cpSeconds);
    std::printf("run:      %.3f s  isql-fb: %.3f s  ratio %.2f (target <= 1.5)\n", runSeconds,
                isqlSeconds, runSeconds / isqlSeconds);
    SetLogSink(nullptr);
    SetWindowServices(nullptr);
    if (!std::getenv("TAMARO_KEEP_TEMP")) fs::remove_all(work);
    return failed ? 1 : 0;
}
