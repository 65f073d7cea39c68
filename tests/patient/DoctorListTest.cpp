// The doctor list on practices of both kinds: doctors 2 to 6 (5 hidden by
// bit 0x20 of "arten"), 1 the practice, 0 the emergency service ("Dr."
// without a surname).
#include <gtest/gtest.h>

#include "core/Globals.h"
#include "patient/DoctorList.h"
#include "tests/archive/ArchiveFixture.h"

using namespace archivetest;

namespace {

class DoctorListTest : public ArchiveTest {
  protected:
    void SetUp() override {
        ArchiveTest::SetUp();
        if (IsSkipped()) return;
        Install(0, "--cases");
    }
    void TearDown() override {
        PresetAid = -1;
        ArchiveTest::TearDown();
    }
    // "aid:text" per item, and the selected index.
    std::vector<std::string> Fill(int32_t currentDoctor) {
        PresetAid = currentDoctor;
        FillDoctorList(set_->MainDatabase().Connection, box_);
        std::vector<std::string> items;
        for (int i = 0; i < box_.GetCount(); ++i)
            items.push_back(std::to_string(box_.GetItemData(i)) + ":" + box_.GetItemText(i));
        return items;
    }

    ComboBoxModel box_;
};

TEST_P(DoctorListTest, VisibleDoctorsByNameWithTheCurrentDoctorSelected) {
    const std::vector<std::string> visible = {"2:Dr. med. Müller, Jürgen", "3:Dr. Schmidt, Eva",
                                              "6:Weber, Klaus", "4:Weiß, Anna"};
    EXPECT_EQ(Fill(-1), visible);
    EXPECT_EQ(box_.GetCurSel(), 0);
    EXPECT_EQ(Fill(4), visible);
    EXPECT_EQ(box_.GetCurSel(), 3);
    // A current doctor who is not listed: the first entry.
    EXPECT_EQ(Fill(1), visible);
    EXPECT_EQ(box_.GetCurSel(), 0);
    // The hidden doctor appears for himself only, selected.
    std::vector<std::string> withAlt = visible;
    withAlt.insert(withAlt.begin(), "5:Dr. Alt, Gerhard");
    EXPECT_EQ(Fill(5), withAlt);
    EXPECT_EQ(box_.GetCurSel(), 0);
    EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_P(DoctorListTest, IdsZeroAndOneOnlyWhenNoOtherDoctorIsShown) {
    Exec(set_->MainDatabase(), "update arzt set arten=33 where aid>1");
    EXPECT_EQ(Fill(-1),
              (std::vector<std::string>{"0:Dr. , Notdienst", "1:Praxis, Gemeinschaftspraxis"}));
    EXPECT_EQ(box_.GetCurSel(), 0);
    // The current doctor, though hidden, fills the first pass alone.
    EXPECT_EQ(Fill(3), std::vector<std::string>{"3:Dr. Schmidt, Eva"});

    // A failing first query leaves the second to fill the box.
    setenv("TAMARO_ODBC_FAIL_AFTER", "0", 1);
    setenv("TAMARO_ODBC_FAIL_MATCH", "where aid>1", 1);
    EXPECT_EQ(Fill(3).size(), 3u);  // 0, 1 and the current doctor
    unsetenv("TAMARO_ODBC_FAIL_AFTER");
    unsetenv("TAMARO_ODBC_FAIL_MATCH");
    EXPECT_EQ(box_.GetItemData(box_.GetCurSel()), 3);

    // A closed database leaves the box empty, without a message.
    set_->MainDatabase().Connection.Disconnect();
    EXPECT_TRUE(Fill(-1).empty());
    EXPECT_EQ(box_.GetCurSel(), -1);
    EXPECT_TRUE(boxes_.Boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, DoctorListTest,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access), KindName);

}  // namespace
