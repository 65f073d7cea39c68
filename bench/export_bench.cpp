// Handing out patients' records: 100 patients of a practice of 30,000, on
// embedded Firebird and on the Access kind, from the Velunda side. Prints the
// export's time per patient for its tables (reading in read-only
// transactions, CSV, JSON, manifest with SHA-256, the files forced to the
// disk) against a plain client that reads the same rows into CSV files
// (export_reference.py: pyodbc and Python's csv module), as a ratio measured
// in the same run, and the PDF's time per patient on its own line. Then the
// memory of an export of 100 and of 1,000 patients, each in a process of its
// own: the peak resident size, which also holds the engines' page caches
// (Firebird's fill up to 2,048 pages per database, SQLite's up to 2 MB per
// connection, as more patients are read), and the most heap in use while a
// record is laid out, without SQLite's, which holds the program's own data
// and must not grow with the number of patients.
//
// export_bench [BUILD_DIR] [PATIENTS] [fdb|mdb]
//   BUILD_DIR  the build folder; default: the parent of this program's
//              folder. The practice is generated once into
//              BUILD_DIR/bench-cache (shared with list_bench) and copied,
//              with an empty archive, to BUILD_DIR/bench-cache/export-*.
// export_bench --memory N BUILD_DIR PATIENTS KIND  (the child of the memory
//              measurement: exports N patients, prints "peak_kb <n>")
#include <malloc.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/export/RecordExport.h"
#include "bench/BenchPractice.h"
#include "core/DocumentRenderer.h"
#include "core/LogRecorder.h"
#include "core/ScriptedWindowServices.h"
#include "users/AuditLog.h"

#ifdef TAMARO_BENCH_QT
#include "ui/QtDocumentRenderer.h"
#endif

namespace fs = std::filesystem;

namespace {

constexpr int kExported = 100;

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The heap in use without SQLite's own (the Access kind's page caches,
// which fill up to their limit as more of the files is read): the driver
// loads the same SQLite library as this program, so its count is this one.
size_t HeapInUse() {
    const struct mallinfo2 m = mallinfo2();
    const size_t sqlite = size_t(sqlite3_memory_used());
    const size_t heap = m.uordblks + m.hblkhd;
    return heap > sqlite ? heap - sqlite : 0;
}

// Times the PDF apart from the rest of the export, and notes the heap in use
// while a record is held.
class TimedRenderer : public IDocumentRenderer {
  public:
    explicit TimedRenderer(IDocumentRenderer& inner) : inner_(inner) {}
    bool RenderPdf(const RecordDocument& d, std::string& pdf, std::string& error) override {
        heapPeak = std::max(heapPeak, HeapInUse());
        const auto start = std::chrono::steady_clock::now();
        const bool ok = inner_.RenderPdf(d, pdf, error);
        seconds += Since(start);
        bytes += pdf.size();
        return ok;
    }
    double seconds = 0;
    uint64_t bytes = 0;
    size_t heapPeak = 0;

  private:
    IDocumentRenderer& inner_;
};

// The practice with an empty archive, copied once from the generated one.
fs::path Practice(const fs::path& build, const std::string& kind, int patients) {
    const fs::path dir =
        build / "bench-cache" / ("export-" + kind + "-" + std::to_string(patients));
    if (fs::exists(dir / "ready")) return dir;
    const fs::path generated = benchpractice::Cached(build, kind.c_str(), patients);
    if (generated.empty()) return {};
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::copy(generated / "Database", dir / "Database", fs::copy_options::recursive);
    fs::copy_file(build / "tamaro" / "tpl" / ("archiv." + kind),
                  dir / "Database" / ("archiv." + kind));
    std::ofstream(dir / "ready") << "ok\n";
    return dir;
}

// n patients spread over the practice's pids.
std::vector<int32_t> Pids(int n, int patients) {
    std::vector<int32_t> pids;
    for (int i = 0; i < n; ++i) pids.push_back(int32_t(1 + int64_t(i) * patients / n));
    return pids;
}

std::string Joined(const std::vector<int32_t>& pids) {
    std::string text;
    for (int32_t pid : pids) text += (text.empty() ? "" : ",") + std::to_string(pid);
    return text;
}

struct Measured {
    bool ok = false;
    double seconds = 0, pdfSeconds = 0;
    uint64_t pdfBytes = 0;
    int64_t rows = 0;
    size_t heapPeak = 0;
};

Measured Export(const fs::path& practice, const std::vector<int32_t>& pids,
                IDocumentRenderer& renderer, const fs::path& target) {
    Measured m;
    DataDir = VelundaDir = practice.string();
    DatabaseDir = ServerPath = (practice / "Database").string();
    LogRecorder log;
    SetLogSink(&log);
    ScriptedWindowServices boxes;
    SetWindowServices(&boxes);
    DatabaseSet set;
    for (ArchiveDbPair& db : set.Velunda)
        if (!Connect(db)) return m;
    if (!Connect(set.Archive)) return m;
    TheAuditLog().SetConnection(&set.MainDatabase().Connection);
    TheAuditLog().SetModuleId(7);
    TheAuditLog().SetDataFolder(practice.string());
    TimedRenderer timed(renderer);
    SetDocumentRenderer(&timed);
    ExportContext context;
    context.program = "Tamaro (export_bench)";
    context.created = int64_t(std::time(nullptr));
    ExportReport report;
    const auto start = std::chrono::steady_clock::now();
    m.ok = ExportRecords(set, pids, target.string(), context, report);
    m.seconds = Since(start);
    m.pdfSeconds = timed.seconds;
    m.pdfBytes = timed.bytes;
    m.heapPeak = timed.heapPeak;
    for (const ExportedRecord& r : report.records) m.rows += r.rows;
    if (!m.ok) std::fprintf(stderr, "%s\n", log.Raw().c_str());
    SetDocumentRenderer(nullptr);
    TheAuditLog().SetConnection(nullptr);
    for (ArchiveDbPair& db : set.Velunda) db.Connection.Disconnect();
    set.Archive.Connection.Disconnect();
    SetWindowServices(nullptr);
    SetLogSink(nullptr);
    return m;
}

// The reference's seconds, -1 when it failed.
double Reference(const fs::path& practice, const std::string& kind,
                 const std::vector<int32_t>& pids, const fs::path& out, int64_t& rows) {
    const std::string command =
        "/usr/bin/python3 '" +
        (fs::path(TAMARO_SOURCE_DIR) / "bench/export_reference.py").string() + "' --kind " + kind +
        " --database '" + (practice / "Database").string() + "' --pids " + Joined(pids) +
        " --out '" + out.string() + "'";
    FILE* p = popen(command.c_str(), "r");
    if (!p) return -1;
    double seconds = -1;
    long long n = 0;
    if (std::fscanf(p, "seconds %lf rows %lld", &seconds, &n) != 2) seconds = -1;
    rows = n;
    return pclose(p) == 0 ? seconds : -1;
}

#ifdef TAMARO_BENCH_QT
long PeakKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The child of the memory measurement.
int MemoryChild(int n, const fs::path& build, int patients, const std::string& kind) {
    const fs::path practice = Practice(build, kind, patients);
    QtDocumentRenderer renderer("export_bench");
    const fs::path out = fs::temp_directory_path() / ("export-bench-" + std::to_string(getpid()));
    const Measured m = Export(practice, Pids(n, patients), renderer, out);
    fs::remove_all(out);
    if (!m.ok) return 1;
    std::printf("peak_kb %ld heap_kb %zu\n", PeakKb(), m.heapPeak / 1024);
    return 0;
}

struct Memory {
    long peakKb = -1, heapKb = -1;
};

Memory ChildMemory(const char* self, int n, const fs::path& build, int patients,
                   const std::string& kind) {
    const std::string command = std::string("'") + self + "' --memory " + std::to_string(n) + " '" +
                                build.string() + "' " + std::to_string(patients) + " " + kind;
    Memory m;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return m;
    if (std::fscanf(p, "peak_kb %ld heap_kb %ld", &m.peakKb, &m.heapKb) != 2) m = Memory();
    if (pclose(p) != 0) m = Memory();
    return m;
}
#endif

}  // namespace

int main(int argc, char** argv) {
#ifndef TAMARO_BENCH_QT
    std::fprintf(stderr, "export_bench needs the window's Qt (TAMARO_WITH_QT)\n");
    (void)argc;
    (void)argv;
    return 1;
#else
    if (argc == 6 && std::strcmp(argv[1], "--memory") == 0) {
        benchpractice::UseBuild(argv[3]);
        return MemoryChild(std::atoi(argv[2]), argv[3], std::atoi(argv[4]), argv[5]);
    }
    const fs::path build = benchpractice::BuildDir(argc, argv);
    const int patients = argc > 2 ? std::atoi(argv[2]) : 30000;
    std::vector<std::string> kinds = {"fdb", "mdb"};
    if (argc > 3) kinds = {argv[3]};
    const fs::path lock = benchpractice::UseBuild(build);
    QtDocumentRenderer renderer("export_bench");

    std::printf("export_bench: %d patients' records of a practice of %d, Velunda side\n", kExported,
                patients);
    int status = 0;
    for (const std::string& kind : kinds) {
        const fs::path practice = Practice(build, kind, patients);
        if (practice.empty()) {
            std::fprintf(stderr, "no practice of the kind %s\n", kind.c_str());
            return 1;
        }
        const fs::path work = build / "bench-cache" / ("export-out-" + std::to_string(getpid()));
        fs::remove_all(work);
        fs::create_directories(work);
        const std::vector<int32_t> pids = Pids(kExported, patients);
        // Warm both the same way: the first run of each reads the files cold.
        int64_t referenceRows = 0;
        Reference(practice, kind, pids, work / "warm", referenceRows);
        const Measured m = Export(practice, pids, renderer, work / "export");
        const double reference = Reference(practice, kind, pids, work / "reference", referenceRows);
        fs::remove_all(work);
        if (!m.ok || reference <= 0) {
            std::fprintf(stderr, "the %s run failed\n", kind.c_str());
            status = 1;
            continue;
        }
        const double tables = m.seconds - m.pdfSeconds;
        std::printf(".%s: %lld rows (the reference read %lld)\n", kind.c_str(),
                    static_cast<long long>(m.rows), static_cast<long long>(referenceRows));
        std::printf("  export, tables:  %7.2f ms per patient\n", 1000 * tables / kExported);
        std::printf("  pyodbc into CSV: %7.2f ms per patient\n", 1000 * reference / kExported);
        std::printf("  ratio:           %7.2f (target <= 2)\n", tables / reference);
        std::printf("  export, PDF:     %7.2f ms per patient (%.0f KB per document)\n",
                    1000 * m.pdfSeconds / kExported, double(m.pdfBytes) / 1024 / kExported);
        std::fflush(stdout);
        const Memory small = ChildMemory(argv[0], kExported, build, patients, kind);
        const Memory large = ChildMemory(argv[0], 10 * kExported, build, patients, kind);
        auto ratio = [](long a, long b) { return a > 0 ? double(b) / double(a) : 0.0; };
        std::printf("  peak resident:   %ld KB for %d patients, %ld KB for %d (ratio %.2f)\n",
                    small.peakKb, kExported, large.peakKb, 10 * kExported,
                    ratio(small.peakKb, large.peakKb));
        std::printf("  own heap:        %ld KB for %d patients, %ld KB for %d (ratio %.2f)\n",
                    small.heapKb, kExported, large.heapKb, 10 * kExported,
                    ratio(small.heapKb, large.heapKb));
        std::fflush(stdout);
    }
    fs::remove_all(lock);
    return status;
#endif
}
