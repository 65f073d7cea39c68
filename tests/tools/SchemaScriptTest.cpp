// The schema scripts themselves: where each table lives, the archive's copy
// of the archived tables, and the per-kind type words.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "tests/tools/ArchivedTables.h"
#include "tools/InsertBuilder.h"
#include "tools/PracticeGenerator.h"
#include "tools/SchemaScript.h"

namespace {

std::set<std::string> TablesOf(const std::string& db) {
    std::vector<std::string> statements;
    EXPECT_TRUE(SchemaScript::Statements(db, PracticeKind::Firebird, statements)) << db;
    std::set<std::string> tables;
    for (const auto& s : statements)
        if (s.rfind("create table", 0) == 0) tables.insert(SchemaScript::TableOf(s));
    return tables;
}

std::map<std::string, std::string> CreateStatements(const std::string& db, PracticeKind kind) {
    std::vector<std::string> statements;
    SchemaScript::Statements(db, kind, statements);
    std::map<std::string, std::string> out;
    for (const auto& s : statements)
        if (s.rfind("create table", 0) == 0) out[SchemaScript::TableOf(s)] = s;
    return out;
}

}  // namespace

TEST(SchemaScript, EachPatientTableLivesInItsDatabase) {
    const auto& lists = ArchivedTableLists();
    std::set<std::string> all;
    for (const auto& [db, tables] : lists) {
        std::set<std::string> have = TablesOf(db);
        for (const auto& t : tables) {
            EXPECT_TRUE(have.count(t)) << t << " missing in " << db;
            EXPECT_TRUE(all.insert(t).second) << t << " in two databases";
        }
    }
    EXPECT_EQ(all.size(), 24u);
    EXPECT_EQ(std::set<std::string>(SchemaScript::ArchivedTables().begin(),
                                    SchemaScript::ArchivedTables().end()),
              all);
    // The main database also holds what login, rights, audit and doctor list read.
    std::set<std::string> main = TablesOf("data");
    for (const char* t : {"passwd", "uac_token", "uac_lid2gid", "uac_tid2gid", "log", "arzt",
                          "re_rechnungen", "dbv"})
        EXPECT_TRUE(main.count(t)) << t;
    EXPECT_FALSE(main.count("data")) << "the table data belongs to kartei";
}

TEST(SchemaScript, ArchiveCopiesTheArchivedTablesVerbatim) {
    for (PracticeKind kind : {PracticeKind::Firebird, PracticeKind::Access}) {
        auto archive = CreateStatements("archiv", kind);
        std::map<std::string, std::string> live;
        for (const auto& db : SchemaScript::DatabaseNames())
            if (db != "archiv")
                for (const auto& [t, s] : CreateStatements(db, kind)) live[t] = s;
        for (const auto& t : SchemaScript::ArchivedTables()) {
            ASSERT_TRUE(archive.count(t)) << t;
            EXPECT_EQ(archive[t], live[t]);
        }
        for (const char* t : {"dbv", "archist", "notizen", "rezepte"})
            EXPECT_TRUE(archive.count(t)) << t;
        // Velunda's own tables stay out of the archive.
        for (const char* t : {"passwd", "log", "arzt", "re_rechnungen", "uac_token"})
            EXPECT_FALSE(archive.count(t)) << t;
    }
}

TEST(SchemaScript, SplitsStatementsAndSkipsComments) {
    auto s = SchemaScript::Split(
        "-- a comment; with a semicolon\ncreate table a (\n  x integer\n);\n\n"
        "  -- indented comment\ncreate index i on a (x);\nselect 1");
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0], "create table a (\n  x integer\n)");
    EXPECT_EQ(s[1], "create index i on a (x)");
    EXPECT_EQ(s[2], "select 1");
    EXPECT_EQ(SchemaScript::TableOf("create unique index i_pk on Abrechnungen (zid)"),
              "abrechnungen");
    EXPECT_EQ(SchemaScript::TableOf("create table DBV(VAL integer)"), "dbv");
    EXPECT_EQ(SchemaScript::TableOf("insert into dbv values (1)"), "");
}

TEST(SchemaScript, TypeWordsPerKind) {
    const std::string src =
        "create table t (a §VARCHAR§(10), b §MEMO§, c §BOOL§, d §BYTE§, e §DOUBLE§, f §MONEY§, "
        "g §BIGINT§, h §COUNTER§, i date)";
    EXPECT_EQ(SchemaScript::Translate(src, PracticeKind::Firebird),
              "create table t (a varchar(10), b blob sub_type text, c smallint, d smallint, "
              "e double precision, f numeric(12,2), g bigint, h integer, i date)");
    EXPECT_EQ(SchemaScript::Translate(src, PracticeKind::Access),
              "create table t (a text(10), b memo, c bit, d byte, e double, f double, "
              "g integer, h counter, i date)");
    // No placeholder survives in any script of either kind.
    for (PracticeKind kind : {PracticeKind::Firebird, PracticeKind::Access})
        for (const auto& db : SchemaScript::DatabaseNames()) {
            std::vector<std::string> statements;
            ASSERT_TRUE(SchemaScript::Statements(db, kind, statements));
            for (const auto& s : statements) EXPECT_EQ(s.find('\xA7'), std::string::npos) << s;
        }
}

TEST(SchemaScript, CounterColumnsAreNumberedByTheDatabase) {
    const std::string src = "create table abrechnungen (\n  zid §COUNTER§,\n  pid integer)";
    EXPECT_TRUE(SchemaScript::Numbering(src, PracticeKind::Access).empty());
    EXPECT_EQ(SchemaScript::Numbering(src, PracticeKind::Firebird),
              (std::vector<std::string>{
                  "create generator g_abrechnungen_zid",
                  "create trigger t_abrechnungen_zid for abrechnungen active before insert "
                  "position 0 as begin if (new.zid is null) then new.zid = "
                  "gen_id(g_abrechnungen_zid, 1); else if (new.zid > gen_id(g_abrechnungen_zid, "
                  "0)) then new.zid = gen_id(g_abrechnungen_zid, new.zid - "
                  "gen_id(g_abrechnungen_zid, 0)); end"}));
    // The three keys the transfer leaves to the database are numbered in the
    // practice and in the archive alike.
    for (const char* db : {"data", "ldt", "archiv"}) {
        std::vector<std::string> statements;
        ASSERT_TRUE(SchemaScript::Statements(db, PracticeKind::Firebird, statements));
        std::string all;
        for (const auto& s : statements) all += s + "\n";
        for (const char* gen : {"g_abrechnungen_zid", "g_diagnosen_did", "g_ldtnummer_autoid"}) {
            const bool expected =
                std::string(db) == "archiv" ||
                (std::string(db) == "ldt") == (std::string(gen).find("ldt") != std::string::npos);
            EXPECT_EQ(all.find(std::string("create generator ") + gen) != std::string::npos,
                      expected)
                << db << " " << gen;
        }
    }
}

TEST(InsertBuilder, QuotesDatesPerKindAndDoublesApostrophes) {
    // 2020-01-31 08:05:09 UTC
    const int64_t t = 1580457909;
    EXPECT_EQ(InsertBuilder(PracticeKind::Firebird, "x")
                  .Text("n", "O'Brien")
                  .Date("d", t)
                  .Time("z", t)
                  .Timestamp("s", t)
                  .Real("b", 12.5)
                  .Sql(),
              "insert into x (n, d, z, s, b) values ('O''Brien', '2020-01-31', '08:05:09', "
              "'2020-01-31 08:05:09', 12.50)");
    EXPECT_EQ(InsertBuilder(PracticeKind::Access, "x").Date("d", t).Timestamp("s", t).Sql(),
              "insert into x (d, s) values (#2020-01-31#, #2020-01-31 08:05:09#)");
}

TEST(PracticeUsers, StoredPasswordLowersEveryByteByTen) {
    EXPECT_EQ(PracticeGenerator::StoredPassword("admin"), std::string("WZc_d"));
    EXPECT_EQ(PracticeGenerator::StoredPassword(std::string(1, '\x05')), std::string(1, '\xFB'));
    EXPECT_EQ(PracticeGenerator::StoredPassword(""), "");
}
