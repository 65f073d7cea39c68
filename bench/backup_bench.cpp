// The file backups of a run: the eight databases of a practice backed up
// (copy by the kernel, fingerprint, forced to the disk) against `cp` of the
// same files followed by `sync` of the copies, and, on its own, the fixed
// cost around the copies: closing the eight connections before the copy and
// opening them again afterwards.
//
// backup_bench [BUILD_DIR] [PATIENTS]
//   BUILD_DIR  the build folder (tamaro-mkpractice, odbc/); default: the
//              parent of this program's folder.
//   PATIENTS   default 50000. Practices are kept in BUILD_DIR/bench-cache
//              (the same ones list_bench uses).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/safety/DatabaseBackup.h"
#include "bench/BenchPractice.h"
#include "core/Globals.h"
#include "core/LogRecorder.h"
#include "core/LogSink.h"
#include "core/ScriptedWindowServices.h"
#include "db/DatabaseKind.h"
#include "db/DatabaseSet.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRuns = 3;
using benchpractice::kNow;

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Processor time, user and system, of this process or of its finished
// children (cp and sync): the kernel's copying counts as system time.
double CpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

bool Run(const std::string& command) {
    const int rc = std::system(command.c_str());
    return WIFEXITED(rc) && WEXITSTATUS(rc) == 0;
}

void RemoveCopies(DatabaseSet& set) {
    DeleteDatabaseBackups(set.VelundaList);
    for (ArchiveDbPair& db : set.Velunda) fs::remove(DatabasePath(db) + ".cp");
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path build = benchpractice::BuildDir(argc, argv);
    const int patients = argc > 2 ? std::atoi(argv[2]) : 50000;
    setvbuf(stdout, nullptr, _IOLBF, 0);
    const fs::path lock = benchpractice::UseBuild(build);

    LogRecorder log;
    ScriptedWindowServices services;
    SetLogSink(&log);
    SetWindowServices(&services);

    std::printf("backup_bench: the eight databases of a practice of %d patients, median of %d\n",
                patients, kRuns);
    int status = 0;
    for (const char* kind : {"fdb", "mdb"}) {
        DatabaseSet set;
        if (!benchpractice::Open(build, kind, patients, set)) return 1;
        uint64_t total = 0;
        std::string files, copies;
        for (ArchiveDbPair& db : set.Velunda) {
            total += fs::file_size(DatabasePath(db));
            files += " '" + DatabasePath(db) + "'";
            copies += " '" + DatabasePath(db) + ".cp'";
        }
        RemoveCopies(set);

        std::vector<double> backup, whole, cp, reconnect, backupCpu, cpCpu;
        for (int run = 0; run < kRuns; ++run) {
            // The copies alone, as BackupFile makes them (connections closed).
            for (ArchiveDbPair& db : set.Velunda) db.Connection.Disconnect();
            auto start = std::chrono::steady_clock::now();
            double cpu = CpuSeconds(RUSAGE_SELF);
            for (ArchiveDbPair& db : set.Velunda) {
                BackupRecord record;
                if (!BackupFile(DatabasePath(db), record)) {
                    std::fprintf(stderr, "backup of %s failed\n", DatabasePath(db).c_str());
                    status = 1;
                }
            }
            backup.push_back(Seconds(start));
            backupCpu.push_back(CpuSeconds(RUSAGE_SELF) - cpu);
            RemoveCopies(set);

            // The reference: cp of the same files, then sync of the copies.
            start = std::chrono::steady_clock::now();
            cpu = CpuSeconds(RUSAGE_CHILDREN);
            bool copied = true;
            for (ArchiveDbPair& db : set.Velunda)
                copied =
                    copied && Run("cp '" + DatabasePath(db) + "' '" + DatabasePath(db) + ".cp'");
            copied = copied && Run("sync" + copies);
            cp.push_back(Seconds(start));
            cpCpu.push_back(CpuSeconds(RUSAGE_CHILDREN) - cpu);
            if (!copied) status = 1;
            RemoveCopies(set);

            // The fixed cost around the copies: closing the connections and
            // opening them again (they are closed here; opened, then closed
            // and opened as a backup does).
            for (ArchiveDbPair& db : set.Velunda) Connect(db);
            start = std::chrono::steady_clock::now();
            for (ArchiveDbPair& db : set.Velunda) db.Connection.Disconnect();
            for (ArchiveDbPair& db : set.Velunda) Connect(db);
            reconnect.push_back(Seconds(start));

            // The whole of BackupDatabaseFiles: both together, and the folder.
            std::vector<BackupRecord> records;
            start = std::chrono::steady_clock::now();
            if (!BackupDatabaseFiles(set.VelundaList, records)) status = 1;
            whole.push_back(Seconds(start));
            RemoveCopies(set);
        }
        const double mb = double(total) / 1e6;
        const double b = Median(backup), c = Median(cp), r = Median(reconnect), w = Median(whole);
        std::printf("\n%s (.%s): %.1f MB in eight files\n",
                    std::string(kind) == "fdb" ? "embedded Firebird" : "Access kind", kind, mb);
        std::printf("  backup copies:          %.3f s (%.0f MB/s), %.3f s processor\n", b, mb / b,
                    Median(backupCpu));
        std::printf("  cp + sync of the same:  %.3f s (%.0f MB/s), %.3f s processor\n", c, mb / c,
                    Median(cpCpu));
        std::printf("  backup against cp + sync: %.2fx\n", b / c);
        std::printf("  closing and reopening the eight connections: %.3f s\n", r);
        std::printf("  BackupDatabaseFiles in all: %.3f s\n", w);
        if (status != 0 && !log.Raw().empty()) std::printf("  (log: %s)\n", log.Raw().c_str());
        for (ArchiveDbPair& db : set.Velunda) db.Connection.Disconnect();
    }
    SetLogSink(nullptr);
    SetWindowServices(nullptr);
    fs::remove_all(lock);
    return status;
}
