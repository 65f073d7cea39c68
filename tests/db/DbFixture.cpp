#include "tests/db/DbFixture.h"

#include "core/Globals.h"
#include "core/LogSink.h"
#include "core/WindowServices.h"
#include "db/ODBCStmt.h"
#include "db/OdbcResult.h"

namespace dbtest {

bool DriverBuilt(DatabaseKind kind) {
    std::string ini = testenv::ReadFile(testenv::BuildDir() / "odbc" / "odbcinst.ini");
    return ini.find(kind == DatabaseKind::Firebird
                        ? "[Firebird/InterBase(r) driver]"
                        : "[Microsoft Access Driver (*.mdb)]") != std::string::npos;
}

std::string CreateString(DatabaseKind kind, const std::string& dir, const std::string& file) {
    if (kind == DatabaseKind::Firebird)
        return "DRIVER=Firebird/InterBase(r) driver;DBNAME=" + dir + "/" + file +
               ".fdb;UID=SYSDBA;PWD=tilvormex;CREATEDB=1";
    return "Driver={Microsoft Access Driver (*.mdb)};Dbq=" + dir + "/" + file +
           ".mdb;Pwd=lamp(hurz);CREATEDB=1";
}

bool CreateDatabase(DatabaseKind kind, const std::string& dir, const std::string& file) {
    ODBCConnection c;
    if (!c.OpenConnection(CreateString(kind, dir, file))) return false;
    c.Disconnect();
    return true;
}

std::string KindName(const testing::TestParamInfo<DatabaseKind>& info) {
    return info.param == DatabaseKind::Firebird ? "Firebird" : "Access";
}

namespace {
void Install(const testenv::TempDir& dir, LogRecorder& log, ScriptedWindowServices& boxes) {
    testenv::UseBuiltDrivers();
    DatabaseDir = dir.str();
    ServerPath = dir.str();
    VelundaDir = "";
    SetLogSink(&log);
    SetWindowServices(&boxes);
}
void Uninstall() {
    SetLogSink(nullptr);
    SetWindowServices(nullptr);
}
}  // namespace

void RecordingTest::SetUp() {
    Install(dir_, log_, boxes_);
}
void RecordingTest::TearDown() {
    Uninstall();
}

void DbTest::SetUp() {
    Install(dir_, log_, boxes_);
    if (!DriverBuilt(Kind())) GTEST_SKIP() << "driver of this kind not built";
    ASSERT_TRUE(CreateDatabase(Kind(), dir_.str(), "data"));
    ASSERT_TRUE(Connect(db_)) << testing::PrintToString(log_.Texts());
    log_.Clear();
}

void DbTest::TearDown() {
    db_.Connection.Disconnect();
    Uninstall();
}

void DbTest::Exec(const std::string& sql) {
    ODBCStmt stmt(Conn());
    SQLRETURN rc = stmt.Execute(sql);
    ASSERT_TRUE(SqlSucceeded(rc) || rc == SQL_NO_DATA)
        << sql << ": " << Conn().GetErrorText(stmt.Handle());
}

}  // namespace dbtest
