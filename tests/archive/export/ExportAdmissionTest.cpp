// What an export refuses that the real program's tests cannot set up: the
// journal of an unfinished run, read or not; and the names an export gives
// its folders and attachments.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/export/AttachmentNames.h"
#include "archive/export/ExportAdmission.h"
#include "archive/export/RecordFolderName.h"
#include "archive/safety/RunJournal.h"
#include "core/Globals.h"
#include "tests/archive/ArchiveFixture.h"

namespace archivetest {
namespace {

using ExportAdmissionTest = ArchiveTest;

TEST_P(ExportAdmissionTest, AnUnfinishedRunKeepsItsPatientsAndAnUnreadableJournalAll) {
    Install(PracticePatients);
    RunJournal journal;
    journal.kind = RunKind::Archive;
    journal.stage = RunStage::Undecided;
    journal.pids = "3,4";
    journal.started = 1700000000;
    journal.sourceFiles = {std::string("data") + Ext()};
    ASSERT_TRUE(journal.Save());

    EXPECT_FALSE(AdmitExport(set_->VelundaList, set_->ArchiveList, {2, 3, 99}));
    EXPECT_EQ(boxes_.Texts(),
              std::vector<std::string>{
                  "Diese Patienten können nicht exportiert werden:\n• nicht in Velunda "
                  "vorhanden: 99\n• gehören zu einem nicht abgeschlossenen Vorgang (" +
                  journal.Describe() + "): 3\nEs wird nichts exportiert."});
    boxes_.Clear();
    EXPECT_TRUE(AdmitExport(set_->VelundaList, set_->ArchiveList, {2, 5}));
    EXPECT_TRUE(boxes_.Texts().empty());

    // An unfinished maintenance of the archive keeps every export from it.
    journal.kind = RunKind::Maintenance;
    journal.pids.clear();
    ASSERT_TRUE(journal.Save());
    EXPECT_TRUE(AdmitExport(set_->VelundaList, set_->ArchiveList, {2}));
    EXPECT_FALSE(AdmitExport(set_->ArchiveList, set_->VelundaList, {2}));
    EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{
                                  "Eine Wartung der Archivdatenbank ist nicht abgeschlossen (" +
                                  journal.Describe() + ").\nEs wird nichts exportiert."});
    boxes_.Clear();

    // A journal that cannot be read may name anyone.
    ASSERT_TRUE(RunJournal::Remove());
    std::filesystem::create_directory(RunJournal::Path());
    EXPECT_FALSE(AdmitExport(set_->VelundaList, set_->ArchiveList, {2}));
    EXPECT_EQ(boxes_.Texts(),
              std::vector<std::string>{"Ein früherer Vorgang ist nicht abgeschlossen, und Tamaro "
                                       "kann nicht lesen, welche Patienten er betrifft (" +
                                       RunJournal::Path() + ").\nEs wird nichts exportiert."});
}

INSTANTIATE_TEST_SUITE_P(Kinds, ExportAdmissionTest,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access), KindName);

TEST(RecordNames, AreSafeFileNamesThatTellTheRecordsApart) {
    EXPECT_EQ(RecordFolderName(12, "Müller", "Anna"), "12_Müller_Anna");
    // Separators, control characters, quotes, blanks and what Windows
    // refuses become one "_"; nothing hides the folder or ends it in a dot.
    EXPECT_EQ(RecordFolderName(7, "../O'Brien/\x01:*?", " Jean-Luc  \"Zé\" "),
              "7_O_Brien_Jean-Luc_Zé");
    EXPECT_EQ(RecordFolderName(8, "..", "."), "8");
    EXPECT_EQ(RecordFolderName(9, std::string(100, 'a'), "b").size(), 2u + 60u);
    EXPECT_EQ(RecordFolderName(10, "Œuvre€", "Ÿves×"), "10_Œuvre_Ÿves");

    // Attachments by key where the table has one, else by the row's place;
    // the extension by the content.
    PatientRecord record;
    RecordTable keyed, plain;
    keyed.table = "pat_unfall";
    keyed.columns = {{"uid", SQL_INTEGER, 10, 0}, {"scan", SQL_LONGVARBINARY, 0, 0}};
    keyed.key = {0};
    plain.table = "termine";
    plain.columns = {{"tid", SQL_INTEGER, 10, 0}, {"anhang", SQL_LONGVARBINARY, 0, 0}};
    RecordValue id, pdf, jpeg, nothing, bytes;
    id.kind = ValueKind::Integer;
    pdf.kind = jpeg.kind = bytes.kind = ValueKind::Binary;
    pdf.text = "%PDF-1.7 ...";
    jpeg.text = "\xFF\xD8\xFF\xE0";
    bytes.text = std::string("\0\1", 2);
    id.integer = 4;
    keyed.rows = {{id, pdf}};
    id.integer = 5;
    keyed.rows.push_back({id, nothing});
    plain.rows = {{id, jpeg}, {id, bytes}};
    record.tables = {keyed, plain};
    const AttachmentNames names(record);
    EXPECT_EQ(names.Count(), 3u);
    EXPECT_EQ(*names.Name(0, 0, 1), "anhaenge/pat_unfall.scan.4.pdf");
    EXPECT_EQ(names.Name(0, 1, 1), nullptr);
    EXPECT_EQ(names.Name(0, 0, 0), nullptr);
    EXPECT_EQ(*names.Name(1, 0, 1), "anhaenge/termine.anhang.zeile1.jpg");
    EXPECT_EQ(*names.Name(1, 1, 1), "anhaenge/termine.anhang.zeile2.bin");
}

}  // namespace
}  // namespace archivetest
