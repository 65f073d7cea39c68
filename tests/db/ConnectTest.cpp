#include <gtest/gtest.h>

#include <string>

#include "core/Globals.h"
#include "db/ODBCStmt.h"
#include "tests/db/DbFixture.h"

namespace dbtest {
namespace {

class ConnectionStrings : public RecordingTest {};

TEST_F(ConnectionStrings, FirebirdTakesServerPathInSlashFormAndKeepsIt) {
    ServerPath = "127.0.0.1:C:\\Praxis\\Database";
    VelundaDir = "/opt/velunda";
    EXPECT_EQ(FirebirdConnectionString("data"),
              "DRIVER=Firebird/InterBase(r) driver;AutoQuotedIdentifier=false;"
              "client=/opt/velunda/Module/ETC/fbclient.dll;"
              "DBNAME=127.0.0.1:C:/Praxis/Database/data.fdb;UID=SYSDBA;PWD=tilvormex");
    EXPECT_EQ(ServerPath, "127.0.0.1:C:/Praxis/Database");
    EXPECT_NE(
        FirebirdConnectionString("kartei").find("DBNAME=127.0.0.1:C:/Praxis/Database/kartei.fdb;"),
        std::string::npos);
}

TEST_F(ConnectionStrings, EmptyVelundaDirLeavesBareClientPath) {
    VelundaDir = "";
    EXPECT_NE(FirebirdConnectionString("data").find(";client=/Module/ETC/fbclient.dll;"),
              std::string::npos);
}

TEST_F(ConnectionStrings, AccessUsesDatabaseDir) {
    DatabaseDir = "/srv/praxis/Database";
    EXPECT_EQ(AccessConnectionString("rechnung"),
              "Driver={Microsoft Access Driver (*.mdb)};Dbq=/srv/praxis/Database/rechnung.mdb;"
              "Pwd=lamp(hurz);");
}

TEST_F(ConnectionStrings, NeitherFilePresentIsAccessAndFailsByName) {
    ArchiveDbPair db("Velunda", "data", "patienten");
    EXPECT_FALSE(Connect(db));
    EXPECT_EQ(db.Extension, ".mdb");
    EXPECT_FALSE(db.Connection.IsOpen());
    ASSERT_EQ(log_.Lines().size(), 1u);
    EXPECT_EQ(log_.Lines()[0].text, "Fehler beim Connect zu data.mdb");
    EXPECT_EQ(log_.Lines()[0].colour, ColourRed);
    EXPECT_TRUE(boxes_.Texts().empty());
}

TEST_F(ConnectionStrings, UnreadableFirebirdFileFailsAsFirebird) {
    if (!DriverBuilt(DatabaseKind::Firebird)) GTEST_SKIP() << "Firebird driver not built";
    testenv::WriteFile(dir_.path() / "ifap.fdb", std::string(4096, 'x'));
    ArchiveDbPair db("Ifap", "ifap", "docmed");
    EXPECT_FALSE(Connect(db));
    EXPECT_EQ(db.Extension, ".fdb");
    EXPECT_EQ(log_.Texts(), std::vector<std::string>{"Fehler beim Connect zu ifap.fdb"});
}

TEST_F(ConnectionStrings, BothFilesPresentChoosesFirebird) {
    if (!DriverBuilt(DatabaseKind::Firebird) || !DriverBuilt(DatabaseKind::Access))
        GTEST_SKIP() << "needs both drivers";
    ASSERT_TRUE(CreateDatabase(DatabaseKind::Access, dir_.str(), "data"));
    ArchiveDbPair db("Velunda", "data", "patienten");
    ASSERT_TRUE(Connect(db));
    EXPECT_EQ(db.Extension, ".mdb");
    EXPECT_FALSE(db.Connection.IsFirebird());
    db.Connection.Disconnect();

    ASSERT_TRUE(CreateDatabase(DatabaseKind::Firebird, dir_.str(), "data"));
    ASSERT_TRUE(Connect(db));
    EXPECT_EQ(db.Extension, ".fdb");
    EXPECT_TRUE(db.Connection.IsFirebird());
    db.Connection.Disconnect();
    EXPECT_TRUE(log_.Texts().empty());
}

TEST_F(ConnectionStrings, FirebirdFlagIgnoresLetterCase) {
    if (!DriverBuilt(DatabaseKind::Firebird)) GTEST_SKIP() << "Firebird driver not built";
    ASSERT_TRUE(CreateDatabase(DatabaseKind::Firebird, dir_.str(), "data"));
    ODBCConnection c;
    ASSERT_TRUE(c.OpenConnection("driver=Firebird/InterBase(r) driver;dbname=" + dir_.str() +
                                 "/data.fdb;uid=SYSDBA;pwd=tilvormex;x=FIREBIRD/INTERBASE(R)"));
    EXPECT_TRUE(c.IsFirebird());
    c.Disconnect();
}

class Kinds : public DbTest {};

TEST_P(Kinds, ConnectSetsKindAndFlag) {
    EXPECT_EQ(db_.Extension, Kind() == DatabaseKind::Firebird ? ".fdb" : ".mdb");
    EXPECT_EQ(db_.Connection.IsFirebird(), Kind() == DatabaseKind::Firebird);
    EXPECT_EQ(KindOfExtension(db_.Extension), Kind());
}

TEST_P(Kinds, PatCountReportsTheCount) {
    Exec("create table patienten (pid integer, name varchar(40))");
    for (int pid = 1; pid <= 3; ++pid)
        Exec("insert into patienten (pid) values (" + std::to_string(pid) + ")");
    Exec("insert into patienten (pid, name) values (null, 'ohne pid')");
    db_.DisplayName = "Archiv";
    EXPECT_EQ(PatCount(db_), 3);
    ASSERT_EQ(log_.Lines().size(), 1u);
    EXPECT_EQ(log_.Lines()[0].text, "Archiv: 3 Patienten");
    EXPECT_EQ(log_.Lines()[0].colour, ColourCount);
}

TEST_P(Kinds, PatCountWithoutTableLogsTheDriverMessage) {
    EXPECT_EQ(PatCount(db_), 0);
    ASSERT_EQ(log_.Lines().size(), 1u);
    const std::string line = log_.Lines()[0].text;
    EXPECT_EQ(line.rfind("Fehler in PatCount: ", 0), 0u) << line;
    EXPECT_GT(line.size(), std::string("Fehler in PatCount: ").size());
    EXPECT_EQ(line.find("<unbekannt>"), std::string::npos) << line;
    EXPECT_EQ(log_.Lines()[0].colour, ColourRed);
    EXPECT_TRUE(boxes_.Texts().empty());
}

TEST_P(Kinds, PatCountOnFailedConnectionIsSilent) {
    Exec("create table patienten (pid integer)");
    db_.Connection.Disconnect();
    EXPECT_EQ(PatCount(db_), 0);
    EXPECT_TRUE(log_.Texts().empty());
    EXPECT_TRUE(boxes_.Texts().empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, Kinds,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access), KindName);

}  // namespace
}  // namespace dbtest
