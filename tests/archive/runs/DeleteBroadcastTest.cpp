// Deleting patients of the Velunda side tells the other practice programs,
// once per deletion, on a private session bus; the archive side does not.
#include <gtest/gtest.h>

#include "archive/rows/DeletePatients.h"
#include "tests/archive/ArchiveFixture.h"
#include "tests/fixtures/PrivateSessionBus.h"

namespace archivetest {
namespace {

using DeleteBroadcastTest = ArchiveTest;

TEST_P(DeleteBroadcastTest, OnlyTheVelundaSideIsAnnounced) {
    testenv::PrivateSessionBus bus;
    if (!bus.Ready()) GTEST_SKIP() << "no dbus-daemon";
    Install(PracticePatients);

    ASSERT_TRUE(DeletePatients(set_->VelundaList, "1,2"));
    EXPECT_EQ(bus.NewPatientSignals(), 1);

    ASSERT_TRUE(DeletePatients(set_->ArchiveList, "1,2"));
    EXPECT_EQ(bus.NewPatientSignals(), 0);

    Exec(set_->MainDatabase(), "drop table scheine");
    EXPECT_FALSE(DeletePatients(set_->VelundaList, "3"));
    EXPECT_EQ(bus.NewPatientSignals(), 0);
}

TEST_P(DeleteBroadcastTest, ArchiveRunAnnouncesRestoreRunLeavesItToItsCaller) {
    testenv::PrivateSessionBus bus;
    if (!bus.Ready()) GTEST_SKIP() << "no dbus-daemon";
    Install(PracticePatients);
    Transfer("5");
    EXPECT_EQ(bus.NewPatientSignals(), 1);
    set_->SwapSides();
    Transfer("5");
    EXPECT_EQ(bus.NewPatientSignals(), 0);
    EXPECT_EQ(Count(set_->MainDatabase(), "select count(*) from patienten where pid=5"), 1);
}

INSTANTIATE_TEST_SUITE_P(Kinds, DeleteBroadcastTest,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access), KindName);

}  // namespace
}  // namespace archivetest
