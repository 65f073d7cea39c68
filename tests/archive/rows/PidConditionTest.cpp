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
    // Sorted by value, ids as written, parts of at most three ids in groups
    // of at most two.
    EXPECT_EQ(RangedPidConditions("12,007,40,3", 3, 2),
              (std::vector<std::string>{
                  "pid between 3 and 12 and (pid between 3 and 7 and pid in (3,007) or pid "
                  "between 12 and 12 and pid in (12))",
                  "pid between 40 and 40 and (pid between 40 and 40 and pid in (40))"}));
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

    // Unsorted, a leading zero, an id without rows, more ids than a part
    // holds: the ranged conditions count what the plain in-list counts.
    const std::string pids = "9,2,011,5,3,1,99,7";
    for (const char* table : {"felder", "abrechnungen"}) {
        const int plain = Count(
            main, std::string("select count(*) from ") + table + " where pid in (" + pids + ")");
        EXPECT_GT(plain, 0) << table;
        int ranged = 0;
        for (const std::string& condition : RangedPidConditions(pids, 3, 2))
            ranged +=
                Count(main, std::string("select count(*) from ") + table + " where " + condition);
        EXPECT_EQ(ranged, plain) << table;
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, PidConditionTest,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access), KindName);

}  // namespace
}  // namespace archivetest
