// A row the driver cannot deliver fails the run: ending the table there
// would let the deletion remove rows that were never copied.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "archive/safety/DatabaseBackup.h"
#include "core/Globals.h"
#include "tests/archive/ArchiveFixture.h"

namespace archivetest {
namespace {

using UnreadableRowTest = ArchiveTest;

TEST_P(UnreadableRowTest, FailsTheRunAndRestores) {
    // The Access kind is an SQLite file underneath, where a date column can
    // be given a text that is no date.
    Install(PracticePatients);
    set_->MainDatabase().Connection.Disconnect();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(DatabasePath(set_->MainDatabase()).c_str(), &db), SQLITE_OK);
    // The driver's own checks would refuse it; SQLite can be told to skip them.
    ASSERT_EQ(sqlite3_exec(db, "pragma ignore_check_constraints=1", nullptr, nullptr, nullptr),
              SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(db, "insert into termine (tid, pid, datum, dauer) values (99, 6, 'kaputt', 5)",
                     nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);
    ASSERT_TRUE(Connect(set_->MainDatabase()));
    log_.Clear();

    Transfer("6");
    const auto lines = LogLines();
    bool reported = false;
    for (size_t i = 1; i < lines.size(); ++i)
        if (lines[i - 1].text == "• Velunda.termine...") {
            // The Access kind refuses the row at the fetch; a driver that
            // delivers the row but not the value gets "Fehler beim Lesen von".
            reported = lines[i].text.rfind("Fehler beim Transfer: ", 0) == 0 ||
                       lines[i].text.rfind("Fehler beim Lesen von datum: ", 0) == 0;
            EXPECT_NE(lines[i].text.find("kaputt"), std::string::npos) << lines[i].text;
            EXPECT_EQ(lines[i].colour, ColourRed);
        }
    EXPECT_TRUE(reported);
    EXPECT_EQ(LogTexts().at(LogTexts().size() - 2), "• Daten wieder herstellen...");
    EXPECT_EQ(Count(set_->MainDatabase(), "select count(*) from patienten where pid=6"), 1);
    EXPECT_EQ(Count(set_->Archive, "select count(*) from patienten"), 0);
    EXPECT_EQ(Count(set_->MainDatabase(), "select count(*) from termine where tid=99"), 1);
}

INSTANTIATE_TEST_SUITE_P(Kinds, UnreadableRowTest, testing::Values(DatabaseKind::Access), KindName);

}  // namespace
}  // namespace archivetest
