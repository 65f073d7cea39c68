// The audit log on real databases of both kinds, through unixODBC and the
// project's drivers.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "core/ScriptedWindowServices.h"
#include "core/WindowServices.h"
#include "db/ODBCConnection.h"
#include "db/ODBCStmt.h"
#include "platform/UserAndHost.h"
#include "tests/fixtures/TestEnv.h"
#include "users/AuditLog.h"

namespace {

namespace fs = std::filesystem;
using testenv::ReadFile;
using testenv::TempDir;
using testenv::WriteFile;

enum class Kind { Firebird, Access };

struct LogRow {
    int32_t mid, lid, aid, pid, datum, kategorie, art, intval1, intval2, intval3;
    std::string client, notiz;
};

int32_t clockNow = 1700000000;
int32_t TestClock() {
    return clockNow;
}

class AuditLogDbTest : public ::testing::TestWithParam<Kind> {
  protected:
    void SetUp() override {
        testenv::UseBuiltDrivers();
        SetWindowServices(&boxes_);
        clockNow = 1700000000;
        const std::string ini = ReadFile(testenv::BuildDir() / "odbc" / "odbcinst.ini");
        const char* section = GetParam() == Kind::Firebird ? "[Firebird/InterBase(r) driver]"
                                                           : "[Microsoft Access Driver (*.mdb)]";
        if (ini.find(section) == std::string::npos) GTEST_SKIP() << "driver not built";
        ASSERT_TRUE(Open(conn_));
        Exec(
            "create table log (mid integer, lid integer, aid integer, pid integer, "
            "datum integer, kategorie integer, art integer, intval1 integer, intval2 integer, "
            "intval3 integer, client varchar(255), notiz varchar(255))");
        Exec("create table dbv (val integer)");
        SetVersion(188);
    }
    void TearDown() override {
        conn_.Disconnect();
        SetWindowServices(nullptr);
    }

    bool Open(ODBCConnection& c) {
        const std::string s = GetParam() == Kind::Firebird
                                  ? "DRIVER=Firebird/InterBase(r) driver;DBNAME=" + dir_.str() +
                                        "/data.fdb;UID=SYSDBA;PWD=tilvormex;CREATEDB=1"
                                  : "Driver={Microsoft Access Driver (*.mdb)};Dbq=" + dir_.str() +
                                        "/data.mdb;Pwd=lamp(hurz);CREATEDB=1";
        return c.OpenConnection(s);
    }
    void Exec(const std::string& sql) {
        ODBCStmt stmt(conn_);
        ASSERT_TRUE(stmt.ExecDirect(sql)) << sql << ": " << conn_.GetErrorText(stmt.Handle());
    }
    // The version is cached per connection, so each version gets a fresh one.
    void SetVersion(int32_t version) {
        Exec("delete from dbv");
        Exec("insert into dbv (val) values(" + std::to_string(version) + ")");
    }
    std::vector<LogRow> Rows(const std::string& where = "") {
        std::vector<LogRow> rows;
        ODBCStmt stmt(conn_);
        EXPECT_TRUE(stmt.ExecDirect(
            "select mid, lid, aid, pid, datum, kategorie, art, intval1, intval2, intval3, "
            "client, notiz from log " +
            where + " order by datum, notiz"));
        while (stmt.Fetch()) {
            LogRow r{};
            int32_t* ints[] = {&r.mid,       &r.lid, &r.aid,     &r.pid,     &r.datum,
                               &r.kategorie, &r.art, &r.intval1, &r.intval2, &r.intval3};
            for (SQLUSMALLINT i = 0; i < 10; ++i) stmt.GetColumnInt(i + 1, *ints[i]);
            stmt.GetColumnString(11, r.client);
            stmt.GetColumnString(12, r.notiz);
            rows.push_back(r);
        }
        return rows;
    }
    void Attach(AuditLog& log, ODBCConnection& c) {
        log.SetClock(TestClock);
        log.SetConnection(&c);
        log.SetModuleId(7);
    }

    TempDir dir_;
    ScriptedWindowServices boxes_;
    ODBCConnection conn_;
};

TEST_P(AuditLogDbTest, RowsOfAnEntryBeforeAndAfterTheLogin) {
    AuditLog log;
    Attach(log, conn_);
    log.WriteAuditEntry(1, "Tamaro V1.38 gestartet.");
    log.SetUserId(4);
    log.SetDoctorId(9);
    clockNow += 5;
    log.WriteAuditEntry(1, "Login: O'Neill M\xFCller");
    EXPECT_TRUE(log.Queue().empty());
    EXPECT_TRUE(boxes_.Boxes().empty());

    std::string user, host;
    const std::string client = (GetLoginName(user) ? user : std::string("unbekannt")) + ":" +
                               (GetHostName(host) ? host : "");
    const std::vector<LogRow> rows = Rows();
    ASSERT_EQ(rows.size(), 2u);
    const LogRow& start = rows[0];
    EXPECT_EQ(start.mid, 7);
    EXPECT_EQ(start.lid, -1);
    EXPECT_EQ(start.aid, -1);
    EXPECT_EQ(start.pid, -1);
    EXPECT_EQ(start.datum, 1700000000);
    EXPECT_EQ(start.kategorie, 1);
    EXPECT_EQ(start.art, 0);
    EXPECT_EQ(start.intval1, -1);
    EXPECT_EQ(start.intval2, -1);
    EXPECT_EQ(start.intval3, -1);
    EXPECT_EQ(start.client, client);
    EXPECT_EQ(start.notiz, "Tamaro V1.38 gestartet.");
    EXPECT_EQ(rows[1].lid, 4);
    EXPECT_EQ(rows[1].aid, 9);
    EXPECT_EQ(rows[1].datum, 1700000005);
    EXPECT_EQ(rows[1].notiz, "Login: O'Neill M\xFCller");
}

TEST_P(AuditLogDbTest, LongTextsAreStoredInSegments) {
    AuditLog log;
    Attach(log, conn_);
    log.WriteAuditEntry(2, std::string(255, 'a'));
    EXPECT_EQ(Rows().size(), 1u);
    EXPECT_EQ(Rows()[0].notiz, std::string(255, 'a'));

    Exec("delete from log");
    log.WriteAuditEntry(2, std::string(253, 'b') + "xyz");
    const std::vector<LogRow> rows = Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].notiz, std::string(253, 'b') + " \xBB");
    EXPECT_EQ(rows[1].notiz, "xyz");
    EXPECT_EQ(rows[0].datum, rows[1].datum);

    // Several segments: each takes the text on where the one before ended,
    // and the rest of 255 characters is the last.
    Exec("delete from log");
    const std::string text = std::string(253, 'a') + std::string(253, 'b') +
                             std::string(253, 'c') + std::string(255, 'd');
    log.WriteAuditEntry(2, text);
    const std::vector<LogRow> many = Rows();
    ASSERT_EQ(many.size(), 4u);
    std::string joined;
    for (size_t i = 0; i < many.size(); ++i) {
        ASSERT_EQ(many[i].notiz.size(), 255u) << i;
        const bool last = i + 1 == many.size();
        if (!last) {
            EXPECT_EQ(many[i].notiz.substr(253), " \xBB") << i;
        }
        joined += many[i].notiz.substr(0, last ? 255 : 253);
    }
    EXPECT_EQ(joined, text);
}

TEST_P(AuditLogDbTest, OldDatabaseKeepsTheQueueUntilTheNextStart) {
    SetVersion(187);
    ODBCConnection old;
    ASSERT_TRUE(Open(old));
    {
        AuditLog log;
        Attach(log, old);
        log.SetDataFolder(dir_.str());
        log.WriteAuditEntry(1, "Tamaro V1.38 gestartet.");
        clockNow += 60;
        log.WriteAuditEntry(2, "Zeile eins\r\nZeile zwei");
        EXPECT_EQ(log.Queue().size(), 2u);
        log.SaveAtProgramEnd();
    }
    old.Disconnect();
    EXPECT_TRUE(Rows().empty());
    const std::string saved = ReadFile(dir_.path() / "log.save");
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 2);
    EXPECT_NE(saved.find("Zeile eins\x02\x01Zeile zwei"), std::string::npos);

    // The next start, against a database of version 188.
    SetVersion(188);
    ODBCConnection current;
    ASSERT_TRUE(Open(current));
    clockNow += 3600;
    AuditLog next;
    next.SetClock(TestClock);
    next.SetModuleId(7);
    next.WriteAuditEntry(1, "Tamaro V1.38 gestartet.");
    next.SetDataFolder(dir_.str());
    next.LoadAuditFile();
    next.FlushAuditQueue();
    EXPECT_EQ(next.Queue().size(), 3u);
    EXPECT_FALSE(fs::exists(dir_.path() / "log.save"));
    Attach(next, current);
    next.FlushAuditQueue();
    EXPECT_TRUE(next.Queue().empty());
    current.Disconnect();

    const std::vector<LogRow> rows = Rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].datum, 1700000000);
    EXPECT_EQ(rows[1].datum, 1700000060);
    EXPECT_EQ(rows[1].notiz, "Zeile eins\r\nZeile zwei");
    EXPECT_EQ(rows[2].datum, 1700003660);
    EXPECT_TRUE(boxes_.Boxes().empty());
}

// An audit insert as the program writes it, with the given notiz.
std::string AuditInsert(const std::string& notiz) {
    return "insert into log (mid, lid, aid, pid, datum, kategorie, art, intval1, intval2, "
           "intval3, client, notiz) values(7, -1, -1, -1, 1700000000, 1, 0, -1, -1, -1, "
           "'wks:host', '" +
           notiz + "')";
}

// "log.save" lies in a folder every workstation can write: only lines of the
// audit log's own shape are taken back, everything else is shown and
// dropped without ever reaching the database.
TEST_P(AuditLogDbTest, LinesOfAnyOtherShapeAreShownAndNeverExecuted) {
    Exec("create table patienten (pid integer, name varchar(40))");
    Exec("insert into patienten (pid, name) values(1, 'Meier')");
    const std::string valid = AuditInsert("gerettet");
    auto changed = [&](const std::string& from, const std::string& to) {
        std::string sql = valid;
        return sql.replace(sql.find(from), from.size(), to);
    };
    const std::vector<std::string> hostile = {
        "delete from patienten",
        "update patienten set name = 'x'",
        "drop table patienten",
        valid + "; delete from patienten",
        valid + ";",
        valid + " -- Kommentar",
        "/* Kommentar */ " + valid,
        changed("values(7, -1", "values(7, /* */ -1"),
        "insert into patienten (pid, name) values(2, 'Neu')",
        changed("insert into log", "INSERT INTO LOG"),
        changed("values(7,", "values((select max(pid) from patienten),"),
        changed("values(7, -1, -1, -1, 1700000000, 1, 0, -1, -1, -1, 'wks:host', 'gerettet')",
                "select 7, -1, -1, -1, 1, 1, 0, -1, -1, -1, name, name from patienten"),
        AuditInsert("x'); delete from patienten; --"),
        AuditInsert("O'Brien"),
        "das ist kein SQL",
        "\x01\x02\xFF Abfall",
    };
    std::string file;
    for (const std::string& line : hostile) file += line + "\r\n";
    file += valid + "\r\n";
    // A quote doubled inside the text is the program's own form and is taken.
    file += AuditInsert("O''Brien") + "\r\n";
    WriteFile(dir_.path() / "log.save", file);

    AuditLog log;
    log.SetDataFolder(dir_.str());
    log.LoadAuditFile();
    EXPECT_EQ(log.Queue(), (std::vector<std::string>{valid, AuditInsert("O''Brien")}));
    Attach(log, conn_);
    log.FlushAuditQueue();

    // The first ten refused lines are shown as the program shows a refused
    // entry, the rest are counted in one more box.
    ASSERT_EQ(boxes_.Boxes().size(), 11u);
    const std::string why = "\n---\nDie Zeile in \"" + dir_.str() +
                            "/log.save\" ist kein Protokolleintrag von Tamaro; sie wird "
                            "verworfen und nicht ausgef\xFChrt.";
    for (size_t n = 0; n < 10; ++n) {
        std::string line = hostile[n];
        for (char& c : line) c = c == '\x01' ? '\n' : c == '\x02' ? '\r' : c;
        EXPECT_EQ(boxes_.Boxes()[n].text, "Fehler beim Loggen:\n" + line + why);
    }
    EXPECT_EQ(boxes_.Boxes()[10].text,
              "Fehler beim Loggen:\n6 weitere Zeilen in \"" + dir_.str() +
                  "/log.save\" sind keine Protokolleintr\xE4ge von Tamaro; sie werden verworfen "
                  "und nicht ausgef\xFChrt.");

    ODBCStmt stmt(conn_);
    ASSERT_TRUE(stmt.ExecDirect("select pid, name from patienten"));
    ASSERT_TRUE(stmt.Fetch());
    std::string name;
    stmt.GetColumnString(2, name);
    EXPECT_EQ(name, "Meier");
    EXPECT_FALSE(stmt.Fetch());
    stmt.Reset();
    std::vector<std::string> notes;
    for (const LogRow& r : Rows()) notes.push_back(r.notiz);
    std::sort(notes.begin(), notes.end());
    EXPECT_EQ(notes, (std::vector<std::string>{"O'Brien", "gerettet"}));
    EXPECT_FALSE(fs::exists(dir_.path() / "log.save"));
}

// The window runs other handlers while a message box is open; an entry that
// one of them writes during the flush is written once and not lost.
class BoxWritesAnEntry : public ScriptedWindowServices {
  public:
    explicit BoxWritesAnEntry(AuditLog& log) : log_(log) {}
    MsgResult MessageBox(const std::string& text, MsgButtons buttons, MsgResult defaultButton,
                         MsgIcon icon) override {
        if (Boxes().empty()) log_.WriteAuditEntry(2, "Patienten erfolgreich archiviert.");
        return ScriptedWindowServices::MessageBox(text, buttons, defaultButton, icon);
    }

  private:
    AuditLog& log_;
};

TEST_P(AuditLogDbTest, EntryWrittenWhileAnErrorIsShownIsKept) {
    AuditLog log;
    BoxWritesAnEntry boxes(log);
    SetWindowServices(&boxes);
    log.SetDataFolder(dir_.str());
    // The database refuses the first entry (a fault of the driver's own
    // making); the box that shows it lets the window write another.
    WriteFile(dir_.path() / "log.save",
              AuditInsert("kaputt") + "\r\n" + AuditInsert("danach") + "\r\n");
    log.LoadAuditFile();
    Attach(log, conn_);
    setenv("TAMARO_ODBC_FAIL_MATCH", "'kaputt'", 1);
    setenv("TAMARO_ODBC_FAIL_AFTER", "0", 1);
    log.FlushAuditQueue();
    unsetenv("TAMARO_ODBC_FAIL_AFTER");
    unsetenv("TAMARO_ODBC_FAIL_MATCH");
    EXPECT_TRUE(log.Queue().empty());
    EXPECT_EQ(boxes.Boxes().size(), 1u);
    std::vector<std::string> notes;
    for (const LogRow& r : Rows()) notes.push_back(r.notiz);
    std::sort(notes.begin(), notes.end());
    EXPECT_EQ(notes, (std::vector<std::string>{"Patienten erfolgreich archiviert.", "danach"}));
}

TEST_P(AuditLogDbTest, PruningDeletesOnlyOldRowsOfThisModule) {
    const int32_t now = 1700000000;
    const int32_t cutoff = now - 31536000;
    auto insert = [&](int mid, int32_t datum, const char* notiz) {
        Exec("insert into log (mid, datum, notiz) values(" + std::to_string(mid) + ", " +
             std::to_string(datum) + ", '" + notiz + "')");
    };
    insert(7, cutoff - 1, "alt7");
    insert(7, cutoff, "grenze7");
    insert(7, now - 100, "neu7");
    insert(3, cutoff - 1000, "alt3");
    AuditLog log;
    log.SetClock(TestClock);
    log.SetConnection(&conn_);
    log.PruneAuditLog();  // module id 0: nothing happens
    EXPECT_EQ(Rows().size(), 4u);
    log.SetModuleId(7);
    log.PruneAuditLog();
    std::vector<std::string> left;
    for (const LogRow& r : Rows()) left.push_back(r.notiz);
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"alt3", "grenze7", "neu7"}));
    EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_P(AuditLogDbTest, ClosedConnectionKeepsTheQueueWithoutMessages) {
    ODBCConnection closed;
    AuditLog log;
    Attach(log, closed);
    log.WriteAuditEntry(1, "a");
    log.PruneAuditLog();
    EXPECT_EQ(log.Queue().size(), 1u);
    EXPECT_TRUE(boxes_.Boxes().empty());
    Attach(log, conn_);
    log.FlushAuditQueue();
    EXPECT_TRUE(log.Queue().empty());
    EXPECT_EQ(Rows().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Kinds, AuditLogDbTest, ::testing::Values(Kind::Firebird, Kind::Access),
                         [](const ::testing::TestParamInfo<Kind>& info) {
                             return info.param == Kind::Firebird ? "Firebird" : "Access";
                         });

}  // namespace
