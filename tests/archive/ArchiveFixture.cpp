#include "tests/archive/ArchiveFixture.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "archive/rows/ColumnText.h"
#include "archive/rows/PidList.h"
#include "archive/runs/TransferPatients.h"
#include "core/AsciiText.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "core/WindowServices.h"
#include "db/ODBCStmt.h"
#include "db/OdbcResult.h"
#include "tests/fixtures/Practice.h"
#include "users/AuditLog.h"

extern char** environ;

namespace archivetest {

namespace fs = std::filesystem;

namespace {

using asciitext::Lower;

constexpr const char* ChildMarker = "TAMARO_ARCHIVE_TEST_CHILD";

bool DriverBuilt(DatabaseKind kind) {
    const std::string ini = testenv::ReadFile(testenv::BuildDir() / "odbc" / "odbcinst.ini");
    return ini.find(kind == DatabaseKind::Firebird
                        ? "[Firebird/InterBase(r) driver]"
                        : "[Microsoft Access Driver (*.mdb)]") != std::string::npos;
}

// Columns the transfer never writes, so they cannot survive a round trip.
bool SkippedByTransfer(const std::string& table, const std::string& column) {
    return (table == "abrechnungen" && column == "zid") ||
           (table == "diagnosen" && column == "did") ||
           (table == "ldtnummer" && column == "autoid");
}

}  // namespace

std::string KindName(const testing::TestParamInfo<DatabaseKind>& info) {
    return info.param == DatabaseKind::Firebird ? "Firebird" : "Access";
}

bool RunInOwnProcess() {
    if (std::getenv(ChildMarker)) return true;
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter =
        std::string("--gtest_filter=") + info->test_suite_name() + "." + info->name();
    const std::string marker = std::string(ChildMarker) + "=1";
    std::vector<std::string> envText;
    for (char** e = environ; *e; ++e) envText.push_back(*e);
    envText.push_back(marker);
    std::vector<char*> envp;
    for (auto& s : envText) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string self = fs::read_symlink("/proc/self/exe").string();
    std::vector<char*> argv{self.data(), const_cast<char*>(filter.c_str()), nullptr};

    pid_t child = fork();
    if (child == 0) {
        execve(self.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    // A fatal failure, so that the test body does not run here as well.
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        ADD_FAILURE() << "the test failed in its own process (status " << status << ")";
    return false;
}

void ArchiveTest::SetUp() {
    testenv::UseBuiltDrivers();
    // The embedded engine's locks in a folder of the test process (shared
    // with the processes it starts), so that no other engine user on the
    // machine can hold up the tests.
    if (!std::getenv("FIREBIRD_LOCK")) {
        static testenv::TempDir lockFolder("tamaro-fblock");
        setenv("FIREBIRD_LOCK", lockFolder.str().c_str(), 1);
    }
    unsetenv("TAMARO_ODBC_FAIL_AFTER");
    unsetenv("TAMARO_ODBC_FAIL_MATCH");
    if (!DriverBuilt(Kind())) GTEST_SKIP() << "driver of this kind not built";
    SetLogSink(&log_);
    SetWindowServices(&boxes_);
}

void ArchiveTest::TearDown() {
    unsetenv("TAMARO_ODBC_FAIL_AFTER");
    unsetenv("TAMARO_ODBC_FAIL_MATCH");
    if (set_) DisconnectAll();
    TheAuditLog().SetConnection(nullptr);
    SetLogSink(nullptr);
    SetWindowServices(nullptr);
}

void ArchiveTest::Install(int patients, const std::string& extraArgs) {
    const fs::path cache = testenv::CachedPractice(Kind() == DatabaseKind::Firebird ? "fdb" : "mdb",
                                                   patients, extraArgs);
    ASSERT_FALSE(cache.empty()) << "tamaro-mkpractice failed";
    const fs::path database = dir_.path() / "Database";
    fs::copy(cache / "Database", database, fs::copy_options::recursive);
    fs::copy_file(testenv::ProgramDir() / "tpl" / (std::string("archiv") + Ext()),
                  database / (std::string("archiv") + Ext()));
    VelundaDir = dir_.str();
    DataDir = dir_.str();
    DatabaseDir = database.string();
    ServerPath = DatabaseDir;
    set_ = std::make_unique<DatabaseSet>();
    ConnectAll();
    TheAuditLog().SetConnection(&set_->MainDatabase().Connection);
    TheAuditLog().SetModuleId(7);
    TheAuditLog().SetDataFolder(dir_.str());
    log_.Clear();
    installed_ = true;
}

void ArchiveTest::ConnectAll() {
    for (auto& db : set_->Velunda) ASSERT_TRUE(Connect(db)) << db.FileName;
    ASSERT_TRUE(Connect(set_->Archive));
}

void ArchiveTest::DisconnectAll() {
    for (auto& db : set_->Velunda) db.Connection.Disconnect();
    set_->Archive.Connection.Disconnect();
}

void ArchiveTest::Exec(ArchiveDbPair& db, const std::string& sql) {
    ODBCStmt stmt(db.Connection);
    ASSERT_TRUE(stmt.ExecDirect(sql)) << sql << ": " << db.Connection.GetErrorText(stmt.Handle());
}

std::vector<std::vector<std::string>> ArchiveTest::Query(ArchiveDbPair& db,
                                                         const std::string& sql) {
    std::vector<std::vector<std::string>> rows;
    ODBCStmt stmt(db.Connection);
    EXPECT_TRUE(stmt.ExecDirect(sql)) << sql << ": " << db.Connection.GetErrorText(stmt.Handle());
    SQLSMALLINT count = 0;
    SQLNumResultCols(stmt.Handle(), &count);
    while (stmt.Fetch()) {
        std::vector<std::string> row;
        for (SQLSMALLINT i = 1; i <= count; ++i) {
            std::string text;
            SQLLEN indicator = 0;
            EXPECT_TRUE(ReadColumnText(stmt.Handle(), SQLUSMALLINT(i), text, indicator));
            row.push_back(indicator == SQL_NULL_DATA ? "<null>" : text);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

int ArchiveTest::Count(ArchiveDbPair& db, const std::string& sql) {
    auto rows = Query(db, sql);
    return rows.empty() || rows[0].empty() ? -1 : std::atoi(rows[0][0].c_str());
}

Snapshot ArchiveTest::Take(ArchiveDbPair* list, const std::string& pidList) {
    Snapshot snapshot;
    for (ArchiveDbPair* db = list; db; db = db->Next) {
        for (const std::string& table : SplitTableList(db->Tables)) {
            std::string sql = "select * from " + table;
            if (!pidList.empty()) sql += " where pid in (" + pidList + ")";
            ODBCStmt stmt(db->Connection);
            EXPECT_TRUE(stmt.ExecDirect(sql)) << sql;
            TableRows& t = snapshot[table];
            std::vector<bool> text, fixed, keep;
            std::vector<std::string> names;
            for (const ResultColumn& result : stmt.ResultColumns()) {
                const SQLSMALLINT type = result.type;
                const std::string column = Lower(result.name);
                text.push_back(type == SQL_CHAR || type == SQL_VARCHAR || type == SQL_LONGVARCHAR);
                fixed.push_back(type == SQL_CHAR);
                keep.push_back(!SkippedByTransfer(table, column));
                names.push_back(column);
            }
            // Columns sorted by name, so that both sides compare whatever
            // order their tables have.
            std::vector<size_t> order;
            for (size_t i = 0; i < names.size(); ++i)
                if (keep[i]) order.push_back(i);
            std::sort(order.begin(), order.end(),
                      [&](size_t a, size_t b) { return names[a] < names[b]; });
            t.columns.clear();
            for (size_t i : order) t.columns.push_back(names[i]);
            while (stmt.Fetch()) {
                std::vector<std::string> raw(names.size());
                for (size_t i = 0; i < names.size(); ++i) {
                    SQLLEN indicator = 0;
                    EXPECT_TRUE(
                        ReadColumnText(stmt.Handle(), SQLUSMALLINT(i + 1), raw[i], indicator));
                    if (indicator == SQL_NULL_DATA && !text[i]) raw[i] = "<null>";
                    // A fixed-width column pads the '' of a blanked null.
                    if (fixed[i])
                        while (!raw[i].empty() && raw[i].back() == ' ') raw[i].pop_back();
                }
                std::vector<std::string> row;
                for (size_t i : order) row.push_back(raw[i]);
                t.rows.push_back(std::move(row));
            }
            std::sort(t.rows.begin(), t.rows.end());
        }
    }
    return snapshot;
}

std::map<std::string, std::string> ArchiveTest::Files() {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(DatabaseDir)) {
        const std::string ext = entry.path().extension().string();
        if (ext == ".fdb" || ext == ".mdb")
            files[entry.path().filename().string()] = testenv::ReadFile(entry.path());
    }
    return files;
}

std::vector<std::string> ArchiveTest::BakFiles() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(DatabaseDir))
        if (entry.path().extension() == ".bak") names.push_back(entry.path().filename().string());
    return names;
}

int ArchiveTest::AuditEntries(int category) {
    return Count(set_->MainDatabase(),
                 "select count(*) from log where mid=7 and kategorie=" + std::to_string(category));
}

std::vector<LogRecorder::Line> ArchiveTest::LogLines() const {
    auto lines = log_.Lines();
    if (!lines.empty() && lines.back().text.empty()) lines.pop_back();
    return lines;
}

std::vector<std::string> ArchiveTest::LogTexts() const {
    std::vector<std::string> texts;
    for (const auto& line : LogLines()) texts.push_back(line.text);
    return texts;
}

void ArchiveTest::Transfer(const std::string& pidList) {
    TransferPatients(*set_, history_, pidList);
}

}  // namespace archivetest
