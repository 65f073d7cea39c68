// File backups of one side: copies with the connections closed, the restore
// by rename, and the removal of backups.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "archive/DatabaseBackup.h"
#include "core/Globals.h"
#include "tests/archive/ArchiveFixture.h"

namespace archivetest {
namespace {

namespace fs = std::filesystem;
using BackupTest = ArchiveTest;

TEST_P(BackupTest, BackupCopiesEveryFileAndReconnects) {
    Install(PracticePatients);
    testenv::WriteFile(fs::path(BackupPath(set_->Velunda[1])), "stale backup");
    ASSERT_TRUE(BackupDatabaseFiles(set_->VelundaList));
    EXPECT_EQ(BakFiles().size(), 8u);
    for (auto& db : set_->Velunda) {
        EXPECT_TRUE(db.Connection.IsOpen()) << db.FileName;
        EXPECT_EQ(testenv::ReadFile(BackupPath(db)), testenv::ReadFile(DatabasePath(db)))
            << db.FileName;
    }
    EXPECT_EQ(Count(set_->MainDatabase(), "select count(*) from patienten"), PracticePatients);
    DeleteDatabaseBackups(set_->VelundaList);
    EXPECT_TRUE(BakFiles().empty());
}

TEST_P(BackupTest, FailedCopyStopsAtThatFile) {
    Install(PracticePatients);
    // The second database's file cannot be read: no copy of it, none of the
    // third, and a plain line naming both paths.
    fs::path second = DatabasePath(set_->Velunda[1]);
    fs::rename(second, second.string() + ".away");
    fs::create_directory(second);
    EXPECT_FALSE(BackupDatabaseFiles(set_->VelundaList));
    EXPECT_EQ(BakFiles(), std::vector<std::string>{std::string("data") + Ext() + ".bak"});
    const auto lines = log_.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].text,
              "Fehler beim Kopieren von " + second.string() + " nach " + second.string() + ".bak");
    EXPECT_EQ(lines[0].colour, 0u);
    fs::remove(second);
    fs::rename(second.string() + ".away", second);
}

TEST_P(BackupTest, RestorePutsTheCopiesBackAndConnects) {
    Install(PracticePatients);
    ASSERT_TRUE(BackupDatabaseFiles(set_->VelundaList));
    Exec(set_->MainDatabase(), "delete from patienten");
    RestoreDatabaseFiles(set_->VelundaList);
    EXPECT_TRUE(BakFiles().empty());
    for (auto& db : set_->Velunda) EXPECT_TRUE(db.Connection.IsOpen()) << db.FileName;
    EXPECT_EQ(Count(set_->MainDatabase(), "select count(*) from patienten"), PracticePatients);
    EXPECT_TRUE(log_.Lines().empty());
}

TEST_P(BackupTest, RestoreIsAllOrNothingAndKeepsEveryBackup) {
    Install(PracticePatients);
    ASSERT_TRUE(BackupDatabaseFiles(set_->VelundaList));
    Exec(set_->MainDatabase(), "delete from havg_pat");
    auto reportOf = [&](size_t back) {
        std::vector<std::string> report{
            "Die Datenbanken konnten nicht vollständig wiederhergestellt werden; alle "
            "Datensicherungen bleiben erhalten:"};
        for (size_t i = 0; i < set_->Velunda.size(); ++i) {
            const std::string name = set_->Velunda[i].FileName + Ext();
            report.push_back(i < back ? "• " + name + ": wiederhergestellt"
                                      : "• " + name + ": nicht wiederhergestellt, Sicherung in " +
                                            name + ".bak");
        }
        return report;
    };
    auto redTexts = [&] {
        std::vector<std::string> texts;
        for (const auto& line : log_.Lines()) {
            EXPECT_EQ(line.colour, ColourRed) << line.text;
            texts.push_back(line.text);
        }
        return texts;
    };

    // A backup is missing: no file is put back, not even the first.
    const std::string last = BackupPath(set_->Velunda[7]);
    fs::rename(last, last + ".away");
    EXPECT_FALSE(RestoreDatabaseFiles(set_->VelundaList));
    std::vector<std::string> expected{"Die Datensicherung " + last + " fehlt."};
    for (const auto& line : reportOf(0)) expected.push_back(line);
    EXPECT_EQ(redTexts(), expected);
    EXPECT_EQ(Count(set_->MainDatabase(), "select count(*) from havg_pat"), 0);
    EXPECT_EQ(BakFiles().size(), 7u);
    fs::rename(last + ".away", last);

    // The third database cannot be replaced (a folder stands in its place):
    // the two before it are back, it and the rest are not, every backup stays.
    log_.Clear();
    const std::string third = DatabasePath(set_->Velunda[2]);
    fs::remove(third);
    fs::create_directories(fs::path(third) / "blocked");
    EXPECT_FALSE(RestoreDatabaseFiles(set_->VelundaList));
    expected = {"Fehler beim Umbenennen von " + BackupPath(set_->Velunda[2]) + " nach " + third};
    for (const auto& line : reportOf(2)) expected.push_back(line);
    expected.push_back("Fehler beim Connect zu form" + std::string(Ext()));
    EXPECT_EQ(redTexts(), expected);
    EXPECT_GT(Count(set_->MainDatabase(), "select count(*) from havg_pat"), 0);
    EXPECT_EQ(BakFiles().size(), 8u);
    for (const auto& entry : fs::directory_iterator(DatabaseDir))
        EXPECT_NE(entry.path().extension(), ".restore") << entry.path();
    fs::remove_all(third);
    DeleteDatabaseBackups(set_->VelundaList);
}

TEST_P(BackupTest, FailedReconnectIsReportedAndFailsTheBackup) {
    Install(PracticePatients);
    // A database file that its engine cannot open after the copy.
    const std::string path = DatabasePath(set_->Velunda[6]);
    set_->Velunda[6].Connection.Disconnect();
    const std::string bytes = testenv::ReadFile(path);
    testenv::WriteFile(path, std::string(bytes.size(), 'x'));
    EXPECT_FALSE(BackupDatabaseFiles(set_->VelundaList));
    const auto lines = log_.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "Fehler beim Connect zu kassenbuch" + std::string(Ext()));
    EXPECT_EQ(lines[0].colour, ColourRed);
    DeleteDatabaseBackups(set_->VelundaList);
    testenv::WriteFile(path, bytes);
}

INSTANTIATE_TEST_SUITE_P(Kinds, BackupTest,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access), KindName);

}  // namespace
}  // namespace archivetest
