// The archive follows the live schema: a practice's main database changed by
// tamaro-mkpractice --apply velunda-changes (a new text, memo and amount
// column, a wider text column, a dropped column) against the template.
#include <algorithm>
#include <cctype>
#include <map>

#include "archive/rows/BinaryValues.h"
#include "archive/rows/ColumnText.h"
#include "archive/runs/RunPreview.h"
#include "archive/rows/SqlLiteral.h"
#include "archive/maintenance/SyncSchema.h"
#include "core/Globals.h"
#include "core/Cp1252.h"
#include "core/LogSink.h"
#include "db/ODBCStmt.h"
#include "db/SqlDialect.h"
#include "tests/archive/maintenance/MaintenanceFixture.h"
#include "tests/fixtures/Practice.h"

namespace archivetest {
namespace {

std::string Upper(std::string s) {
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

class SyncSchemaTest : public MaintenanceTest {
  protected:
    bool Sync() { return SyncSchema(set_->VelundaList, set_->Archive); }
    bool Has(const std::string& table, const std::string& column) {
        auto names = ColumnNames(set_->Archive, table);
        return std::find(names.begin(), names.end(), column) != names.end();
    }
    std::string Text(const std::string& sql) {
        auto rows = Query(set_->Archive, sql);
        return rows.empty() ? "<no row>" : rows[0][0];
    }
    // Adds each column (its name, its type in member `type`, a literal value
    // or "" for none) to Velunda's termine; gives back the insert of
    // appointment 9000 of patient 2 with the values.
    template <typename Column, typename Type>
    std::string AddToTermine(const std::vector<Column>& columns, Type Column::*type) {
        std::string names = "tid, pid", values = "9000, 2";
        for (const Column& c : columns) {
            Exec(set_->MainDatabase(),
                 std::string("alter table termine add ") + c.name + " " + (c.*type));
            if (std::string(c.value).empty()) continue;
            names += std::string(", ") + c.name;
            values += std::string(", ") + c.value;
        }
        return "insert into termine (" + names + ") values (" + values + ")";
    }
};

TEST_P(SyncSchemaTest, ChangedColumnsAreAlteredAddedAndDroppedThenARunCarriesThem) {
    Install(PracticePatients);
    EXPECT_TRUE(Sync());
    EXPECT_TRUE(statements_.empty()) << statements_[0];
    EXPECT_TRUE(log_.Lines().empty()) << log_.Raw();

    Apply(set_->MainDatabase(), "velunda-changes");
    ASSERT_TRUE(Sync()) << log_.Raw();
    // In the order of the table list and, within a table, the archive's
    // columns first; a new amount keeps its scale, a new memo its kind. The
    // whole statement is in capitals, the type in the kind's own words too;
    // only the placeholders' words come in lower case.
    const bool fb = Kind() == DatabaseKind::Firebird;
    const std::string memo = fb ? "BLOB SUB_TYPE TEXT" : "MEMO";
    EXPECT_EQ(statements_, (std::vector<std::string>{
                               "ALTER TABLE PATIENTEN §ALTERCOL§ BEMERKUNG VARCHAR(120)",
                               "ALTER TABLE PATIENTEN §ADDCOL§ ZWEITNAME VARCHAR(40)",
                               fb ? "ALTER TABLE ABRECHNUNGEN §ADDCOL§ ZUZAHLUNG NUMERIC(12,2)"
                                  : "ALTER TABLE ABRECHNUNGEN §ADDCOL§ ZUZAHLUNG DOUBLE PRECISION",
                               "ALTER TABLE TERMINE §DROPCOL§ ERSCHIENEN",
                               "ALTER TABLE FELDER §ADDCOL§ KOMMENTAR " + memo,
                           }));
    auto sent = [&](size_t i) { return TranslateSQL(statements_.at(i).c_str(), Ext()); };
    EXPECT_EQ(sent(0), fb ? "ALTER TABLE PATIENTEN alter column BEMERKUNG VARCHAR(120)"
                          : "ALTER TABLE PATIENTEN alter BEMERKUNG VARCHAR(120)");
    EXPECT_EQ(sent(1), fb ? "ALTER TABLE PATIENTEN add column ZWEITNAME VARCHAR(40)"
                          : "ALTER TABLE PATIENTEN add ZWEITNAME VARCHAR(40)");
    EXPECT_EQ(sent(3), fb ? "ALTER TABLE TERMINE drop ERSCHIENEN"
                          : "ALTER TABLE TERMINE drop column ERSCHIENEN");
    EXPECT_EQ(sent(4), fb ? "ALTER TABLE FELDER add column KOMMENTAR BLOB SUB_TYPE TEXT"
                          : "ALTER TABLE FELDER add KOMMENTAR MEMO");
    EXPECT_TRUE(log_.Lines().empty()) << log_.Raw();
    EXPECT_TRUE(Has("patienten", "zweitname"));
    EXPECT_FALSE(Has("termine", "erschienen"));

    // In line now: the next start changes nothing.
    statements_.clear();
    EXPECT_TRUE(Sync());
    EXPECT_TRUE(statements_.empty()) << statements_[0];

    Transfer("1,2,3");
    EXPECT_EQ(Count(set_->Archive, "select count(*) from patienten where zweitname='Zweitname'"), 3)
        << log_.Raw();
    EXPECT_EQ(Text("select bemerkung from patienten where pid=2").size(), 92u);
    EXPECT_EQ(Text("select kommentar from felder where pid in (1,2,3)"), "Kommentar");
    EXPECT_EQ(Text("select zuzahlung from abrechnungen where pid in (1,2,3)"), "12.34");
}

// Velunda dropped a column in which archived rows hold values: the column
// stays, with a red note, and the start is not held up by it.
TEST_P(SyncSchemaTest, AColumnWithArchivedValuesIsKept) {
    Install(PracticePatients);
    std::string all;
    for (int pid = 1; pid <= PracticePatients; ++pid)
        all += (pid > 1 ? "," : "") + std::to_string(pid);
    Transfer(all);
    ASSERT_GT(Count(set_->Archive, "select count(*) from termine where erschienen is not null"), 0)
        << log_.Raw();
    Apply(set_->MainDatabase(), "velunda-changes");
    log_.Clear();
    const int failures = FailureLines();
    EXPECT_TRUE(Sync()) << log_.Raw();
    // Red, but a note: no failure of the start.
    EXPECT_EQ(FailureLines(), failures);
    ASSERT_EQ(LogLines().size(), 1u) << log_.Raw();
    EXPECT_EQ(LogLines()[0].text,
              "Archiv: Spalte erschienen der Tabelle termine enthält archivierte Daten und wird "
              "nicht gelöscht.");
    EXPECT_EQ(LogLines()[0].colour, ColourRed);
    for (const std::string& sql : statements_) EXPECT_EQ(sql.find("ERSCHIENEN"), std::string::npos);
    EXPECT_TRUE(Has("termine", "erschienen"));

    // Those patients cannot go back while the values are there: the restore
    // is refused before it writes anything, naming table, column and count.
    const int values =
        Count(set_->Archive, "select count(*) from termine where erschienen is not null");
    set_->SwapSides();
    log_.Clear();
    boxes_.Clear();
    Transfer(all);
    EXPECT_EQ(boxes_.Texts(),
              std::vector<std::string>{
                  "Diese Patienten können nicht restauriert werden: das Archiv hat Werte in "
                  "Spalten, die Velunda nicht mehr kennt:\n• termine.erschienen: " +
                  std::to_string(values) +
                  " Einträge\nEin Administrator kann die Spalten in Velunda wieder anlegen oder "
                  "die Werte im Archiv prüfen und leeren; danach ist die Restaurierung "
                  "möglich.\nDer Vorgang wird nicht gestartet."});
    EXPECT_TRUE(LogLines().empty()) << log_.Raw();
    EXPECT_TRUE(BakFiles().empty());
    // Its preview is refused with the same box.
    const std::vector<std::string> refused = boxes_.Texts();
    boxes_.Clear();
    RunPlan plan;
    EXPECT_FALSE(PreviewRun(*set_, RunKind::Restore, all, plan));
    EXPECT_EQ(boxes_.Texts(), refused);
    EXPECT_TRUE(LogLines().empty()) << log_.Raw();
    // Without values the column is no obstacle: the common columns go back.
    Exec(set_->Archive, "update termine set erschienen = null");
    boxes_.Clear();
    Transfer(all);
    EXPECT_TRUE(boxes_.Boxes().empty());
    EXPECT_EQ(Count(set_->MainDatabase(), "select count(*) from patienten"), PracticePatients);
    EXPECT_EQ(Count(set_->Archive, "select count(*) from termine"), 0);
}

// Names that differ only in case are one column; "a,,b" yields "a" and ",b";
// a table missing on either side is reported with its database and counted.
TEST_P(SyncSchemaTest, NamesMatchWithoutCaseAndUnknownTablesAreReported) {
    Install(PracticePatients);
    const bool fb = Kind() == DatabaseKind::Firebird;
    Exec(set_->MainDatabase(), fb ? "create table casetest (\"Bemerkung\" varchar(10))"
                                  : "create table casetest ([Bemerkung] text(10))");
    Exec(set_->MainDatabase(), "create table onlyvelunda (a integer)");
    Exec(set_->Archive, TranslateSQL("create table casetest (BEMERKUNG §VARCHAR§(10))", Ext()));
    ArchiveDbPair source("Velunda", "data", "onlyvelunda,casetest,,casetest");
    ASSERT_TRUE(Connect(source));
    EXPECT_FALSE(SyncSchema(&source, set_->Archive));
    EXPECT_TRUE(statements_.empty()) << statements_[0];
    EXPECT_EQ(LogTexts(),
              (std::vector<std::string>{
                  "Archiv: Tabelle onlyvelunda konnte nicht geöffnet werden: <unbekannt>",
                  "Velunda: Tabelle ,casetest konnte nicht geöffnet werden: <unbekannt>",
              }));
    for (const auto& line : LogLines()) EXPECT_EQ(line.colour, ColourRed);
    source.Connection.Disconnect();
}

// A column catalog that breaks off, half way or at once, is a failure of its
// table and not a shorter table: none of its archive columns is dropped, the
// other tables are still brought in line, and the result is false.
TEST_P(SyncSchemaTest, ACatalogThatBreaksOffChangesNothingInItsTable) {
    if (!RunInOwnProcess()) return;
    Install(PracticePatients);
    Apply(set_->MainDatabase(), "velunda-changes");
    const auto columns = ColumnNames(set_->Archive, "patienten");
    ASSERT_GT(columns.size(), 3u);
    const std::string refused =
        "Velunda: Tabelle patienten konnte nicht geöffnet werden: Injected fault "
        "(TAMARO_ODBC_FAIL_CATALOG)";
    const bool fb = Kind() == DatabaseKind::Firebird;

    setenv("TAMARO_ODBC_FAIL_CATALOG", "patienten:3", 1);
    EXPECT_FALSE(Sync());
    unsetenv("TAMARO_ODBC_FAIL_CATALOG");
    EXPECT_EQ(LogTexts(), std::vector<std::string>{refused});
    EXPECT_EQ(LogLines()[0].colour, ColourRed);
    EXPECT_EQ(statements_, (std::vector<std::string>{
                               fb ? "ALTER TABLE ABRECHNUNGEN §ADDCOL§ ZUZAHLUNG NUMERIC(12,2)"
                                  : "ALTER TABLE ABRECHNUNGEN §ADDCOL§ ZUZAHLUNG DOUBLE PRECISION",
                               "ALTER TABLE TERMINE §DROPCOL§ ERSCHIENEN",
                               fb ? "ALTER TABLE FELDER §ADDCOL§ KOMMENTAR BLOB SUB_TYPE TEXT"
                                  : "ALTER TABLE FELDER §ADDCOL§ KOMMENTAR MEMO",
                           }));
    EXPECT_EQ(ColumnNames(set_->Archive, "patienten"), columns);

    setenv("TAMARO_ODBC_FAIL_CATALOG", "PATIENTEN", 1);
    statements_.clear();
    log_.Clear();
    EXPECT_FALSE(Sync());
    unsetenv("TAMARO_ODBC_FAIL_CATALOG");
    EXPECT_EQ(LogTexts(), std::vector<std::string>{refused});
    EXPECT_TRUE(statements_.empty()) << statements_[0];

    // Read whole, the table is brought in line at the next start.
    log_.Clear();
    EXPECT_TRUE(Sync()) << log_.Raw();
    EXPECT_EQ(statements_, (std::vector<std::string>{
                               "ALTER TABLE PATIENTEN §ALTERCOL§ BEMERKUNG VARCHAR(120)",
                               "ALTER TABLE PATIENTEN §ADDCOL§ ZWEITNAME VARCHAR(40)",
                           }));
}

// One column of every type the kind has, added to a Velunda table: the
// program's start brings the archive in line without a red line, the next
// start finds nothing to change, and a patient goes to the archive and back
// with every value as it was, binary values byte for byte.
TEST_P(SyncSchemaTest, EveryColumnTypeOfTheKindIsAddedAndItsValuesGoBothWays) {
    Install(PracticePatients);
    const bool fb = Kind() == DatabaseKind::Firebird;
    std::string memo;
    while (memo.size() < 70000) memo += "Befund \xe4\xf6\xfc \\'' " + std::to_string(memo.size());
    std::string blob;
    for (int i = 0; i < 100000; ++i) blob += char((i * 7 + i / 256) % 256);
    const std::string shortBytes(
        "\0\xff\x01\x80"
        "ab\0c",
        8);
    const std::string varBytes(
        "\0\0\x7f\xfe"
        "x",
        5);
    struct Added {
        const char* name;
        const char* type;
        std::string value;  // literal, "?" for a binary value, "" for none
    };
    const std::vector<Added> added =
        fb ? std::vector<Added>{
                 {"x_smallint", "smallint", "-32768"},
                 {"x_integer", "integer", "2147483647"},
                 {"x_bigint", "bigint", "9007199254740993"},
                 {"x_float", "float", "0.1"},
                 {"x_double", "double precision", DoubleLiteral(1.0 / 3.0)},
                 {"x_numeric", "numeric(15,4)", "12345678901.2345"},
                 {"x_decimal", "decimal(9,3)", "-123456.789"},
                 {"x_date", "date", "'2019-03-07'"},
                 {"x_time", "time", "'08:05:09'"},
                 {"x_stamp", "timestamp", "'2020-01-31 08:05:09.25'"},
                 {"x_char", "char(6)", "'Ab''c'"},
                 {"x_varchar", "varchar(30)", "'Gr\xfc\xdf Gott'"},
                 {"x_memo", "blob sub_type text", TextLiteral(memo)},
                 {"x_blob", "blob sub_type 0", "?"},
                 {"x_octets", "char(8) character set octets", "?"},
                 {"x_varoctets", "varchar(20) character set octets", "?"},
                 {"x_boolean", "boolean", "true"},
             }
           : std::vector<Added>{
                 {"x_text", "text(30)", "'Gr\xfc\xdf Gott'"},
                 {"x_char", "char(6)", "'Ab''c'"},
                 {"x_memo", "memo", TextLiteral(memo)},
                 {"x_long", "long", "-2147483648"},
                 {"x_short", "short", "-32768"},
                 {"x_byte", "byte", "255"},
                 {"x_yesno", "yesno", "1"},
                 {"x_double", "double", DoubleLiteral(1.0 / 3.0)},
                 {"x_single", "single", "0.1"},
                 {"x_currency", "currency", "1234.5678"},
                 {"x_datetime", "datetime", "#2020-01-31 08:05:09#"},
                 {"x_date", "date", "#2019-03-07#"},
                 {"x_time", "time", "#08:05:09#"},
                 {"x_binary", "binary(20)", "?"},
                 {"x_longbinary", "longbinary", "?"},
                 {"x_counter", "counter", ""},
             };
    const std::vector<std::string> bytes = fb ? std::vector<std::string>{blob, shortBytes, varBytes}
                                              : std::vector<std::string>{varBytes, blob};
    ArchiveDbPair& main = set_->MainDatabase();
    const std::string insertRow = AddToTermine(added, &Added::type);
    {
        ODBCStmt insert(main.Connection);
        std::vector<SQLLEN> lengths(bytes.size());
        for (size_t i = 0; i < bytes.size(); ++i) {
            lengths[i] = SQLLEN(bytes[i].size());
            SQLBindParameter(insert.Handle(), SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, SQL_C_BINARY,
                             SQL_LONGVARBINARY, bytes[i].size(), 0,
                             const_cast<char*>(bytes[i].data()), lengths[i], &lengths[i]);
        }
        ASSERT_TRUE(insert.ExecDirect(insertRow)) << main.Connection.GetErrorText(insert.Handle());
    }

    // Two starts of the program on the practice.
    DisconnectAll();
    testenv::WriteFile(dir_.path() / "Network.cfg",
                       "Path=" + dir_.str() + "\r\nFBConnect=" + dir_.str() + "\r\n");
    testenv::RegisterVelunda(dir_.path());
    for (int start = 1; start <= 2; ++start) {
        std::string out;
        EXPECT_EQ(
            testenv::RunCommand(
                "cd '" + testenv::ProgramCopy().string() + "' && ./tamaro --headless 2>&1", &out),
            0)
            << "start " << start << ":\n"
            << out;
    }
    ConnectAll();
    EXPECT_EQ(SyncSchemaChanges(set_->VelundaList, set_->Archive), 0);
    // Each column as Velunda has it; a counter is a plain number in the
    // archive, which keeps the numbers it is given.
    auto types = [&](ArchiveDbPair& db) {
        std::map<std::string, std::string> out;
        ODBCStmt stmt(db.Connection);
        std::string table = "termine";
        SQLColumns(stmt.Handle(), nullptr, 0, nullptr, 0, reinterpret_cast<SQLCHAR*>(table.data()),
                   SQL_NTS, nullptr, 0);
        while (stmt.Fetch()) {
            std::string name, type, size, digits;
            stmt.GetColumnString(4, name);
            stmt.GetColumnString(6, type);
            SQLLEN ind = 0;
            ReadColumnText(stmt.Handle(), 7, size, ind);
            ReadColumnText(stmt.Handle(), 9, digits, ind);
            for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
            out[name] = type == "COUNTER" ? "INTEGER 10 0" : type + " " + size + " " + digits;
        }
        return out;
    };
    const auto velundaTypes = types(main);
    const auto archiveTypes = types(set_->Archive);
    for (const Added& a : added)
        EXPECT_EQ(archiveTypes.count(a.name) ? archiveTypes.at(a.name) : "<none>",
                  velundaTypes.at(a.name))
            << a.name;

    auto expectBytes = [&](ArchiveDbPair& db, const char* where) {
        std::string columns;
        for (const Added& a : added)
            if (a.value == "?") columns += std::string(columns.empty() ? "" : ", ") + a.name;
        ODBCStmt stmt(db.Connection);
        ASSERT_TRUE(stmt.ExecDirect("select " + columns + " from termine where tid = 9000"));
        ASSERT_TRUE(stmt.Fetch()) << where;
        for (size_t i = 0; i < bytes.size(); ++i) {
            std::string read;
            SQLLEN ind = 0;
            ASSERT_TRUE(ReadColumnBytes(stmt.Handle(), SQLUSMALLINT(i + 1), read, ind));
            EXPECT_TRUE(read == bytes[i])
                << where << " column " << i + 1 << ": " << read.size() << " bytes";
        }
    };
    const Snapshot before = Take(set_->VelundaList);
    const Snapshot chosen = Take(set_->VelundaList, "2");
    log_.Clear();
    Transfer("2");
    const Snapshot archived = Take(set_->ArchiveList);
    for (const auto& [table, t] : chosen) EXPECT_EQ(archived.at(table), t) << table;
    expectBytes(set_->Archive, "archive");
    set_->SwapSides();
    Transfer("2");
    EXPECT_EQ(Take(set_->VelundaList), before);
    expectBytes(main, "Velunda");
    for (const auto& line : LogLines()) EXPECT_NE(line.colour, ColourRed) << line.text;
}

// Velunda changes the type of columns whose values the archive holds: each
// is given the new type with its values converted, in place where the engine
// can do that and through a temporary column where it cannot; a column
// without values is made anew. A value that is no number keeps its column
// with a note; one the engine refuses all the same (Firebird: a date that
// does not exist) keeps its column as it was and is reported as a failure;
// the patients go back with the converted values.
TEST_P(SyncSchemaTest, ChangedTypesConvertTheArchivedValues) {
    Install(PracticePatients);
    const bool fb = Kind() == DatabaseKind::Firebird;
    struct Change {
        const char* name;
        const char* before;
        const char* value;  // of patient 2 ("" for none)
        const char* after;
        const char* converted;
    };
    const std::vector<Change> changes =
        fb ? std::vector<Change>{
                 {"x_a", "varchar(40)", "'12'", "integer", "12"},
                 {"x_b", "integer", "7", "varchar(20)", "7"},
                 {"x_c", "blob sub_type text", "'Notiz'", "varchar(200)", "Notiz"},
                 {"x_d", "varchar(10)", "'kurz'", "blob sub_type text", "kurz"},
                 {"x_e", "integer", "123", "bigint", "123"},
                 {"x_f", "numeric(12,2)", "12.34", "numeric(15,4)", "12.3400"},
                 {"x_g", "date", "'2019-03-07'", "timestamp", "2019-03-07 00:00:00"},
                 {"x_h", "varchar(4) character set octets", "x'00ff'", "blob sub_type 0",
                  "00FF"},
                 {"x_i", "varchar(80)", "'lang'", "varchar(10)", "lang"},
                 {"x_j", "integer", "", "date", "<null>"},
             }
           : std::vector<Change>{
                 {"x_a", "text(40)", "'12'", "long", "12"},
                 {"x_b", "long", "7", "text(20)", "7"},
                 {"x_c", "memo", "'Notiz'", "text(200)", "Notiz"},
                 {"x_d", "text(10)", "'kurz'", "memo", "kurz"},
                 {"x_e", "long", "123", "double", "123"},
                 {"x_f", "double", "12.5", "single", "12.5"},
                 {"x_g", "datetime", "#2019-03-07#", "date", "2019-03-07"},
                 {"x_i", "text(80)", "'lang'", "text(10)", "lang"},
                 {"x_j", "long", "", "datetime", "<null>"},
             };
    ArchiveDbPair& main = set_->MainDatabase();
    const std::string insertRow = AddToTermine(changes, &Change::before);
    Exec(main, std::string("alter table termine add x_bad ") + (fb ? "varchar(10)" : "text(10)"));
    if (fb) Exec(main, "alter table termine add x_day varchar(10)");
    Exec(main, insertRow);
    Exec(main, fb ? "insert into termine (tid, pid, x_bad, x_day) values (9001, 3, 'abc', "
                    "'2019-02-30')"
                  : "insert into termine (tid, pid, x_bad) values (9001, 3, 'abc')");
    ASSERT_TRUE(Sync()) << log_.Raw();
    Transfer("2,3");
    ASSERT_EQ(Count(set_->Archive, "select count(*) from termine where tid >= 9000"), 2)
        << log_.Raw();

    // Velunda's new types; its rows of the two patients are in the archive.
    for (const Change& c : changes) {
        Exec(main, std::string("alter table termine drop ") + (fb ? "" : "column ") + c.name);
        Exec(main, std::string("alter table termine add ") + c.name + " " + c.after);
    }
    Exec(main, std::string("alter table termine drop ") + (fb ? "" : "column ") + "x_bad");
    Exec(main, "alter table termine add x_bad integer");
    if (fb) {
        Exec(main, "alter table termine drop x_day");
        Exec(main, "alter table termine add x_day date");
    }
    log_.Clear();
    statements_.clear();
    const int failures = FailureLines();
    EXPECT_EQ(Sync(), !fb);
    const std::string kept =
        "Archiv: Spalte x_bad der Tabelle termine behält den Typ VARCHAR(10), da sich "
        "archivierte Werte in INTEGER ändern würden.";
    ASSERT_EQ(LogLines().size(), fb ? 2u : 1u) << log_.Raw();
    EXPECT_EQ(LogTexts()[0], kept);
    EXPECT_EQ(LogLines()[0].colour, ColourRed);
    if (fb) {
        EXPECT_EQ(FailureLines(), failures + 1);
        EXPECT_EQ(LogTexts()[1].rfind("ExecuteSQL(): ", 0), 0u) << LogTexts()[1];
        EXPECT_NE(
            LogTexts()[1].find("UPDATE TERMINE SET TAMARO_NEUER_TYP = X_DAY WHERE X_DAY <> ''"),
            std::string::npos)
            << LogTexts()[1];
    } else {
        EXPECT_EQ(FailureLines(), failures);
    }
    // The way of a change the engine refuses in place, with values.
    const auto from = std::find(statements_.begin(), statements_.end(),
                                "ALTER TABLE TERMINE §ALTERCOL§ X_A INTEGER");
    ASSERT_NE(from, statements_.end());
    EXPECT_EQ(
        std::vector<std::string>(from, from + (fb ? 7 : 1)),
        fb ? (std::vector<std::string>{"ALTER TABLE TERMINE §ALTERCOL§ X_A INTEGER",
                                       "ALTER TABLE TERMINE §ADDCOL§ TAMARO_NEUER_TYP INTEGER",
                                       "UPDATE TERMINE SET TAMARO_NEUER_TYP = X_A WHERE X_A <> ''",
                                       "ALTER TABLE TERMINE §DROPCOL§ X_A",
                                       "ALTER TABLE TERMINE §ADDCOL§ X_A INTEGER",
                                       "UPDATE TERMINE SET X_A = TAMARO_NEUER_TYP",
                                       "ALTER TABLE TERMINE §DROPCOL§ TAMARO_NEUER_TYP"})
           : (std::vector<std::string>{"ALTER TABLE TERMINE §ALTERCOL§ X_A INTEGER"}));
    EXPECT_FALSE(Has("termine", "tamaro_neuer_typ"));
    EXPECT_EQ(Text("select x_bad from termine where tid = 9001"), "abc");
    // The next start keeps the column again without a statement; the date
    // the engine refuses is tried again.
    statements_.clear();
    EXPECT_EQ(Sync(), !fb);
    for (const std::string& sql : statements_)
        EXPECT_TRUE(sql.find("X_DAY") != std::string::npos ||
                    sql.find("TAMARO_NEUER_TYP") != std::string::npos)
            << sql;
    if (fb) {
        EXPECT_EQ(Text("select x_day from termine where tid = 9001"), "2019-02-30");
    }

    std::string columns;
    for (const Change& c : changes) columns += std::string(columns.empty() ? "" : ", ") + c.name;
    auto expectValues = [&](ArchiveDbPair& db, const char* where) {
        const auto rows = Query(db, "select " + columns + " from termine where tid = 9000");
        ASSERT_EQ(rows.size(), 1u) << where;
        for (size_t i = 0; i < changes.size(); ++i)
            EXPECT_EQ(rows[0][i], changes[i].converted) << where << " " << changes[i].name;
    };
    expectValues(set_->Archive, "archive");
    set_->SwapSides();
    log_.Clear();
    Transfer("2");
    for (const auto& line : LogLines()) EXPECT_NE(line.colour, ColourRed) << line.text;
    expectValues(main, "Velunda");
}

// Velunda narrows or changes the type of columns whose values the archive
// holds. Where an archived value would change (rounded, cut, a time lost,
// a text that is no number as written, a number a floating-point type does
// not hold), the archive keeps its column as it is and a start notes it
// without failing; where every value stays the same, the new type is
// followed. The archived values stay byte for byte, and a start with
// nothing else to change makes no backup of the archive.
TEST_P(SyncSchemaTest, ATypeChangeThatWouldChangeArchivedValuesKeepsTheColumn) {
    Install(PracticePatients);
    const bool fb = Kind() == DatabaseKind::Firebird;
    struct Change {
        const char* name;
        const char* before;
        const char* value;  // of patient 2
        const char* after;
        // The archive's type and Velunda's new one as the note names them
        // ("NUMERIC(18,4)|NUMERIC(18,2)"); "" where the change is followed.
        const char* kept;
    };
    const std::vector<Change> changes =
        fb ? std::vector<Change>{
                 {"k_num", "numeric(18,4)", "1.2345", "numeric(18,2)", "NUMERIC(18,4)|NUMERIC(18,2)"},
                 {"k_text", "varchar(40)", "'Bemerkung mit 25 Zeichen'", "varchar(10)",
                  "VARCHAR(40)|VARCHAR(10)"},
                 {"k_stamp", "timestamp", "'2020-01-31 08:05:09'", "date", "TIMESTAMP|DATE"},
                 {"k_code", "varchar(10)", "'012'", "integer", "VARCHAR(10)|INTEGER"},
                 {"k_double", "double precision", "0.123456789", "float", "DOUBLE PRECISION|FLOAT"},
                 {"k_big", "bigint", "9007199254740993", "double precision",
                  "BIGINT|DOUBLE PRECISION"},
                 {"f_num", "numeric(18,4)", "2.5", "numeric(18,2)", ""},
                 {"f_text", "varchar(40)", "'kurz'", "varchar(10)", ""},
                 {"f_stamp", "timestamp", "'2020-01-31 00:00:00'", "date", ""},
                 {"f_code", "varchar(10)", "'-12'", "integer", ""},
             }
           : std::vector<Change>{
                 {"k_text", "text(40)", "'Bemerkung mit 25 Zeichen'", "text(10)",
                  "VARCHAR(40)|VARCHAR(10)"},
                 {"k_stamp", "datetime", "#2020-01-31 08:05:09#", "date", "TIMESTAMP|DATE"},
                 {"k_code", "text(10)", "'012'", "long", "VARCHAR(10)|INTEGER"},
                 {"k_double", "double", "0.123456789", "single", "DOUBLE PRECISION|REAL"},
                 {"k_long", "long", "70000", "short", "INTEGER|SMALLINT"},
                 {"f_text", "text(40)", "'kurz'", "text(10)", ""},
                 {"f_stamp", "datetime", "#2020-01-31 00:00:00#", "date", ""},
                 {"f_double", "double", "12.5", "single", ""},
             };
    ArchiveDbPair& main = set_->MainDatabase();
    Exec(main, AddToTermine(changes, &Change::before));
    ASSERT_TRUE(Sync()) << log_.Raw();
    Transfer("2");
    std::string columns;
    for (const Change& c : changes) columns += std::string(columns.empty() ? "" : ", ") + c.name;
    const std::string select = "select " + columns + " from termine where tid = 9000";
    const auto archived = Query(set_->Archive, select);
    ASSERT_EQ(archived.size(), 1u) << log_.Raw();
    for (const Change& c : changes) {
        Exec(main, std::string("alter table termine drop ") + (fb ? "" : "column ") + c.name);
        Exec(main, std::string("alter table termine add ") + c.name + " " + c.after);
    }

    log_.Clear();
    statements_.clear();
    const int failures = FailureLines();
    EXPECT_TRUE(Sync()) << log_.Raw();
    EXPECT_EQ(FailureLines(), failures);
    std::vector<std::string> notes;
    for (const Change& c : changes) {
        const std::string upper = Upper(c.name);
        bool touched = false;
        for (const std::string& sql : statements_)
            touched = touched || sql.find(" " + upper + " ") != std::string::npos ||
                      sql.find(" " + upper + " =") != std::string::npos;
        EXPECT_EQ(touched, !*c.kept) << c.name;
        if (*c.kept) {
            const std::string pair = c.kept;
            const size_t cut = pair.find('|');
            notes.push_back(std::string("Archiv: Spalte ") + c.name +
                            " der Tabelle termine behält den Typ " + pair.substr(0, cut) +
                            ", da sich archivierte Werte in " + pair.substr(cut + 1) +
                            " ändern würden.");
        }
    }
    // In the archive's column order, which the synchronisation gave its new
    // columns by name.
    std::sort(notes.begin(), notes.end());
    EXPECT_EQ(LogTexts(), notes);
    for (const auto& line : LogLines()) EXPECT_EQ(line.colour, ColourRed) << line.text;
    const auto now = Query(set_->Archive, select);
    ASSERT_EQ(now.size(), 1u);
    for (size_t i = 0; i < changes.size(); ++i)
        if (*changes[i].kept) {
            EXPECT_EQ(now[0][i], archived[0][i]) << changes[i].name;
        }
    EXPECT_EQ(SyncSchemaChanges(set_->VelundaList, set_->Archive), 0);

    // The real program's start: the notes, status 0, no backup made.
    DisconnectAll();
    testenv::WriteFile(dir_.path() / "Network.cfg",
                       "Path=" + dir_.str() + "\r\nFBConnect=" + dir_.str() + "\r\n");
    testenv::RegisterVelunda(dir_.path());
    std::string out;
    EXPECT_EQ(testenv::RunCommand(
                  "cd '" + testenv::ProgramCopy().string() + "' && ./tamaro --headless 2>&1", &out),
              0)
        << out;
    for (const std::string& note : notes)
        EXPECT_NE(out.find(cp1252::ToUtf8(note)), std::string::npos) << note << "\n" << out;
    EXPECT_EQ(out.find("Datensicherung"), std::string::npos) << out;
    ConnectAll();
    EXPECT_EQ(Query(set_->Archive, select), now);
}

INSTANTIATE_TEST_SUITE_P(Kinds, SyncSchemaTest,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access), KindName);

}  // namespace
}  // namespace archivetest
