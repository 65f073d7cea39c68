// File backups of one side: copies with the connections closed, made
// exclusively, checked before they are renamed back, and removed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "archive/safety/DatabaseBackup.h"
#include "core/Globals.h"
#include "tests/archive/ArchiveFixture.h"

namespace archivetest {
namespace {

namespace fs = std::filesystem;
using BackupTest = ArchiveTest;

TEST_P(BackupTest, BackupCopiesEveryFileAndReconnects) {
    Install(PracticePatients);
    // A stale backup is replaced; one that is a link is replaced too, never
    // written through.
    testenv::WriteFile(fs::path(BackupPath(set_->Velunda[1])), "stale backup");
    const fs::path victim = dir_.path() / "victim";
    testenv::WriteFile(victim, "not a backup");
    fs::create_symlink(victim, BackupPath(set_->Velunda[2]));
    std::vector<BackupRecord> records;
    ASSERT_TRUE(BackupDatabaseFiles(set_->VelundaList, records));
    EXPECT_EQ(testenv::ReadFile(victim), "not a backup");
    EXPECT_EQ(BakFiles().size(), 8u);
    ASSERT_EQ(records.size(), 8u);
    for (size_t i = 0; i < records.size(); ++i) {
        auto& db = set_->Velunda[i];
        EXPECT_TRUE(db.Connection.IsOpen()) << db.FileName;
        EXPECT_FALSE(fs::is_symlink(BackupPath(db))) << db.FileName;
        EXPECT_EQ(testenv::ReadFile(BackupPath(db)), testenv::ReadFile(DatabasePath(db)))
            << db.FileName;
        EXPECT_EQ(records[i].file, db.FileName + Ext());
        EXPECT_EQ(records[i].size, fs::file_size(DatabasePath(db)));
        EXPECT_TRUE(MatchesRecord(BackupPath(db), records[i])) << db.FileName;
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
    std::vector<BackupRecord> records;
    EXPECT_FALSE(BackupDatabaseFiles(set_->VelundaList, records));
    EXPECT_EQ(BakFiles(), std::vector<std::string>{std::string("data") + Ext() + ".bak"});
    const auto lines = log_.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].text,
              "Fehler beim Kopieren von " + second.string() + " nach " + second.string() + ".bak");
    EXPECT_EQ(lines[0].colour, 0u);
    fs::remove(second);
    fs::rename(second.string() + ".away", second);
}

TEST_P(BackupTest, PutBackRenamesOnlyTheBackupThatWasMadeWithItsOwner) {
    Install(PracticePatients);
    ArchiveDbPair& db = set_->Velunda[3];
    const std::string path = DatabasePath(db);
    // The file as a database server's: another owner and group, rw-rw----.
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    }
    ASSERT_EQ(chmod(path.c_str(), 0660), 0);
    db.Connection.Disconnect();
    const std::string before = testenv::ReadFile(path);
    BackupRecord record;
    ASSERT_TRUE(BackupFile(path, record));

    // A backup cut short is kept and not put back.
    const std::string backup = path + ".bak";
    const std::string whole = testenv::ReadFile(backup);
    testenv::WriteFile(path, "changed");
    testenv::WriteFile(backup, whole.substr(0, whole.size() / 2));
    EXPECT_EQ(PutBackFile(path, record), PutBack::Damaged);
    EXPECT_EQ(testenv::ReadFile(path), "changed");
    EXPECT_TRUE(fs::exists(backup));

    // A folder in the database's place: the rename fails, the backup stays.
    testenv::WriteFile(backup, whole);
    fs::remove(path);
    fs::create_directories(fs::path(path) / "blocked");
    EXPECT_EQ(PutBackFile(path, record), PutBack::Failed);
    EXPECT_TRUE(fs::exists(backup));
    fs::remove_all(path);

    // The whole backup goes back by rename, with owner, group and mode; a
    // second put-back finds it done.
    testenv::WriteFile(path, "changed");
    EXPECT_EQ(PutBackFile(path, record), PutBack::Done);
    EXPECT_FALSE(fs::exists(backup));
    EXPECT_TRUE(testenv::ReadFile(path) == before);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0660u);
    if (root) {
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
    }
    EXPECT_EQ(PutBackFile(path, record), PutBack::AlreadyBack);
    testenv::WriteFile(path + ".bak", "");
    fs::remove(path + ".bak");
    testenv::WriteFile(path, "other");
    EXPECT_EQ(PutBackFile(path, record), PutBack::Missing);

    std::vector<std::string> red;
    for (const auto& line : log_.Lines())
        if (line.colour == ColourRed) red.push_back(line.text);
    EXPECT_EQ(red, (std::vector<std::string>{
                       "Die Datensicherung " + backup +
                           " ist nicht mehr die beim Vorgang angelegte (Größe oder Prüfsumme "
                           "weichen ab); sie wird nicht zurückgelegt und bleibt zur Prüfung "
                           "erhalten.",
                       "Fehler beim Umbenennen von " + backup + " nach " + path,
                       "Die Datensicherung " + backup + " fehlt."}));
    testenv::WriteFile(path, before);
}

TEST_P(BackupTest, FailedReconnectIsReportedAndFailsTheBackup) {
    Install(PracticePatients);
    // A database file that its engine cannot open after the copy.
    const std::string path = DatabasePath(set_->Velunda[6]);
    set_->Velunda[6].Connection.Disconnect();
    const std::string bytes = testenv::ReadFile(path);
    testenv::WriteFile(path, std::string(bytes.size(), 'x'));
    std::vector<BackupRecord> records;
    EXPECT_FALSE(BackupDatabaseFiles(set_->VelundaList, records));
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
