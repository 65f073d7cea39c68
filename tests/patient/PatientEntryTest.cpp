// The patient record on practices of both kinds.
#include <gtest/gtest.h>

#include "patient/CPatientEntry.h"
#include "tests/archive/ArchiveFixture.h"

using namespace archivetest;

namespace {

class PatientEntryTest : public ArchiveTest {
  protected:
    void SetUp() override {
        ArchiveTest::SetUp();
        if (IsSkipped()) return;
        Install(0, "--cases");
    }
};

TEST_P(PatientEntryTest, LoadsOnePatientAndForgetsThePrevious) {
    Exec(set_->MainDatabase(),
         "update patienten set titel='Dr.', unfall=1, inaktiv=1 where pid=14");
    CPatientEntry entry(&set_->MainDatabase().Connection);
    ASSERT_TRUE(entry.SetPID(14));
    EXPECT_EQ(entry.GetPid(), 14);
    EXPECT_EQ(entry.GetNachname(), "O'Neill");
    EXPECT_EQ(entry.GetVorname(), "Nora");
    EXPECT_EQ(entry.GetTitel(), "Dr.");
    EXPECT_EQ(entry.GetAid(), 2);
    EXPECT_EQ(entry.GetUnfall(), 1);
    EXPECT_EQ(entry.GetInaktiv(), 1);
    EXPECT_EQ(entry.GetGordnung(), 1);
    EXPECT_FALSE(entry.GetStrasse().empty());
    EXPECT_EQ(entry.GetGeburtsdatum().size(), 10u);  // as stored: dd.mm.yyyy

    // One byte read as a signed number.
    Exec(set_->MainDatabase(), "update patienten set unfall=255 where pid=13");
    ASSERT_TRUE(entry.SetPID(13));
    EXPECT_EQ(entry.GetUnfall(), -1);
    EXPECT_EQ(entry.GetTitel(), "");
    EXPECT_EQ(entry.GetNachname(), "Mohr");

    EXPECT_FALSE(entry.SetPID(4711));
    EXPECT_EQ(entry.GetNachname(), "");
    EXPECT_EQ(entry.GetAid(), -1);
    EXPECT_EQ(entry.GetBereiche(), 2047);
    EXPECT_EQ(entry.GetGordnung(), 1);
    EXPECT_TRUE(boxes_.Boxes().empty());

    CPatientEntry none(nullptr);
    EXPECT_FALSE(none.SetPID(14));
    EXPECT_EQ(boxes_.Texts(),
              std::vector<std::string>{"CPatientEntry::SetPID: Datenbank nicht gesetzt!"});
}

INSTANTIATE_TEST_SUITE_P(Kinds, PatientEntryTest,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access), KindName);

}  // namespace
