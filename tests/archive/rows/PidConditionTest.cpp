// How a run names its patients per table: the catalog's pid indexes decide
// between plain in-lists and ranged conditions, and both select the same
// rows.
#include <gtest/gtest.h>

#include "archive/rows/PidIndex.h"
#include "archive/rows/PidList.h"
#include "db/DatabaseSet.h"
#include "tests/archive/ArchiveFixture.h"

namespace archivetest {
namespace {

using PidConditionTest = ArchiveTest;

TEST_P(PidConditionTest, CatalogChoosesTheFormAndBothSelectTheSameRows) {
    // Sorted by value, ids as written, parts of at most five ids halved
    // down to in-lists of at most two.
    EXPECT_EQ(RangedPidConditions("12,007,40,3,8,50", 5, 2),
              (std::vector<std::string>{
                  "pid between 3 and 40 and case when pid < 40 then case when pid < 8 then "
                  "pid in (3,007) else pid in (8,12) end else pid in (40) end",
                  "pid between 50 and 50 and pid in (50)"}));
    EXPECT_EQ(RangedPidConditions(""), (std::vector<std::string>{"pid in ()"}));

    Install(PracticePatients);
    ArchiveDbPair& main = set_->MainDatabase();
    // Velunda's own indexes: patienten by its primary key, abrechnungen by
    // an index; felder, pat_kontakt and itemhist have none on pid.
    EXPECT_TRUE(PidLeadsIndex(main, "patienten"));
    EXPECT_TRUE(PidLeadsIndex(main, "abrechnungen"));
    for (const char* table : {"felder", "pat_kontakt", "itemhist"}) {
        EXPECT_FALSE(PidLeadsIndex(main, table)) << table;
        EXPECT_EQ(UseRangedPidConditions(main, table), Kind() == DatabaseKind::Firebird) << table;
    }
    EXPECT_FALSE(UseRangedPidConditions(main, "abrechnungen"));
    // A table the catalog does not know keeps the plain form.
    EXPECT_FALSE(UseRangedPidConditions(main, "no_such_table"));
    // The archive template indexes pid in every archived table.
    for (ArchiveDbPair& db : set_->Velunda)
        for (const std::string& table : SplitTableList(db.Tables))
            EXPECT_TRUE(PidLeadsIndex(set_->Archive, table)) << table;

    // Unsorted, a leading zero, ids without rows, more ids than a part
    // holds, parts of several halvings: the ranged conditions count what the
    // plain in-list counts.
    std::string pids = "9,2,011,5,3,1,99,7";
    for (int pid = 12; pid <= PracticePatients + 40; pid += 3) pids += "," + std::to_string(pid);
    for (const char* table : {"felder", "abrechnungen"}) {
        const int plain = Count(
            main, std::string("select count(*) from ") + table + " where pid in (" + pids + ")");
        EXPECT_GT(plain, 0) << table;
        for (size_t groupIds : {1, 2, 3}) {
            int ranged = 0;
            for (const std::string& condition : RangedPidConditions(pids, 7, groupIds))
                ranged += Count(
                    main, std::string("select count(*) from ") + table + " where " + condition);
            EXPECT_EQ(ranged, plain) << table << " " << groupIds;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, PidConditionTest,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access), KindName);

}  // namespace
}  // namespace archivetest
