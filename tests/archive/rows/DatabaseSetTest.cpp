// The fixed database set: lookup of a table's database on either side.
#include <gtest/gtest.h>

#include <algorithm>

#include "archive/rows/PidList.h"
#include "db/DatabaseSet.h"

namespace {

TEST(DatabaseSetTest, FindDatabaseForTable) {
    DatabaseSet set;
    EXPECT_EQ(FindDatabaseForTable(set.VelundaList, "DATA"), &set.Velunda[7]);
    EXPECT_EQ(FindDatabaseForTable(set.VelundaList, "patienten"), &set.Velunda[0]);
    EXPECT_EQ(FindDatabaseForTable(set.VelundaList, "pat_unfall"), &set.Velunda[0]);
    EXPECT_EQ(FindDatabaseForTable(set.ArchiveList, "medhistory"), &set.Archive);
    EXPECT_EQ(FindDatabaseForTable(set.VelundaList, "praxisgebuehr"), nullptr);
    EXPECT_EQ(FindDatabaseForTable(set.VelundaList, "ldt"), nullptr);
    EXPECT_EQ(FindDatabaseForTable(set.VelundaList, "ldtnummer"), &set.Velunda[3]);
    EXPECT_EQ(FindDatabaseForTable(set.VelundaList, ""), nullptr);
}

TEST(DatabaseSetTest, ArchiveListsExactlyTheVelundaTables) {
    DatabaseSet set;
    std::vector<std::string> velunda;
    for (ArchiveDbPair* db = set.VelundaList; db; db = db->Next)
        for (const std::string& t : SplitTableList(db->Tables)) velunda.push_back(t);
    std::vector<std::string> archive = SplitTableList(set.Archive.Tables);
    EXPECT_EQ(archive.size(), 24u);
    std::sort(velunda.begin(), velunda.end());
    std::sort(archive.begin(), archive.end());
    EXPECT_EQ(velunda, archive);
    EXPECT_EQ(set.Archive.Next, nullptr);
    EXPECT_EQ(set.Velunda[7].Next, nullptr);
}

TEST(DatabaseSetTest, SwapSidesExchangesTheHeads) {
    DatabaseSet set;
    EXPECT_EQ(set.SourceList, set.VelundaList);
    EXPECT_FALSE(set.ArchiveIsSource());
    set.SwapSides();
    EXPECT_EQ(set.SourceList, set.ArchiveList);
    EXPECT_EQ(set.TargetList, set.VelundaList);
    EXPECT_TRUE(set.ArchiveIsSource());
}

TEST(PidListTest, SplitsAtMostThisManyIds) {
    EXPECT_EQ(SplitPidList("12,40,7", 2), (std::vector<std::string>{"12,40", "7"}));
    EXPECT_EQ(SplitPidList("12,40,7", 3), (std::vector<std::string>{"12,40,7"}));
    EXPECT_EQ(SplitPidList("12", 1), (std::vector<std::string>{"12"}));
    EXPECT_EQ(SplitPidList("1,2,3,4", 1), (std::vector<std::string>{"1", "2", "3", "4"}));
    std::string ids = "1";
    for (int i = 2; i <= 2500; ++i) ids += "," + std::to_string(i);
    const auto parts = SplitPidList(ids);
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[1].substr(0, 5), "1001,");
    EXPECT_EQ(parts[0] + "," + parts[1] + "," + parts[2], ids);
}

TEST(PidListTest, TableListSplitsAsWritten) {
    EXPECT_EQ(SplitTableList("a,b"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(SplitTableList("a, b"), (std::vector<std::string>{"a", " b"}));
    EXPECT_EQ(SplitTableList(",a,b"), (std::vector<std::string>{",a,b"}));
    EXPECT_EQ(SplitTableList("a,,b"), (std::vector<std::string>{"a", ",b"}));
}

}  // namespace
