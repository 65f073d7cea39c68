// The practices that list_bench and backup_bench share: generated once per
// kind and size into <build>/bench-cache at a fixed reference time, and
// opened with the build's drivers.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/Globals.h"
#include "db/DatabaseKind.h"
#include "db/DatabaseSet.h"

namespace benchpractice {

namespace fs = std::filesystem;

constexpr int64_t kNow = 1700000000;  // --now of the generated practices

// The build folder: the first argument, or the parent of the benchmark's
// own folder.
inline fs::path BuildDir(int argc, char** argv) {
    return argc > 1 && argv[1][0] ? fs::path(argv[1])
                                   : fs::read_symlink("/proc/self/exe").parent_path().parent_path();
}

// The build's drivers, and a lock folder of the benchmark's own for the
// embedded engine, which it returns for removal at the end.
inline fs::path UseBuild(const fs::path& build) {
    setenv("ODBCSYSINI", (build / "odbc").c_str(), 1);
    setenv("ODBCINI", (build / "odbc" / "odbc.ini").c_str(), 1);
    const fs::path lock = build / "bench-cache" / ("lock-" + std::to_string(getpid()));
    fs::create_directories(lock);
    setenv("FIREBIRD_LOCK", lock.c_str(), 1);
    return lock;
}

// The practice of this kind and size, generated the first time; empty when
// the generator fails.
inline fs::path Cached(const fs::path& build, const char* kind, int patients) {
    const fs::path dir =
        build / "bench-cache" / ("list-" + std::string(kind) + "-" + std::to_string(patients));
    if (fs::exists(dir / "Database")) return dir;
    fs::remove_all(dir);
    fs::create_directories(dir.parent_path());
    std::printf("  generating %d patients (.%s) in %s ...\n", patients, kind, dir.c_str());
    std::fflush(stdout);
    const std::string cmd = (build / "tamaro-mkpractice").string() + " '" + dir.string() +
                            "' --kind " + kind + " --patients " + std::to_string(patients) +
                            " --seed 1 --now " + std::to_string(kNow) + " > /dev/null";
    if (std::system(cmd.c_str()) != 0) return {};
    return dir;
}

// The cached practice as the program's practice, with its Velunda
// databases connected; false with a line on standard error when it cannot
// be made or a database cannot be connected.
inline bool Open(const fs::path& build, const char* kind, int patients, DatabaseSet& set) {
    const fs::path dir = Cached(build, kind, patients);
    if (dir.empty()) {
        std::fprintf(stderr, "tamaro-mkpractice failed for .%s\n", kind);
        return false;
    }
    DataDir = dir.string();
    DatabaseDir = (dir / "Database").string();
    ServerPath = DatabaseDir;
    for (ArchiveDbPair& db : set.Velunda)
        if (!Connect(db)) {
            std::fprintf(stderr, "cannot connect %s.%s\n", db.FileName.c_str(), kind);
            return false;
        }
    return true;
}

}  // namespace benchpractice
