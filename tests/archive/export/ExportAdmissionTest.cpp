// What an export refuses that the real program's tests cannot set up: the
// journal of an unfinished run, read or not; the names an export gives its
// folders and attachments; and the values as the readable document and the
// machine-readable files write them.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "archive/export/AttachmentNames.h"
#include "archive/export/ExportAdmission.h"
#include "archive/export/RecordFolderName.h"
#include "archive/export/ValueText.h"
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

TEST(RecordValues, ReadAsGermanInTheDocumentAndAsIsoInTheFiles) {
    auto value = [](ValueKind kind, int64_t integer = 0, double real = 0,
                    const std::string& text = "") {
        RecordValue v;
        v.kind = kind;
        v.integer = integer;
        v.real = real;
        v.text = text;
        return v;
    };
    const RecordColumn datum{"datum", SQL_INTEGER, 10, 0}, betrag{"betrag", SQL_DOUBLE, 15, 0},
        faktor{"faktor", SQL_DOUBLE, 15, 0}, flag{"dauer", SQL_BIT, 1, 0},
        number{"anzahl", SQL_SMALLINT, 5, 0}, money{"betrag", SQL_DECIMAL, 12, 2};
    // Velunda's days as seconds since 1970 (noon UTC: that day in any zone).
    EXPECT_EQ(GermanValueText(value(ValueKind::Integer, 1262347200), datum), "01.01.2010");
    EXPECT_EQ(GermanValueText(value(ValueKind::Integer, 0), datum), "0");
    EXPECT_EQ(GermanValueText(value(ValueKind::Integer, 1262347200), number), "1262347200");
    EXPECT_EQ(IsoValueText(value(ValueKind::Integer, 1262347200)), "1262347200");
    // Amounts with two decimals, other numbers as they are, decimal commas.
    EXPECT_EQ(GermanValueText(value(ValueKind::Real, 0, 27.7), betrag), "27,70");
    EXPECT_EQ(GermanValueText(value(ValueKind::Real, 0, 2.3), faktor), "2,3");
    EXPECT_EQ(IsoValueText(value(ValueKind::Real, 0, 2.3)), "2.3");
    EXPECT_EQ(GermanValueText(value(ValueKind::Decimal, 0, 0, "-0.50"), money), "-0,50");
    EXPECT_EQ(IsoValueText(value(ValueKind::Decimal, 0, 0, ".5")), "0.5");
    EXPECT_TRUE(IsJsonNumber(value(ValueKind::Decimal, 0, 0, ".5")));
    EXPECT_FALSE(IsJsonNumber(value(ValueKind::Decimal, 0, 0, "1,5")));
    EXPECT_FALSE(IsJsonNumber(value(ValueKind::Real, 0, std::nan(""))));
    // Flags, nothing, dates and times.
    EXPECT_EQ(GermanValueText(value(ValueKind::Boolean, 1), flag), "Ja");
    EXPECT_EQ(GermanValueText(value(ValueKind::Boolean, 0), flag), "Nein");
    EXPECT_EQ(IsoValueText(value(ValueKind::Boolean, 0)), "false");
    EXPECT_EQ(GermanValueText(value(ValueKind::Null), flag), "–");
    EXPECT_EQ(IsoValueText(value(ValueKind::Null)), "");
    RecordValue when = value(ValueKind::Timestamp);
    when.when = {2024, 6, 17, 10, 2, 19, 500000000};
    EXPECT_EQ(GermanValueText(when, number), "17.06.2024 10:02:19");
    EXPECT_EQ(IsoValueText(when), "2024-06-17T10:02:19.5");
    when.kind = ValueKind::Date;
    EXPECT_EQ(GermanValueText(when, number), "17.06.2024");
    EXPECT_EQ(IsoValueText(when), "2024-06-17");
    when.kind = ValueKind::Time;
    when.when.second = 0;
    when.when.fraction = 0;
    EXPECT_EQ(GermanValueText(when, number), "10:02");
    EXPECT_EQ(IsoValueText(when), "10:02:00");
    EXPECT_EQ(GermanCount(102400), "102.400");
}

}  // namespace
}  // namespace archivetest
