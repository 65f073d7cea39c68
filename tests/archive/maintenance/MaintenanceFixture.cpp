#include "tests/archive/maintenance/MaintenanceFixture.h"

#include <cstdlib>

#include "archive/rows/StatementObserver.h"
#include "core/Globals.h"
#include "db/ODBCStmt.h"

namespace archivetest {

namespace {

void Record(const ArchiveDbPair&, const std::string& sql, void* context) {
    static_cast<std::vector<std::string>*>(context)->push_back(sql);
}

}  // namespace

void MaintenanceTest::SetUp() {
    ArchiveTest::SetUp();
    SetStatementObserver(Record, &statements_);
}

void MaintenanceTest::TearDown() {
    SetStatementObserver(nullptr, nullptr);
    ArchiveTest::TearDown();
}

void MaintenanceTest::RunTool(ArchiveDbPair& db, const std::string& args) {
    // The embedded Firebird engine lets one process at a time open a file.
    db.Connection.Disconnect();
    const std::string cmd = std::string(TAMARO_MKPRACTICE) + " " + args + " 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    ASSERT_TRUE(Connect(db));
}

void MaintenanceTest::OldArchive(int version) {
    const std::string file = DatabaseDir + "/archiv" + Ext();
    std::filesystem::remove(file);
    RunTool(set_->Archive, "--old-archive '" + file + "' --version " + std::to_string(version));
}

void MaintenanceTest::Apply(ArchiveDbPair& db, const std::string& script) {
    RunTool(db, "--apply " + script + " '" + DatabaseDir + "/" + db.FileName + Ext() + "'");
}

int MaintenanceTest::StoredVersion() {
    auto rows = Query(set_->Archive, "select val from dbv");
    return rows.empty() ? -1 : std::atoi(rows[0][0].c_str());
}

std::vector<std::string> MaintenanceTest::ColumnNames(ArchiveDbPair& db, const std::string& table) {
    std::vector<std::string> names;
    ODBCStmt stmt(db.Connection);
    std::string t = table;
    SQLColumns(stmt.Handle(), nullptr, 0, nullptr, 0, reinterpret_cast<SQLCHAR*>(t.data()), SQL_NTS,
               nullptr, 0);
    while (stmt.Fetch()) {
        std::string name;
        stmt.GetColumnString(4, name);
        for (char& c : name)
            if (c >= 'A' && c <= 'Z') c = char(c + 32);
        names.push_back(name);
    }
    return names;
}

}  // namespace archivetest
