// Archive and restore runs that bring every value back: long texts, doubles
// the old literals cut, timestamp fractions, nulls of key-word columns, keys
// the databases number themselves, and a history row of 15,000 patients.
#include <gtest/gtest.h>

#include "archive/runs/ArchiveHistory.h"
#include "archive/rows/SqlLiteral.h"
#include "core/Globals.h"
#include "db/ODBCStmt.h"
#include "tests/archive/ArchiveFixture.h"

namespace archivetest {
namespace {

using RoundTripTest = ArchiveTest;

// The keys that the transfer leaves out and the databases number.
const char* const kKeys[][2] = {
    {"abrechnungen", "zid"}, {"diagnosen", "did"}, {"ldtnummer", "autoid"}};

std::vector<double> Factors(ArchiveDbPair& db) {
    std::vector<double> values;
    ODBCStmt stmt(db.Connection);
    EXPECT_TRUE(
        stmt.ExecDirect("select faktor from abrechnungen where ziffer like 'D%' order by "
                        "ziffer"));
    while (stmt.Fetch()) {
        double v = 0;
        SQLLEN ind = 0;
        EXPECT_TRUE(SQL_SUCCEEDED(SQLGetData(stmt.Handle(), 1, SQL_C_DOUBLE, &v, sizeof v, &ind)));
        values.push_back(v);
    }
    return values;
}

TEST_P(RoundTripTest, EveryValueComesBackAndTheDatabasesNumberTheKeys) {
    Install(PracticePatients);
    ArchiveDbPair& main = set_->MainDatabase();
    const std::vector<double> doubles{1.0 / 3.0, 1e-7, 1e300, 0.1 + 0.2, 2.5, -2.0 / 3.0};
    for (size_t i = 0; i < doubles.size(); ++i)
        Exec(main, "insert into abrechnungen (pid, ziffer, faktor) values (4, 'D" +
                       std::to_string(i) + "', " + DoubleLiteral(doubles[i]) + ")");
    ASSERT_EQ(Factors(main), doubles);
    // A note of 200 KB, longer than any literal Firebird takes.
    std::string note;
    for (int i = 0; note.size() < 200 * 1024; ++i)
        note += "Zeile " + std::to_string(i) + ": ä'ß\r\n";
    Exec(main,
         "insert into diagnosen (pid, code, notiz) values (4, 'Z00', " + TextLiteral(note) + ")");
    // A null "text", which the blanking update must name quoted, and on
    // Firebird a timestamp with a fraction of a second.
    const std::string q = Kind() == DatabaseKind::Firebird ? "'" : "#";
    const std::string stamp =
        Kind() == DatabaseKind::Firebird ? "2020-01-31 08:05:09.25" : "2020-01-31 08:05:09";
    Exec(main, "insert into termine (tid, pid, \"text\", erstellt) values (4000, 4, null, " + q +
                   stamp + q + ")");

    const Snapshot before = Take(set_->VelundaList);
    const Snapshot chosen = Take(set_->VelundaList, "4,6");
    auto expectKeys = [&](ArchiveDbPair* side, const char* where) {
        for (const auto& [table, key] : kKeys) {
            ArchiveDbPair* db = FindDatabaseForTable(side, table);
            const std::string from = std::string(" from ") + table;
            EXPECT_EQ(
                Count(*db, std::string("select count(*)") + from + " where " + key + " is null"), 0)
                << where << " " << table;
            EXPECT_EQ(Count(*db, std::string("select count(distinct ") + key + ")" + from),
                      Count(*db, "select count(*)" + from))
                << where << " " << table;
        }
    };

    Transfer("4,6");
    const Snapshot archived = Take(set_->ArchiveList);
    for (const auto& [table, t] : chosen) EXPECT_EQ(archived.at(table), t) << table;
    EXPECT_EQ(Count(set_->Archive, "select count(*) from termine where \"text\" is null"), 0);
    EXPECT_EQ(Query(set_->Archive, "select erstellt from termine where tid=4000")
                  .at(0)
                  .at(0)
                  .rfind(stamp, 0),
              0u);
    EXPECT_EQ(Factors(set_->Archive), doubles);
    expectKeys(set_->ArchiveList, "archive");

    set_->SwapSides();
    Transfer("4,6");
    EXPECT_EQ(Take(set_->VelundaList), before);
    EXPECT_EQ(Factors(main), doubles);
    expectKeys(set_->VelundaList, "Velunda");
    for (const auto& line : LogLines()) EXPECT_NE(line.colour, ColourRed) << line.text;
}

TEST_P(RoundTripTest, HistoryOfFifteenThousandPatients) {
    Install(PracticePatients);
    // Ids that do not exist make the list long without a big installation.
    std::string pids = "1,2,3";
    for (int i = 0; i < 14997; ++i) pids += "," + std::to_string(100000 + i);
    Transfer(pids);
    for (const auto& line : LogLines()) EXPECT_NE(line.colour, ColourRed) << line.text;
    ASSERT_EQ(history_.GetCount(), 2);
    EXPECT_EQ(GetArcPIDsFromDate(set_->Archive, history_.GetItemData(1)), pids);
    EXPECT_EQ(Count(set_->Archive, "select count(*) from patienten"), 3);
}

// The version upgrade adds the key columns of old archives and indexes them
// (steps 42 and 45); on tables whose keys are numbered the first statement
// fails as it may, the index is made, and numbering goes on past any number
// given explicitly.
TEST_P(RoundTripTest, UpgradeStepsOnNumberedKeys) {
    Install(PracticePatients);
    ODBCConnection& main = set_->MainDatabase().Connection;
    EXPECT_TRUE(main.RunSQL("alter table abrechnungen add column zid integer"));
    EXPECT_FALSE(main.RunSQL("create unique index I_PK_ABRECHNUNGEN on abrechnungen (zid)"));
    EXPECT_TRUE(main.RunSQL("alter table diagnosen add column did integer"));
    EXPECT_FALSE(main.RunSQL("create unique index I_PK_DIAGNOSEN on diagnosen (did)"));
    EXPECT_EQ(boxes_.Boxes().size(), 2u);
    for (const auto& [table, key] : {std::pair{"abrechnungen", "zid"}, {"diagnosen", "did"}}) {
        const std::string t = table, k = key;
        const int highest = Count(set_->MainDatabase(), "select max(" + k + ") from " + t);
        Exec(set_->MainDatabase(), "insert into " + t + " (pid) values (901)");
        Exec(set_->MainDatabase(), "insert into " + t + " (" + k + ", pid) values (" +
                                       std::to_string(highest + 100) + ", 902)");
        Exec(set_->MainDatabase(), "insert into " + t + " (pid) values (903)");
        auto rows = Query(set_->MainDatabase(),
                          "select " + k + " from " + t + " where pid > 900 order by pid");
        ASSERT_EQ(rows.size(), 3u) << t;
        EXPECT_GT(std::atoi(rows[0][0].c_str()), highest) << t;
        EXPECT_EQ(std::atoi(rows[2][0].c_str()), highest + 101) << t;
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, RoundTripTest,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access), KindName);

}  // namespace
}  // namespace archivetest
