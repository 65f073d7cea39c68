// Practice installations written by tamaro-mkpractice (run as a separate
// process), read back through unixODBC and the project's drivers with the
// connection strings and queries of the program.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "core/AsciiText.h"
#include "tests/fixtures/TestEnv.h"
#include "tests/tools/ArchivedTables.h"
#include "tools/OdbcSession.h"
#include "tools/PracticeGenerator.h"
#include "tools/SchemaScript.h"

namespace fs = std::filesystem;
using testenv::TempDir;

namespace {

constexpr int kPatients = 30;
constexpr const char* kNow = "1765000000";  // 2025-12-06

using Row = std::vector<std::optional<std::string>>;

struct ColumnDesc {
    int type;
    int size;
    bool operator==(const ColumnDesc&) const = default;
};

// A plain ODBC connection for reading a database back.
class Probe {
  public:
    explicit Probe(const std::string& connectionString) {
        if (!SQL_SUCCEEDED(session_.Connect(connectionString))) error_ = session_.LastError();
    }
    bool Connected() const { return session_.connected; }
    const std::string& Error() const { return error_; }

    // All rows as text; nullopt on failure (the driver's text in Error()).
    std::optional<std::vector<Row>> Query(const std::string& sql) {
        OdbcStatement st(session_);
        SQLRETURN rc = st.Exec(sql);
        if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
            error_ = st.Error() + "\n" + sql;
            return std::nullopt;
        }
        return Fetch(st.h);
    }
    std::string Scalar(const std::string& sql) {
        auto rows = Query(sql);
        if (!rows || rows->empty() || (*rows)[0].empty() || !(*rows)[0][0]) return "<none>";
        return *(*rows)[0][0];
    }
    // Lower-case column name -> type code and, for character types, size.
    std::map<std::string, ColumnDesc> Columns(const std::string& table) {
        OdbcStatement st(session_);
        std::map<std::string, ColumnDesc> out;
        if (SQL_SUCCEEDED(SQLColumns(st.h, nullptr, 0, nullptr, 0,
                                     reinterpret_cast<SQLCHAR*>(const_cast<char*>(table.c_str())),
                                     SQL_NTS, nullptr, 0))) {
            for (const Row& r : Fetch(st.h)) {
                std::string name = asciitext::Lower(r[3].value_or(""));
                int type = std::stoi(r[4].value_or("0"));
                int size =
                    (type == SQL_CHAR || type == SQL_VARCHAR) ? std::stoi(r[6].value_or("0")) : 0;
                out[name] = {type, size};
            }
        }
        return out;
    }

  private:
    static std::vector<Row> Fetch(SQLHSTMT st) {
        std::vector<Row> rows;
        SQLSMALLINT cols = 0;
        SQLNumResultCols(st, &cols);
        std::vector<char> buf(200000);
        while (cols > 0 && SQL_SUCCEEDED(SQLFetch(st))) {
            Row row;
            for (SQLUSMALLINT c = 1; c <= cols; ++c) {
                SQLLEN ind = 0;
                SQLRETURN rc = SQLGetData(st, c, SQL_C_CHAR, buf.data(),
                                          static_cast<SQLLEN>(buf.size()), &ind);
                if (!SQL_SUCCEEDED(rc) || ind == SQL_NULL_DATA)
                    row.emplace_back(std::nullopt);
                else
                    row.emplace_back(std::string(buf.data()));
            }
            rows.push_back(std::move(row));
        }
        return rows;
    }

    OdbcSession session_;
    std::string error_;
};

struct RunResult {
    int status;
    std::string output;
};

RunResult RunTool(const std::string& args) {
    std::string cmd = std::string(TAMARO_MKPRACTICE) + " " + args + " 2>&1";
    RunResult r{-1, ""};
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

bool DriverRegistered(const std::string& ext) {
    std::string ini = testenv::ReadFile(testenv::BuildDir() / "odbc" / "odbcinst.ini");
    return ini.find(ext == "fdb" ? "[Firebird/InterBase(r) driver]"
                                 : "[Microsoft Access Driver (*.mdb)]") != std::string::npos;
}

// The connection strings the program builds for a database of the practice.
std::string ProgramConnectionString(const std::string& ext, const fs::path& dbDir,
                                    const std::string& name) {
    if (ext == "fdb")
        return "DRIVER=Firebird/InterBase(r) driver;AutoQuotedIdentifier=false;client=/opt/velunda"
               "/Module/ETC/fbclient.dll;DBNAME=" +
               (dbDir / (name + ".fdb")).string() + ";UID=SYSDBA;PWD=tilvormex";
    return "Driver={Microsoft Access Driver (*.mdb)};Dbq=" + (dbDir / (name + ".mdb")).string() +
           ";Pwd=lamp(hurz);";
}

class Practice : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        testenv::UseBuiltDrivers();
        // A lock folder of its own for the embedded Firebird engine of this
        // test and of the tools it starts: a Firebird process elsewhere on the
        // machine that hangs on to the shared one cannot stall the test.
        static TempDir lock("tamaro-fblock");
        setenv("FIREBIRD_LOCK", lock.str().c_str(), 1);
        if (!DriverRegistered(Ext())) GTEST_SKIP() << "driver for ." << Ext() << " not built";
        auto& slot = practices_[Ext()];
        if (!slot) {
            slot = std::make_unique<TempDir>("tamaro-practice");
            RunResult r = RunTool(slot->str() + " --kind " + Ext() + " --patients " +
                                  std::to_string(kPatients) + " --seed 7 --now " + kNow);
            output_[Ext()] = r.output;
            ASSERT_EQ(r.status, 0) << r.output;
        }
        dir_ = slot->path();
    }
    std::string Ext() const { return GetParam(); }
    fs::path DbDir() const { return dir_ / "Database"; }
    std::unique_ptr<Probe> Open(const std::string& name) {
        auto p = std::make_unique<Probe>(ProgramConnectionString(Ext(), DbDir(), name));
        EXPECT_TRUE(p->Connected()) << name << ": " << p->Error();
        return p;
    }
    std::string CountQuery(const std::string& table) {
        return "select count(*) from " + table + " where pid between 1 and " +
               std::to_string(kPatients);
    }

    static std::map<std::string, std::unique_ptr<TempDir>> practices_;
    static std::map<std::string, std::string> output_;
    fs::path dir_;
};

std::map<std::string, std::unique_ptr<TempDir>> Practice::practices_;
std::map<std::string, std::string> Practice::output_;

}  // namespace

TEST_P(Practice, PrintsTheRegistryLineAndWritesIdFilesButNoNetworkConfig) {
    const std::string& out = output_[Ext()];
    std::string want = "path=" + dir_.string() + "\n";
    ASSERT_GE(out.size(), want.size());
    EXPECT_EQ(out.substr(out.size() - want.size()), want);
    EXPECT_FALSE(fs::exists(dir_ / "Network.cfg"));
    for (const auto& [db, tables] : ArchivedTableLists())
        EXPECT_TRUE(fs::exists(DbDir() / (db + "." + Ext()))) << db;
    EXPECT_FALSE(fs::exists(DbDir() / ("archiv." + Ext())));

    // The next kartei id lies beyond every existing row of "data".
    auto kartei = Open("kartei");
    long maxDid = std::stol(kartei->Scalar("select max(did) from data"));
    long next = std::stol(testenv::ReadFile(DbDir() / "karteiData.id"));
    EXPECT_GT(next, maxDid);
}

TEST_P(Practice, EveryArchivedTableHasRowsOfThePatients) {
    for (const auto& [db, tables] : ArchivedTableLists()) {
        auto p = Open(db);
        if (!p->Connected()) continue;
        for (const auto& t : tables) {
            std::string n = p->Scalar(CountQuery(t));
            EXPECT_NE(n, "<none>") << db << "." << t << ": " << p->Error();
            if (n != "<none>") {
                EXPECT_GT(std::stol(n), 0) << db << "." << t;
            }
        }
    }
    auto main = Open("data");
    EXPECT_EQ(main->Scalar("select count(pid) from patienten"), std::to_string(kPatients));
}

TEST_P(Practice, ArchivedColumnsUseEveryTypeTheTransferWritesAndNoOther) {
    // BIT, TINYINT, INTEGER, SMALLINT, DOUBLE, FLOAT, the text-read types
    // CHAR, VARCHAR, LONGVARCHAR, NUMERIC, BIGINT, and DATE, TIME, TIMESTAMP.
    const std::set<int> writable = {-7, -6, 4, 5, 8, 6, 1, 12, -1, 2, -5, 91, 92, 93};
    std::set<int> seen;
    for (const auto& [db, tables] : ArchivedTableLists()) {
        auto p = Open(db);
        for (const auto& t : tables)
            for (const auto& [column, desc] : p->Columns(t)) {
                EXPECT_TRUE(writable.count(desc.type)) << t << "." << column << ": " << desc.type;
                seen.insert(desc.type);
            }
    }
    // The Access kind has no numeric or 64-bit type, Firebird no bit or byte.
    const std::set<int> want = Ext() == "fdb"
                                   ? std::set<int>{4, 5, 8, 1, 12, -1, 2, -5, 91, 92, 93}
                                   : std::set<int>{-7, -6, 4, 5, 8, 1, 12, -1, 91, 92, 93};
    EXPECT_EQ(seen, want);

    // The two column names that the transfer quotes.
    auto main = Open("data");
    EXPECT_TRUE(main->Columns("termine").count("text"));
    EXPECT_TRUE(main->Columns("felder").count("update"));
    EXPECT_TRUE(main->Query("select \"text\" from termine")) << main->Error();
}

TEST_P(Practice, UsersRightsAndDoctors) {
    auto db = Open("data");
    ASSERT_TRUE(db->Connected());
    EXPECT_EQ(db->Scalar("select val from dbv"), "200");

    auto users = db->Query("select login, lid, aid from passwd where aid>1 and deleted=0");
    ASSERT_TRUE(users) << db->Error();
    std::set<std::string> logins;
    for (const Row& r : *users) logins.insert(*r[0]);
    EXPECT_EQ(logins, (std::set<std::string>{"mueller", "schmidt", "empfang"}));
    EXPECT_EQ(db->Scalar("select passwort from passwd where lid=3"),
              PracticeGenerator::StoredPassword("Praxis'1"));

    // The rights as the login loads them.
    std::string count =
        db->Scalar(Ext() == "fdb" ? "select cast(max(tid)+1 as integer) from uac_token"
                                  : "select max(tid)+1 from uac_token");
    EXPECT_GT(std::stol(count), 154);
    auto holds154 = [&](int lid) {
        auto rows = db->Query(
            "select distinct b.tid from uac_lid2gid a left join uac_tid2gid b on (a.gid=b.gid) "
            "where a.lid=" +
            std::to_string(lid));
        EXPECT_TRUE(rows) << db->Error();
        if (!rows) return false;
        return std::any_of(rows->begin(), rows->end(),
                           [](const Row& r) { return r[0] && *r[0] == "154"; });
    };
    EXPECT_TRUE(holds154(1));
    EXPECT_TRUE(holds154(2));
    EXPECT_TRUE(holds154(3));
    EXPECT_FALSE(holds154(4));

    auto doctors = db->Query(
        "select arten,titel,name,vorname,aid from arzt where aid>1 order by name, vorname");
    ASSERT_TRUE(doctors) << db->Error();
    int hidden = 0, shown = 0;
    for (const Row& r : *doctors) (std::stol(*r[0]) & 0x20 ? hidden : shown)++;
    EXPECT_EQ(hidden, 1);
    EXPECT_GE(shown, 3);
    EXPECT_EQ(db->Scalar("select name from arzt where aid=4"), "Weiß");
}

TEST_P(Practice, ProgramQueriesFindOpenBusinessAndThirtyYearsOfServices) {
    auto main = Open("data");
    auto rech = Open("rechnung");
    auto kasse = Open("kassenbuch");
    ASSERT_TRUE(main->Connected() && rech->Connected() && kasse->Connected());

    // The exclusions of the patient list, run as the list runs them.
    std::set<std::string> hidden;
    auto collect = [&](Probe& p, const std::string& sql) {
        auto rows = p.Query(sql);
        ASSERT_TRUE(rows) << p.Error();
        for (const Row& r : *rows) hidden.insert(*r[0]);
    };
    collect(*rech,
            "select distinct pid from rechnungen where status<>0 and status<>8 and status<>10 and "
            "status<>11");
    collect(*main,
            "select distinct pid from re_rechnungen where status<>0 and status<>8 and status<>10 "
            "and status<>11");
    collect(*main, "select distinct pid from dmp_form where abrechnung=0");
    collect(*kasse, "select distinct pid from kassenbuch");
    collect(*main,
            "select distinct pid from abrechnungen where abrechnung=0 and (sid<0 or (sid>0 and "
            "gordnung in (1,5,6)))");
    collect(*main,
            "select b.pid from ((select sid,pid from scheine) b left join (select distinct sid "
            "from abrechnungen) a on (a.sid=b.sid)) where a.sid is null");
    EXPECT_GT(hidden.size(), 0u);
    EXPECT_LT(hidden.size(), static_cast<size_t>(kPatients) / 2);

    auto latest = main->Query("select pid, max(datum) from abrechnungen group by pid");
    ASSERT_TRUE(latest) << main->Error();
    long lo = std::stol(kNow), hi = 0;
    for (const Row& r : *latest) {
        lo = std::min(lo, std::stol(*r[1]));
        hi = std::max(hi, std::stol(*r[1]));
    }
    const long year = 365L * 86400;
    EXPECT_GE(lo, std::stol(kNow) - 30 * year);
    EXPECT_GT(hi - lo, 15 * year);
    EXPECT_LT(hi, std::stol(kNow));

    auto list = main->Query(
        "select pid, nachname, vorname, privatpatient from patienten where "
        "(aufnahmedatum>=0 and aufnahmedatum<=2000000000) order by trim(nachname), vorname");
    ASSERT_TRUE(list) << main->Error();
    EXPECT_EQ(list->size(), static_cast<size_t>(kPatients));

    // The full patient record select, with the apostrophe and umlauts of patients 2 and 3.
    const std::string record =
        "select aid,aufnahmedatum,familienstand,0,geburtsdatum,geschlecht,kartengueltigkeit,kid,"
        "land,lvorlage,nachname,namenszusatz,ort,pid,plz,statuszusatz,strasse,0,titel,"
        "versichertennummer,versichertenstatus,vknr,vorname,privatpatient,kassenname,bereiche,"
        "entbindung,ktab,hinweise,0,gordnung,unfall,lastchange,0,inaktiv,pkasse,'',wartestart,"
        "bild,doc1,doc2,doc3,doc4,doc5,kuerzel,bgid,bgname,kat1,kat2,kat3,kat4,kat5,kat6,bericht,"
        "hausnummer,vorsatzwort,anschriftzusatz, gkv_anid from patienten where pid=";
    auto two = main->Query(record + "2");
    ASSERT_TRUE(two) << main->Error();
    ASSERT_EQ(two->size(), 1u);
    EXPECT_EQ((*two)[0].size(), 58u);
    EXPECT_EQ((*two)[0][10].value_or(""), "O'Brien");
    EXPECT_EQ(main->Scalar("select nachname from patienten where pid=3"), "Größ");
}

TEST_P(Practice, TemplateIsAtVersion68WithTheLiveColumns) {
    fs::path built = testenv::ProgramDir() / "tpl" / ("archiv." + Ext());
    ASSERT_TRUE(fs::exists(built)) << built;
    // A copy, so that the build's template is never opened by a test.
    TempDir tmp("tamaro-tpl");
    fs::path copy = tmp.path() / ("archiv." + Ext());
    fs::copy_file(built, copy);
    if (Ext() == "fdb") {
        // Practices take the template as their archive: it keeps forced
        // writes, unlike the synthetic practice databases.
        std::string header;
        FILE* p = popen(("fbstat -h '" + copy.string() + "' 2>&1").c_str(), "r");
        ASSERT_NE(p, nullptr);
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) header.append(buf, n);
        pclose(p);
        EXPECT_NE(header.find("force write"), std::string::npos) << header;
    }
    auto archive = std::make_unique<Probe>(ProgramConnectionString(Ext(), tmp.path(), "archiv"));
    ASSERT_TRUE(archive->Connected()) << archive->Error();
    EXPECT_EQ(archive->Scalar("select val from dbv"), "68");
    EXPECT_EQ(archive->Scalar("select count(*) from patienten"), "0");

    for (const auto& [db, tables] : ArchivedTableLists()) {
        auto live = Open(db);
        for (const auto& t : tables) {
            auto want = live->Columns(t);
            EXPECT_FALSE(want.empty()) << t;
            EXPECT_EQ(archive->Columns(t), want) << t;
        }
    }
    EXPECT_EQ(archive->Columns("archist").size(), 2u);
    auto notes = archive->Columns("notizen");
    for (const char* c : {"nid", "pid", "aid", "datum", "notiz"}) EXPECT_TRUE(notes.count(c)) << c;
    // The notes migration's select and insert target exist.
    EXPECT_NE(archive->Scalar("select count(*) from notizen"), "<none>") << archive->Error();
    EXPECT_TRUE(archive->Query("select nid, pid, aid, datum, notiz from notizen"))
        << archive->Error();
}

TEST_P(Practice, SameSeedGivesTheSamePatientsRegistersAndRefusesToOverwrite) {
    TempDir other("tamaro-practice");
    RunResult r = RunTool(other.str() + " --kind " + Ext() + " --patients 10 --seed 7 --now " +
                          kNow + " --network --register");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(testenv::ReadFile(fs::path(getenv("XDG_CONFIG_HOME")) / "Kvarn" / "Velunda.conf"),
              "path=" + other.str() + "\n");
    EXPECT_EQ(testenv::ReadFile(other.path() / "Network.cfg"),
              "Path=" + other.str() + "\nFBConnect=" + other.str() + "\n");

    const std::string sql =
        "select pid, nachname, vorname, aufnahmedatum from patienten where pid<=10 order by pid";
    auto a = Open("data")->Query(sql);
    auto b = Probe(ProgramConnectionString(Ext(), other.path() / "Database", "data")).Query(sql);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(*a, *b);

    RunResult again = RunTool(other.str() + " --kind " + Ext() + " --patients 10 --seed 8");
    EXPECT_NE(again.status, 0);
    EXPECT_NE(again.output.find("--force"), std::string::npos) << again.output;
    RunResult forced =
        RunTool(other.str() + " --kind " + Ext() + " --patients 10 --seed 8 --force");
    ASSERT_EQ(forced.status, 0) << forced.output;
    auto c = Probe(ProgramConnectionString(Ext(), other.path() / "Database", "data")).Query(sql);
    ASSERT_TRUE(c);
    EXPECT_NE(*a, *c);
}

TEST_P(Practice, FolderOutsideCodePage1252IsRefusedBeforeAnythingIsWritten) {
    TempDir other("tamaro-practice");
    const std::string lodz = other.str() +
                             "/\xC5\x81\xC3\xB3"
                             "d\xC5\xBA";
    const std::string why = "tamaro-mkpractice: the path " + lodz +
                            " has characters that code page 1252 lacks (U+0141 U+017A); Tamaro "
                            "and its drivers cannot name files there\n";
    RunResult r = RunTool("'" + lodz + "' --kind " + Ext() + " --patients 3");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, why);
    EXPECT_FALSE(fs::exists(lodz));
    r = RunTool("--template '" + lodz + "/archiv." + Ext() + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("(U+0141 U+017A)"), std::string::npos) << r.output;
}

TEST_P(Practice, FailedInsertInTheSecondWriterIsReported) {
    // The small databases are written by a second process; an insert that the
    // driver refuses there must end the tool with the statement named. On the
    // Access kind the refused statement is a batch, whose rows then go in one
    // by one, so the practice is complete all the same.
    TempDir other("tamaro-practice");
    setenv("TAMARO_ODBC_FAIL_AFTER", "0", 1);
    setenv("TAMARO_ODBC_FAIL_MATCH", "insert into ldtnummer", 1);
    RunResult r = RunTool(other.str() + " --kind " + Ext() + " --patients 40 --seed 5");
    unsetenv("TAMARO_ODBC_FAIL_AFTER");
    unsetenv("TAMARO_ODBC_FAIL_MATCH");
    if (Ext() == "fdb") {
        EXPECT_NE(r.status, 0) << r.output;
        EXPECT_NE(r.output.find("insert into ldtnummer (autoid, pid, nummer, datum) values ("),
                  std::string::npos)
            << r.output;
        EXPECT_EQ(r.output.find("path="), std::string::npos);
    } else {
        ASSERT_EQ(r.status, 0) << r.output;
        Probe ldt(ProgramConnectionString(Ext(), other.path() / "Database", "ldt"));
        EXPECT_EQ(ldt.Scalar("select count(*) from ldtnummer"),
                  ldt.Scalar("select count(*) from ldtbericht"));
    }
}

TEST_P(Practice, FiveThousandPatients) {
    TempDir big("tamaro-practice-big");
    auto start = std::chrono::steady_clock::now();
    RunResult r = RunTool(big.str() + " --kind " + Ext() + " --patients 5000 --seed 3");
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(r.status, 0) << r.output;
    std::printf("5000 patients (.%s) in %.1f s:\n%s", Ext().c_str(), took.count(),
                r.output.c_str());
    Probe db(ProgramConnectionString(Ext(), big.path() / "Database", "data"));
    EXPECT_EQ(db.Scalar("select count(pid) from patienten"), "5000");
}

INSTANTIATE_TEST_SUITE_P(Kinds, Practice, ::testing::Values("fdb", "mdb"),
                         [](const auto& info) { return info.param; });
