// Archives demo patients on embedded Firebird and prints, for each size:
// rows per second of the run, the file backups against `cp` of the same
// files, the whole run against isql-fb executing the run's own insert and
// delete statements, and its counts and selects, in one transaction per
// database (the engine's floor)
// and, for reference on runs up to 1,000 patients, each committed on its
// own, and the process's peak
// memory during the run.
//
// Then it moves MOVE patients (default 1,000) out of practices of each
// PRACTICES size (default 5,000 and 30,000), on both kinds, and prints the
// CPU (user and system, medians of TAMARO_BENCH_REPEAT runs, default 3) of
// each step of the run for each size, with the extra CPU of the larger
// practice beyond the smaller's scaled to the rows; the per-row cost of the
// larger practice against the smaller beside that of isql-fb executing the
// run's own statements (Firebird); the run against its floors: parameter
// arrays through the project's driver (a prepared insert per table,
// SQL_ATTR_PARAMSET_SIZE rows a call, one transaction per database) and, on
// the Access kind, SQLite's insert ... select plus delete between the
// attached files (one transaction per database) with cp of the files; and
// the CPU of each table's copy and deletion in the largest practice.
//
// archive_bench [BUILD_DIR] [PATIENTS,...] [MOVE] [PRACTICES,...] [KINDS]
//   BUILD_DIR  the build folder (tamaro-mkpractice, odbc/, tamaro/tpl/);
//              default: the parent of this program's folder.
//   PATIENTS   sizes of the isql-fb replay, default 1000,5000; 0 skips it.
//   MOVE       patients moved out of each practice, default 1000; 0 skips.
//   PRACTICES  practice sizes, default 5000,30000.
//   KINDS      fdb,mdb by default.
// TAMARO_BENCH_CACHE=DIR keeps the generated practices there between runs;
// TAMARO_BENCH_RUNS_ONLY=1 measures the moving runs without their floors.
#include <sqlite3.h>
#include <strings.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "archive/rows/PidIndex.h"
#include "archive/rows/PidList.h"
#include "archive/rows/RowPrint.h"
#include "archive/rows/RunCheckpoint.h"
#include "archive/rows/SqlLiteral.h"
#include "archive/rows/StatementObserver.h"
#include "archive/runs/TransferPatients.h"
#include "archive/safety/DatabaseBackup.h"
#include "core/ComboBox.h"
#include "core/Globals.h"
#include "core/LogRecorder.h"
#include "core/RunProgress.h"
#include "core/ScriptedWindowServices.h"
#include "db/DatabaseKind.h"
#include "db/DatabaseSet.h"
#include "db/ODBCStmt.h"
#include "db/OdbcResult.h"
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

// ---- Moving a share of a practice: each step's CPU, against the floors ----

// The steps of a run, cut where the run shows them: its log lines, its
// progress display and its checkpoints; at each cut the process's CPU (the
// embedded engines work inside it) and the clock. The copy and the deletion
// of each table ("• <database>.<table>..." up to its count) are timed too.
class RunClock : public ILogSink, public IRunProgress {
  public:
    struct Mark {
        std::string name;
        double cpu = 0;
    };
    struct Table {
        std::string name;
        double cpu = 0;
        long rows = 0;
    };

    RunClock() { Cut("start"); }
    void Append(const std::string& text, uint32_t colour) override {
        recorder_.Append(text, colour);
        if (colour == ColourRed) failed_ = true;
        if (colour == ColourBlue) Cut("heading");
        if (text.rfind("Bereit", 0) == 0) Cut("ready");
        // The log is in CP1252: the bullet is the byte 0x95.
        if (text.rfind("\x95 ", 0) == 0) {
            const std::string step = text.substr(2);
            if (step.rfind("Datensicherung...", 0) == 0) Cut("backup");
            if (step.rfind("Datensicherung l", 0) == 0) Cut("removal");
            if (step.rfind("Daten aus Quelle", 0) == 0) Cut("deletion");
            if (step.rfind("Vorgang in History", 0) == 0) Cut("history");
            const size_t dots = step.find("...");
            const std::string name = dots == std::string::npos ? "" : step.substr(0, dots);
            pending_ = name.find('.') == std::string::npos ? "" : name;
            tableCpu_ = CpuSeconds(RUSAGE_SELF);
        } else if (!pending_.empty() && text.rfind(" (", 0) == 0) {
            tables_.push_back(
                {pending_, CpuSeconds(RUSAGE_SELF) - tableCpu_, std::atol(text.c_str() + 2)});
            pending_.clear();
        }
    }
    void Progress(const std::string& what, uint64_t, uint64_t total) override {
        // The backups report as "<verb>: Datensicherung", the rows as "<verb>".
        if (!rows_ && total != kRunWaiting && what.find(':') == std::string::npos) {
            rows_ = true;
            Cut("rows");
        }
    }
    void Finished() override { Cut("progress-end"); }
    void Checkpoint(const std::string& point) {
        if (point == "commit") Cut("commit");
    }

    // CPU seconds from the first mark named from to the first named to
    // after it; "commit" stands for the last commit. -1 when a mark is
    // missing.
    double Between(const std::string& from, const std::string& to) const {
        const int a = Find(from, 0);
        const int b = a < 0 ? -1 : Find(to, size_t(a));
        return b < 0 ? -1 : marks_[size_t(b)].cpu - marks_[size_t(a)].cpu;
    }
    const std::vector<Table>& Tables() const { return tables_; }
    bool Failed() const { return failed_; }
    const std::string& Raw() const { return recorder_.Raw(); }

  private:
    void Cut(const std::string& name) { marks_.push_back({name, CpuSeconds(RUSAGE_SELF)}); }
    int Find(const std::string& name, size_t from) const {
        int found = -1;
        for (size_t i = from; i < marks_.size(); ++i) {
            if (marks_[i].name != name) continue;
            found = int(i);
            if (name != "commit") break;
        }
        return found;
    }

    LogRecorder recorder_;
    std::vector<Mark> marks_;
    std::vector<Table> tables_;
    std::string pending_;
    double tableCpu_ = 0;
    bool rows_ = false;
    bool failed_ = false;
};

// The steps as the table prints them, between the marks of RunClock. The
// first "progress-end" after "backup" is the end of the backups' display.
struct StepSpan {
    const char* name;
    const char* from;
    const char* to;
};
const StepSpan kSteps[] = {
    {"admission (locks, attachments)", "start", "heading"},
    {"backups with their fingerprints", "backup", "progress-end"},
    {"transactions, progress pre-count", "progress-end", "rows"},
    {"copies", "rows", "deletion"},
    {"deletes", "deletion", "history"},
    {"history row, commit sequence", "history", "commit"},
    {"late-row recount after the commit", "commit", "removal"},
    {"backup removal", "removal", "ready"},
};
constexpr size_t kStepCount = sizeof kSteps / sizeof kSteps[0];

struct MoveFigures {
    double run = 0;  // CPU of TransferPatients
    long rows = 0;   // rows copied
    double steps[kStepCount] = {};
    std::vector<RunClock::Table> tables;
    double paramArrays = 0;    // CPU of the floor through the driver
    double insertSelect = 0;   // CPU of the floor in SQLite (Access kind only)
    double cp = 0;             // CPU of cp copying the database files
    double replay = 0;         // CPU of isql-fb executing the run's statements (Firebird)
    double replayRecount = 0;  // of it, the late-row recount's statements after the commit
    bool ok = true;
};

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The statements a run sends, per database file: the run's own up to its
// last commit, and the late-row recount's after it.
struct MoveStatements {
    std::map<std::string, std::vector<std::string>> run, recount;
    int commits = 0;
    int databases = 0;  // commits that end the commit sequence
};

void RecordMove(const ArchiveDbPair& db, const std::string& sql, void* context) {
    auto* r = static_cast<MoveStatements*>(context);
    auto& into = r->commits >= r->databases ? r->recount : r->run;
    into[db.FileName + db.Extension].push_back(sql);
}

// isql-fb executes one script on a database file; its CPU beyond a bare
// start of isql-fb (bare, measured the same way with an empty script).
double IsqlCpu(const fs::path& script, const fs::path& database, const fs::path& work, bool& ok) {
    const double before = CpuSeconds(RUSAGE_CHILDREN);
    const fs::path err = work / "isql.err";
    const int rc =
        Run("isql-fb -q -ch WIN1252 -user SYSDBA -password masterkey -i " + script.string() + " " +
            database.string() + " > /dev/null 2>" + err.string());
    if (rc != 0 || fs::file_size(err) != 0) {
        std::fprintf(stderr, "isql-fb reported errors for %s with %s\n", database.c_str(),
                     script.c_str());
        ok = false;
    }
    return CpuSeconds(RUSAGE_CHILDREN) - before;
}

// The run's statements through isql-fb on a copy of the untouched practice,
// in one transaction per database, and after that commit the recount's;
// CPU beyond the bare starts of isql-fb.
bool ReplayMove(const MoveStatements& statements, const fs::path& practice, const fs::path& work,
                double& runCpu, double& recountCpu) {
    const fs::path copy = work / "replay";
    fs::remove_all(copy);
    fs::copy(practice / "Database", copy, fs::copy_options::recursive);
    bool ok = true;
    const fs::path bare = work / "bare.sql";
    std::ofstream(bare) << "commit;\n";
    std::vector<double> bares;
    for (int i = 0; i < 3; ++i) bares.push_back(IsqlCpu(bare, copy / "data.fdb", work, ok));
    const double start = Median(bares);
    auto script = [&](const std::vector<std::string>& list) {
        const fs::path path = work / "replay.sql";
        std::ofstream out(path, std::ios::binary);
        for (const std::string& sql : list) out << sql << ";\n";
        out << "commit;\n";
        return path;
    };
    runCpu = recountCpu = 0;
    for (const auto& [file, list] : statements.run)
        runCpu += IsqlCpu(script(list), copy / file, work, ok) - start;
    for (const auto& [file, list] : statements.recount)
        recountCpu += IsqlCpu(script(list), copy / file, work, ok) - start;
    fs::remove_all(copy);
    return ok;
}

// The practice of this kind and size with the archive template in its
// Database folder, made once into cache.
bool CachedPractice(const fs::path& build, const fs::path& cache, const std::string& kind, int size,
                    fs::path& practice) {
    practice = cache / (kind + "-" + std::to_string(size));
    if (fs::exists(practice / "ready")) return true;
    fs::remove_all(practice);
    const auto t0 = std::chrono::steady_clock::now();
    if (Run((build / "tamaro-mkpractice").string() + " " + practice.string() + " --kind " + kind +
            " --patients " + std::to_string(size) + " --seed 7 > /dev/null") != 0) {
        std::fprintf(stderr, "tamaro-mkpractice failed\n");
        return false;
    }
    fs::copy_file(build / "tamaro" / "tpl" / ("archiv." + kind),
                  practice / "Database" / ("archiv." + kind));
    std::ofstream(practice / "ready") << "\n";
    std::printf("          (practice of %d made in %.1f s)\n", size, Seconds(t0));
    return true;
}

// Points the process at a fresh copy of the practice and connects the set.
bool OpenCopy(const fs::path& practice, const fs::path& copy, DatabaseSet& set) {
    fs::remove_all(copy);
    fs::copy(practice, copy, fs::copy_options::recursive);
    VelundaDir = copy.string();
    DataDir = copy.string();
    DatabaseDir = (copy / "Database").string();
    ServerPath = DatabaseDir;
    for (auto& db : set.Velunda)
        if (!Connect(db)) return false;
    return Connect(set.Archive);
}

void Disconnect(DatabaseSet& set) {
    for (auto& db : set.Velunda) db.Connection.Disconnect();
    set.Archive.Connection.Disconnect();
}

// The floor through the driver: per table the same select as the run, every
// value read as text (bytes for binary columns), one prepared insert into
// the archive bound to arrays of up to 1,000 rows (SQL_ATTR_PARAMSET_SIZE),
// and the same delete as the run; one transaction per database.
bool ParamArrayFloor(DatabaseSet& set, const std::string& pids, double& cpu) {
    const std::vector<std::string> parts = SplitPidList(pids);
    const double cpu0 = CpuSeconds(RUSAGE_SELF);
    bool ok = set.Archive.Connection.BeginTransaction();
    for (ArchiveDbPair& db : set.Velunda) {
        ok = db.Connection.BeginTransaction() && ok;
        for (const std::string& table : SplitTableList(db.Tables)) {
            const char* renumbered = RenumberedColumn(table);
            for (const std::string& condition : PidConditions(db, table, parts)) {
                ODBCStmt select(db.Connection);
                if (!SqlExecuted(
                        select.Execute("select * from " + table + " where " + condition))) {
                    std::fprintf(stderr, "floor: select %s: %s\n", table.c_str(),
                                 db.Connection.GetErrorText(select.Handle()).c_str());
                    ok = false;
                    continue;
                }
                struct Column : ResultColumn {
                    bool binary = false;
                    std::vector<std::string> values;
                    std::vector<SQLLEN> indicators;
                };
                std::vector<Column> columns;
                for (const ResultColumn& result : select.ResultColumns()) {
                    Column c;
                    static_cast<ResultColumn&>(c) = result;
                    c.binary = c.type == SQL_BINARY || c.type == SQL_VARBINARY ||
                               c.type == SQL_LONGVARBINARY;
                    columns.push_back(std::move(c));
                }
                size_t rows = 0;
                while (SqlSucceeded(SQLFetch(select.Handle()))) {
                    for (size_t i = 0; i < columns.size(); ++i) {
                        std::string value;
                        SQLLEN indicator = 0;
                        char buffer[65536];
                        for (;;) {
                            SQLLEN part = 0;
                            const SQLRETURN rc =
                                SQLGetData(select.Handle(), SQLUSMALLINT(i + 1),
                                           columns[i].binary ? SQL_C_BINARY : SQL_C_CHAR, buffer,
                                           sizeof buffer, &part);
                            if (rc == SQL_NO_DATA) break;
                            if (!SqlSucceeded(rc)) {
                                indicator = SQL_NULL_DATA;
                                break;
                            }
                            if (part == SQL_NULL_DATA) {
                                indicator = SQL_NULL_DATA;
                                break;
                            }
                            const size_t room = sizeof buffer - (columns[i].binary ? 0 : 1);
                            const bool full = part == SQL_NO_TOTAL || size_t(part) > room;
                            value.append(buffer, full ? room : size_t(part));
                            indicator = SQLLEN(value.size());
                            if (rc == SQL_SUCCESS) break;
                        }
                        columns[i].values.push_back(std::move(value));
                        columns[i].indicators.push_back(indicator);
                    }
                    ++rows;
                }
                select.Reset();
                if (rows > 0) {
                    ODBCStmt insert(set.Archive.Connection);
                    std::string names, marks;
                    std::vector<Column*> bound;
                    for (Column& c : columns) {
                        if (renumbered && strcasecmp(c.name.c_str(), renumbered) == 0) continue;
                        names += (names.empty() ? "" : ", ") + ColumnReference(c.name);
                        marks += marks.empty() ? "?" : ", ?";
                        bound.push_back(&c);
                    }
                    const std::string sql =
                        "insert into " + table + " (" + names + ") values (" + marks + ")";
                    if (!SqlSucceeded(
                            SQLPrepare(insert.Handle(), (SQLCHAR*)sql.c_str(), SQL_NTS))) {
                        std::fprintf(stderr, "floor: prepare %s: %s\n", table.c_str(),
                                     set.Archive.Connection.GetErrorText(insert.Handle()).c_str());
                        ok = false;
                    } else {
                        // Column-wise arrays of fixed-width elements.
                        std::vector<std::vector<char>> buffers(bound.size());
                        std::vector<size_t> widths(bound.size());
                        for (size_t b = 0; b < bound.size(); ++b) {
                            size_t width = 1;
                            for (const std::string& v : bound[b]->values)
                                width = std::max(width, v.size() + 1);
                            widths[b] = width;
                            buffers[b].assign(width * rows, 0);
                            for (size_t r = 0; r < rows; ++r)
                                std::memcpy(buffers[b].data() + r * width,
                                            bound[b]->values[r].data(), bound[b]->values[r].size());
                            if (!bound[b]->binary)
                                for (SQLLEN& ind : bound[b]->indicators)
                                    if (ind != SQL_NULL_DATA) ind = SQL_NTS;
                        }
                        for (size_t from = 0; from < rows && ok; from += 1000) {
                            const size_t n = std::min<size_t>(1000, rows - from);
                            SQLSetStmtAttr(insert.Handle(), SQL_ATTR_PARAMSET_SIZE,
                                           (SQLPOINTER)(uintptr_t)n, 0);
                            for (size_t b = 0; b < bound.size(); ++b) {
                                const Column& c = *bound[b];
                                SQLBindParameter(
                                    insert.Handle(), SQLUSMALLINT(b + 1), SQL_PARAM_INPUT,
                                    c.binary ? SQL_C_BINARY : SQL_C_CHAR, c.type,
                                    std::max<SQLULEN>(c.size, 1), c.digits,
                                    buffers[b].data() + from * widths[b], SQLLEN(widths[b]),
                                    const_cast<SQLLEN*>(c.indicators.data() + from));
                            }
                            if (!SqlExecuted(SQLExecute(insert.Handle()))) {
                                std::fprintf(
                                    stderr, "floor: insert %s: %s\n", table.c_str(),
                                    set.Archive.Connection.GetErrorText(insert.Handle()).c_str());
                                ok = false;
                            }
                        }
                    }
                }
                ODBCStmt remove(db.Connection);
                if (!SqlExecuted(remove.Execute("delete from " + table + " where " + condition))) {
                    std::fprintf(stderr, "floor: delete %s: %s\n", table.c_str(),
                                 db.Connection.GetErrorText(remove.Handle()).c_str());
                    ok = false;
                }
            }
        }
        ok = db.Connection.EndTransaction(true) && ok;
    }
    ok = set.Archive.Connection.EndTransaction(true) && ok;
    cpu = CpuSeconds(RUSAGE_SELF) - cpu0;
    return ok;
}

// The floor in the engine for the Access kind: each Velunda file with the
// archive attached, per table "insert into a.<table> (<columns>) select
// <columns> from <table> where pid in (...)" and the delete, in one
// transaction per file.
bool InsertSelectFloor(const fs::path& database, const std::vector<std::string>& files,
                       const DatabaseSet& set, const std::string& pids, double& cpu) {
    const std::vector<std::string> parts = SplitPidList(pids);
    const double cpu0 = CpuSeconds(RUSAGE_SELF);
    bool ok = true;
    auto exec = [&](sqlite3* db, const std::string& sql) {
        char* error = nullptr;
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            std::fprintf(stderr, "floor: %s: %s\n", sql.substr(0, 80).c_str(), error ? error : "?");
            ok = false;
        }
        sqlite3_free(error);
    };
    for (size_t f = 0; f < files.size(); ++f) {
        sqlite3* db = nullptr;
        if (sqlite3_open((database / files[f]).c_str(), &db) != SQLITE_OK) return false;
        exec(db, "attach database '" + (database / "archiv.mdb").string() + "' as a");
        exec(db, "begin");
        for (const std::string& table : SplitTableList(set.Velunda[f].Tables)) {
            const char* renumbered = RenumberedColumn(table);
            std::string columns;
            sqlite3_stmt* info = nullptr;
            sqlite3_prepare_v2(db, ("pragma main.table_info(" + table + ")").c_str(), -1, &info,
                               nullptr);
            while (info && sqlite3_step(info) == SQLITE_ROW) {
                const std::string name =
                    reinterpret_cast<const char*>(sqlite3_column_text(info, 1));
                if (renumbered && strcasecmp(name.c_str(), renumbered) == 0) continue;
                columns += (columns.empty() ? "\"" : ", \"") + name + "\"";
            }
            sqlite3_finalize(info);
            for (const std::string& part : parts) {
                exec(db, "insert into a." + table + " (" + columns + ") select " + columns +
                             " from main." + table + " where pid in (" + part + ")");
                exec(db, "delete from main." + table + " where pid in (" + part + ")");
            }
        }
        exec(db, "commit");
        sqlite3_close(db);
    }
    cpu = CpuSeconds(RUSAGE_SELF) - cpu0;
    return ok;
}

// moved patients spread evenly over the practice's pids 1..size.
std::string SpreadPids(int size, int moved) {
    std::string pids;
    for (int i = 0; i < moved; ++i)
        pids += (i > 0 ? "," : "") + std::to_string(1 + int64_t(i) * size / moved);
    return pids;
}

// The CPU of cp copying the practice's database files, as the backups do.
double CpCpu(const fs::path& database, const fs::path& work) {
    std::string cp = "cp";
    for (const auto& entry : fs::directory_iterator(database))
        if (entry.path().extension() == ".fdb" || entry.path().extension() == ".mdb")
            cp += " " + entry.path().string();
    fs::create_directory(work / "cp");
    const double before = CpuSeconds(RUSAGE_CHILDREN);
    Run(cp + " " + (work / "cp").string());
    const double cpu = CpuSeconds(RUSAGE_CHILDREN) - before;
    fs::remove_all(work / "cp");
    return cpu;
}

// One run on a fresh copy of the practice, its steps cut by a RunClock; with
// statements given, the run's statements are recorded instead (which costs
// the run the literal text of every insert: that run is not timed).
bool TimedMove(const fs::path& practice, const fs::path& copy, const std::string& pids,
               MoveFigures& figures, MoveStatements* statements) {
    RunClock clock;
    SetLogSink(&clock);
    SetRunProgress(&clock);
    ScriptedWindowServices boxes;
    SetWindowServices(&boxes);
    DatabaseSet set;
    if (!OpenCopy(practice, copy, set)) return false;
    TheAuditLog().SetConnection(&set.MainDatabase().Connection);
    TheAuditLog().SetModuleId(7);
    TheAuditLog().SetDataFolder(copy.string());
    SetRunCheckpointHook([&](const std::string& point, int) {
        clock.Checkpoint(point);
        if (statements && point == "commit") ++statements->commits;
    });
    if (statements) {
        statements->databases = int(set.Velunda.size()) + 1;
        SetStatementObserver(RecordMove, statements);
    }
    ComboBoxModel history;
    const double cpu0 = CpuSeconds(RUSAGE_SELF);
    TransferPatients(set, history, pids);
    figures.run = CpuSeconds(RUSAGE_SELF) - cpu0;
    SetStatementObserver(nullptr, nullptr);
    SetRunCheckpointHook(nullptr);
    for (size_t s = 0; s < kStepCount; ++s)
        figures.steps[s] = clock.Between(kSteps[s].from, kSteps[s].to);
    figures.tables = clock.Tables();
    if (std::getenv("TAMARO_BENCH_LOG")) std::fputs(clock.Raw().c_str(), stdout);
    figures.ok = !clock.Failed();
    TheAuditLog().SetConnection(nullptr);
    Disconnect(set);
    SetRunProgress(nullptr);
    SetLogSink(nullptr);
    SetWindowServices(nullptr);
    // The copies: the first line of each table.
    std::map<std::string, bool> seen;
    figures.rows = 0;
    for (const auto& t : figures.tables)
        if (!seen[t.name]) {
            seen[t.name] = true;
            figures.rows += t.rows;
        }
    return true;
}

int Repeats() {
    const char* n = std::getenv("TAMARO_BENCH_REPEAT");
    return n && std::atoi(n) > 0 ? std::atoi(n) : 3;
}

// Each figure of a move is the median of Repeats() measurements.
bool MeasureMove(const fs::path& build, const fs::path& cache, const fs::path& work,
                 const std::string& kind, int size, int moved, MoveFigures& figures) {
    fs::path practice;
    if (!CachedPractice(build, cache, kind, size, practice)) return false;
    const std::string pids = SpreadPids(size, moved);
    const fs::path copy = work / "move";
    const int repeats = Repeats();
    std::vector<MoveFigures> runs(static_cast<size_t>(repeats));
    std::vector<double> paramArrays, insertSelect, cp, replay, replayRecount;
    MoveStatements statements;
    // The runs alone, for a profile (valgrind --tool=callgrind
    // --toggle-collect='TransferPatients(*').
    const bool runsOnly = std::getenv("TAMARO_BENCH_RUNS_ONLY") != nullptr;
    if (kind == "fdb" && !runsOnly) {
        MoveFigures recorded;
        if (!TimedMove(practice, copy, pids, recorded, &statements)) return false;
    }
    for (MoveFigures& f : runs) {
        if (!TimedMove(practice, copy, pids, f, nullptr)) return false;
        figures.ok = figures.ok && f.ok;
        if (runsOnly) continue;
        {
            DatabaseSet set;
            if (!OpenCopy(practice, copy, set)) return false;
            double seconds = 0;
            if (!ParamArrayFloor(set, pids, seconds)) figures.ok = false;
            paramArrays.push_back(seconds);
            Disconnect(set);
        }
        cp.push_back(CpCpu(practice / "Database", work));
        if (kind == "mdb") {
            DatabaseSet set;
            if (!OpenCopy(practice, copy, set)) return false;
            std::vector<std::string> files;
            for (const auto& db : set.Velunda) files.push_back(db.FileName + ".mdb");
            Disconnect(set);
            double seconds = 0;
            if (!InsertSelectFloor(copy / "Database", files, set, pids, seconds))
                figures.ok = false;
            insertSelect.push_back(seconds);
        } else {
            double runCpu = 0, recountCpu = 0;
            if (!ReplayMove(statements, practice, work, runCpu, recountCpu)) figures.ok = false;
            replay.push_back(runCpu);
            replayRecount.push_back(recountCpu);
        }
    }
    std::vector<double> values;
    auto median = [&](auto field) {
        values.clear();
        for (const MoveFigures& f : runs) values.push_back(field(f));
        return Median(values);
    };
    figures.run = median([](const MoveFigures& f) { return f.run; });
    figures.rows = runs.front().rows;
    for (size_t s = 0; s < kStepCount; ++s)
        figures.steps[s] = median([s](const MoveFigures& f) { return f.steps[s]; });
    figures.tables = runs.front().tables;
    for (size_t t = 0; t < figures.tables.size(); ++t)
        figures.tables[t].cpu = median(
            [t](const MoveFigures& f) { return t < f.tables.size() ? f.tables[t].cpu : 0.0; });
    figures.paramArrays = Median(paramArrays);
    figures.insertSelect = Median(insertSelect);
    figures.cp = Median(cp);
    figures.replay = Median(replay);
    figures.replayRecount = Median(replayRecount);
    fs::remove_all(copy);
    return true;
}

bool MeasureMoves(const fs::path& build, const fs::path& cache, const fs::path& work, int moved,
                  const std::vector<int>& practices, const std::vector<std::string>& kinds) {
    bool ok = true;
    for (const std::string& kind : kinds) {
        std::map<int, MoveFigures> bySize;
        for (int size : practices) {
            std::printf("move:     %d of %d patients, %s ...\n", moved, size,
                        kind == "fdb" ? "Firebird (embedded)" : "Access kind (SQLite)");
            MoveFigures& f = bySize[size];
            if (!MeasureMove(build, cache, work, kind, size, moved, f)) {
                ok = false;
                continue;
            }
            ok = ok && f.ok;
            std::printf("          run %.3f s CPU (%s), %ld rows copied, %.1f us a row\n", f.run,
                        f.ok ? "ok" : "FAILED", f.rows, 1e6 * f.run / std::max(1L, f.rows));
            std::printf("          parameter-array floor %.3f s CPU  ratio %.2f\n", f.paramArrays,
                        f.run / f.paramArrays);
            if (kind == "mdb")
                std::printf(
                    "          insert...select + delete %.3f s, cp of the files %.3f s: "
                    "ratio %.2f (target <= 3)\n",
                    f.insertSelect, f.cp, f.run / (f.insertSelect + f.cp));
            else
                std::printf(
                    "          isql-fb replay of its statements %.3f s CPU beyond its starts "
                    "(recount after the commit %.3f s)\n",
                    f.replay, f.replayRecount);
        }
        const int small = practices.front(), large = practices.back();
        const MoveFigures& s = bySize[small];
        const MoveFigures& l = bySize[large];
        const double scale = double(std::max(1L, l.rows)) / double(std::max(1L, s.rows));
        std::printf("steps:    %s, %d patients moved, CPU seconds (median of %d)\n", kind.c_str(),
                    moved, Repeats());
        std::printf("          %-36s %9d %9d %9s\n", "step", small, large, "extra");
        auto row = [&](const char* name, double a, double b) {
            std::printf("          %-36s %9.3f %9.3f %+9.3f\n", name, a, b, b - a * scale);
        };
        for (size_t i = 0; i < kStepCount; ++i) row(kSteps[i].name, s.steps[i], l.steps[i]);
        row("whole run", s.run, l.run);
        const double runRatio = (l.run / std::max(1L, l.rows)) / (s.run / std::max(1L, s.rows));
        std::printf("          %-36s %9ld %9ld\n", "rows copied", s.rows, l.rows);
        if (kind == "fdb") {
            row("isql-fb replay (beyond its starts)", s.replay, l.replay);
            row("  of it the recount after the commit", s.replayRecount, l.replayRecount);
            const double replayRatio =
                (l.replay / std::max(1L, l.rows)) / (s.replay / std::max(1L, s.rows));
            std::printf(
                "scaling:  fdb per-row cost at %d against %d: run %.2f, isql-fb replay %.2f "
                "(targets: <= 1.3 and <= replay + 0.1 = %.2f)\n",
                large, small, runRatio, replayRatio, replayRatio + 0.1);
        } else {
            std::printf("scaling:  %s per-row cost at %d against %d: run %.2f\n", kind.c_str(),
                        large, small, runRatio);
        }
        std::printf("tables:   %s, %d of %d patients, CPU seconds per table (copy, deletion)\n",
                    kind.c_str(), moved, large);
        std::map<std::string, std::pair<double, double>> perTable;
        std::vector<std::string> order;
        std::map<std::string, long> rows;
        for (const auto& t : l.tables) {
            auto it = perTable.find(t.name);
            if (it == perTable.end()) {
                perTable[t.name] = {t.cpu, 0};
                rows[t.name] = t.rows;
                order.push_back(t.name);
            } else {
                it->second.second += t.cpu;
            }
        }
        double copies = 0, deletions = 0;
        for (const std::string& name : order) {
            std::printf("          %-28s %7ld rows  copy %7.3f s  delete %7.3f s\n", name.c_str(),
                        rows[name], perTable[name].first, perTable[name].second);
            copies += perTable[name].first;
            deletions += perTable[name].second;
        }
        std::printf("          %-28s %7s       copy %7.3f s  delete %7.3f s\n", "all tables", "",
                    copies, deletions);
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    // Each figure as soon as it is measured, also into a file.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    fs::path build = argc > 1 ? fs::path(argv[1])
                              : fs::read_symlink("/proc/self/exe").parent_path().parent_path();
    auto numbers = [](const char* p) {
        std::vector<int> out;
        while (*p) {
            out.push_back(std::atoi(p));
            while (*p && *p != ',') ++p;
            if (*p == ',') ++p;
        }
        return out;
    };
    std::vector<int> sizes = numbers(argc > 2 ? argv[2] : "1000,5000");
    const int moved = argc > 3 ? std::atoi(argv[3]) : 1000;
    const std::vector<int> practices = numbers(argc > 4 ? argv[4] : "5000,30000");
    std::vector<std::string> kinds;
    for (const char* p = argc > 5 ? argv[5] : "fdb,mdb"; *p;) {
        const char* end = std::strchr(p, ',');
        kinds.emplace_back(p, end ? size_t(end - p) : std::strlen(p));
        p = end ? end + 1 : p + std::strlen(p);
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
        if (patients <= 0) continue;
        const fs::path work = base / std::to_string(patients);
        fs::create_directory(work);
        ok = Measure(build, work, patients) && ok;
        if (!std::getenv("TAMARO_KEEP_TEMP")) fs::remove_all(work);
    }
    if (moved > 0 && !practices.empty()) {
        const char* cached = std::getenv("TAMARO_BENCH_CACHE");
        const fs::path cache = cached ? fs::path(cached) : base / "practices";
        fs::create_directories(cache);
        fs::create_directory(base / "moves");
        ok = MeasureMoves(build, cache, base / "moves", moved, practices, kinds) && ok;
    }
    if (!std::getenv("TAMARO_KEEP_TEMP")) fs::remove_all(base);
    return ok ? 0 : 1;
}
