// The patient list on practices of both kinds made with the fixed cases of
// tamaro-mkpractice (--patients 0 --cases: pids 1 to 21, Abel to Vogt), in
// a fixed time zone with daylight saving.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <regex>

#include "app/CommandHold.h"
#include "app/headless/HeadlessView.h"
#include "app/PatientList.h"
#include "app/ViewSwitch.h"
#include "archive/runs/ArchiveHistory.h"
#include "archive/runs/TransferPatients.h"
#include "core/CConfigFile.h"
#include "core/Globals.h"
#include "patient/DoctorList.h"
#include "tests/archive/ArchiveFixture.h"

using namespace archivetest;

namespace {

// Central European time, written out so that no zone database is needed;
// 2021 switched on 28 March and 31 October.
constexpr const char* kZone = "CET-1CEST,M3.5.0,M10.5.0/3";
constexpr int64_t kMar28 = 1616886000;             // 28.03.2021 00:00 CET
constexpr int64_t kOct31 = 1635631200;             // 31.10.2021 00:00 CEST
constexpr int64_t kOct31Last = 1635721199;         // 31.10.2021 23:59:59 CET
constexpr int64_t kJan1990 = 631148400;            // 01.01.1990 00:00 CET
constexpr int64_t kNov2022 = 1668427200;           // 14.11.2022 midday
constexpr int64_t kPracticeNow = 1700000000;       // --now of the cached practices
constexpr const char* kServiceDay = "14.11.2021";  // the cases' service, two years before

class PatientListTest : public ArchiveTest {
  protected:
    void SetUp() override {
        ArchiveTest::SetUp();
        if (IsSkipped()) return;
        const char* tz = std::getenv("TZ");
        oldTz_ = tz ? tz : "";
        hadTz_ = tz != nullptr;
        setenv("TZ", kZone, 1);
        tzset();
        PresetAid = PresetPid = -1;
        Install(0, "--cases");
        list_ = std::make_unique<PatientList>(*set_);
        FillDoctorList(set_->MainDatabase().Connection, view_.Doctors());
        FillArcHist(set_->Archive, view_.ArchiveRuns());
        view_.EnableControl(IDC_ARCHIVE_RUNS, false);
        view_.SetPickerTime(IDC_SERVICE_FROM, kJan1990);
        view_.SetPickerTime(IDC_SERVICE_TO, kNov2022);
        view_.SetPickerTime(IDC_ADMISSION_FROM, kJan1990);
        view_.SetPickerTime(IDC_ADMISSION_TO, kPracticeNow);
        log_.Clear();
    }
    void TearDown() override {
        PresetAid = PresetPid = -1;
        if (hadTz_)
            setenv("TZ", oldTz_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
        ArchiveTest::TearDown();
    }

    void Fill() {
        log_.Clear();
        list_->FillList(view_);
    }
    // "pid|Patient|Art|Leistung|ticked" per row.
    std::vector<std::string> Rows() {
        std::vector<std::string> rows;
        IListView& l = view_.Patients();
        for (int r = 0; r < l.GetItemCount(); ++r)
            rows.push_back(std::to_string(l.GetItemData(r)) + "|" + l.GetItemText(r, 0) + "|" +
                           l.GetItemText(r, 1) + "|" + l.GetItemText(r, 2) + "|" +
                           (l.GetCheck(r) ? "1" : "0"));
        return rows;
    }
    std::vector<int> Pids() {
        std::vector<int> pids;
        for (int r = 0; r < view_.Patients().GetItemCount(); ++r)
            pids.push_back(view_.Patients().GetItemData(r));
        return pids;
    }
    // The error lines; the lines after one keep its red, as in the window.
    std::vector<std::string> RedLines() {
        std::vector<std::string> red;
        for (const auto& line : LogLines())
            if (line.colour == ColourRed && line.text.rfind("Fehler in ", 0) == 0)
                red.push_back(line.text);
        return red;
    }
    // Every service of the patient at that stored second.
    void LastService(int pid, int64_t datum) {
        Exec(set_->MainDatabase(), "update abrechnungen set datum=" + std::to_string(datum) +
                                       " where pid=" + std::to_string(pid));
    }
    void Fail(const char* match) {
        setenv("TAMARO_ODBC_FAIL_AFTER", "0", 1);
        setenv("TAMARO_ODBC_FAIL_MATCH", match, 1);
    }
    void NoFailure() {
        unsetenv("TAMARO_ODBC_FAIL_AFTER");
        unsetenv("TAMARO_ODBC_FAIL_MATCH");
    }

    HeadlessView view_;
    std::unique_ptr<PatientList> list_;
    std::string oldTz_;
    bool hadTz_ = false;
};

TEST_P(PatientListTest, VelundaListHidesOpenBusinessAndShowsTheRestOfTheDoctorsPatients) {
    // Start-up selects the first doctor of the box, Dr. med. Müller (aid 2).
    ASSERT_EQ(view_.Doctors().GetItemData(view_.Doctors().GetCurSel()), 2);
    Fill();
    const std::string day = kServiceDay;
    EXPECT_EQ(Rows(), (std::vector<std::string>{
                          "10|Jung, Jan|Privat|" + day + "|1",   // unbilled, private schedule
                          "11|Kern, Karin|Kasse|" + day + "|1",  // unbilled without record
                          "12|Lenz, Lars|Privat|" + day + "|1",  // settled invoices, billed forms
                          "13|Mohr, Maria|Kasse|---|1",          // no service at all
                          "14|O'Neill, Nora|Kasse|" + day + "|1",
                          "15|Pohl, Paul||" + day + "|1",    // privatpatient null
                          "16|Quast, Petra||" + day + "|1",  // privatpatient 7
                          // A billed service without sid: no open business
                          // (a "not in" query for empty records would find
                          // none at all, and list Iske).
                          "21|Vogt, Vera|Kasse|" + day + "|1",
                      }));

    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 6u) << log_.Raw();
    EXPECT_EQ(lines[0].text, "Patientenliste (Velunda) erstellen...");
    EXPECT_EQ(lines[0].colour, ColourBlue);
    // Abel to Iske: one patient for each of the six queries (three for the
    // unbilled services); Ulrich, of doctor 3, for his billing record
    // without sid.
    const std::string hidden =
        "• 10 Patienten mit offenen Leistungen, offenen eDokus, leeren Scheinen oder "
        "Kassenbucheinträgen werden ausgeblendet";
    EXPECT_EQ(lines[1].text, hidden);
    EXPECT_EQ(lines[2].text, "• Neuste Leistungen sammeln...");
    EXPECT_EQ(lines[3].text, "• Patienten sammeln...");
    EXPECT_EQ(lines[4].text, "8 Patienten ausgewählt.");
    EXPECT_EQ(lines[4].colour, ColourCount);
    EXPECT_TRUE(std::regex_match(lines[5].text, std::regex(R"(Bereit \(\d+\.\d{3}s\))")));
    EXPECT_EQ(lines[5].colour, ColourReady);

    EXPECT_FALSE(list_->ArchiveUnsafe());
    EXPECT_FALSE(list_->RefuseUnsafeArchive());
    EXPECT_TRUE(boxes_.Boxes().empty());
    EXPECT_EQ(boxes_.WaitCount(), 1);
    EXPECT_EQ(boxes_.WaitDepth(), 0);
    EXPECT_TRUE(view_.Patients().Redraws());

    // Another doctor's patients; patients of the hidden doctor 5 are listed
    // under none of the visible ones. The hidden count is that of the whole
    // practice, whichever doctor is chosen.
    view_.Doctors().SetCurSel(1);
    ASSERT_EQ(view_.Doctors().GetItemData(1), 3);
    Fill();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"18|Sauer, Stefan|BG|" + day + "|1"}));
    EXPECT_EQ(LogTexts()[1], hidden);
    EXPECT_EQ(LogTexts()[4], "1 Patienten ausgewählt.");
    view_.Doctors().SetCurSel(-1);
    Fill();
    EXPECT_EQ(Pids(), (std::vector<int>{10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 21}));
    EXPECT_EQ(LogTexts()[1], hidden);
    EXPECT_EQ(view_.Patients().GetItemText(9, 1), "Krankenh.");
}

TEST_P(PatientListTest, EveryFailingQueryIsReportedAndTheListIsBuiltAnyway) {
    struct Case {
        const char* match;
        const char* label;
        std::vector<int> reappear;  // patients no longer hidden
        bool unsafe;
    };
    const std::vector<Case> cases = {
        {"from rechnungen", "Fehler in FillList-4: ", {1}, true},
        {"from re_rechnungen", "Fehler in FillList-4a: ", {2}, true},
        {"from dmp_form", "Fehler in FillList-4a: ", {3}, true},
        {"from kassenbuch", "Fehler in FillList-5: ", {4}, true},
        {"gordnung in (1,5,6)", "Fehler in FillList-3: ", {5, 6, 7, 8}, true},
        {"from scheine", "Fehler in FillList-4: ", {9}, true},  // Ulrich: doctor 3
        {"max(datum)", "Fehler in FillList-1: ", {}, false},
    };
    const std::vector<int> normal = {10, 11, 12, 13, 14, 15, 16, 21};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.match);
        Fail(c.match);
        Fill();
        NoFailure();
        const auto red = RedLines();
        ASSERT_EQ(red.size(), 1u) << log_.Raw();
        EXPECT_EQ(red[0].rfind(c.label, 0), 0u) << red[0];
        EXPECT_NE(red[0].find("Injected fault"), std::string::npos) << red[0];
        std::vector<int> want = c.reappear;
        want.insert(want.end(), normal.begin(), normal.end());
        std::sort(want.begin(), want.end());
        std::vector<int> got = Pids();
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, want);
        EXPECT_EQ(list_->ArchiveUnsafe(), c.unsafe);
        // The list of the failed run keeps the patients of the failed query;
        // archiving from it is refused until a clean refresh.
        boxes_.Clear();
        EXPECT_EQ(list_->RefuseUnsafeArchive(), c.unsafe);
        if (c.unsafe) {
            ASSERT_EQ(boxes_.Texts(), std::vector<std::string>{UnsafeArchiveMessage});
            EXPECT_NE(std::string(UnsafeArchiveMessage).find("\"Liste aktualisieren\""),
                      std::string::npos);
        }
        Fill();
        EXPECT_TRUE(RedLines().empty());
        EXPECT_FALSE(list_->ArchiveUnsafe());
    }

    // Without the latest services every patient counts as never served: the
    // range hides nobody, and column 2 shows "---".
    view_.SetPickerTime(IDC_SERVICE_TO, kJan1990);
    Fill();
    EXPECT_EQ(Pids(), std::vector<int>{13});
    // (Another text than above: the drivers count a repeated setting on.)
    Fail("group by pid");
    Fill();
    EXPECT_EQ(Pids(), normal);
    EXPECT_EQ(view_.Patients().GetItemText(0, 2), "---");

    // Without the patient query the list stays empty and says so.
    Fail("from patienten");
    Fill();
    NoFailure();
    EXPECT_TRUE(Pids().empty());
    ASSERT_EQ(RedLines().size(), 1u);
    EXPECT_EQ(RedLines()[0].rfind("Fehler in FillList-2: ", 0), 0u);
    const auto texts = LogTexts();
    EXPECT_EQ(texts[texts.size() - 2], "0 Patienten ausgewählt.");
    EXPECT_EQ(boxes_.WaitDepth(), 0);
}

TEST_P(PatientListTest, ServiceAndAdmissionBoundsAtTheExactSecondAcrossDaylightSaving) {
    // Latest service range 28.03.2021 (first day of summer time) to
    // 31.10.2021 (its last day, 25 hours long).
    view_.SetPickerTime(IDC_SERVICE_FROM, kMar28 + 12 * 3600);
    view_.SetPickerTime(IDC_SERVICE_TO, kOct31 + 3600);
    LastService(10, kMar28);             // listed: the lower day at 00:00:00
    LastService(11, kMar28 - 1);         // not listed
    LastService(12, kOct31Last);         // listed: the upper day at 23:59:59
    LastService(14, kOct31Last + 1);     // not listed
    LastService(15, 0);                  // a service dated 0 counts as none
    LastService(16, kOct31Last - 1800);  // listed: a day counted as 24 hours would miss it
    Fill();
    EXPECT_EQ(Pids(), (std::vector<int>{10, 12, 13, 15, 16}));
    EXPECT_EQ(view_.Patients().GetItemText(0, 2), "28.03.2021");
    EXPECT_EQ(view_.Patients().GetItemText(1, 2), "31.10.2021");
    EXPECT_EQ(view_.Patients().GetItemText(3, 2), "---");

    // Admission: the upper bound is the chosen day at 00:00:00, not its end.
    view_.SetPickerTime(IDC_SERVICE_FROM, kJan1990);
    view_.SetPickerTime(IDC_SERVICE_TO, kNov2022);
    view_.SetPickerTime(IDC_ADMISSION_FROM, kMar28 + 3600);
    view_.SetPickerTime(IDC_ADMISSION_TO, kOct31 + 20 * 3600);
    auto admit = [&](int pid, int64_t when) {
        Exec(set_->MainDatabase(), "update patienten set aufnahmedatum=" + std::to_string(when) +
                                       " where pid=" + std::to_string(pid));
    };
    admit(10, kMar28);
    admit(11, kMar28 - 1);
    admit(12, kOct31);
    admit(13, kOct31 + 1);
    admit(14, kOct31Last);
    admit(15, 1620000000);
    admit(16, 1620000000);
    Fill();
    EXPECT_EQ(Pids(), (std::vector<int>{10, 12, 15, 16}));
}

TEST_P(PatientListTest, NameFilterTakesApostrophesAndThePidPresetTicksOneRow) {
    view_.SetNameFilter("O'N");
    Fill();
    EXPECT_TRUE(RedLines().empty()) << log_.Raw();
    EXPECT_EQ(Pids(), std::vector<int>{14});
    view_.SetNameFilter("e");
    Fill();
    EXPECT_EQ(Pids(), (std::vector<int>{11, 12, 14}));  // Kern, Lenz, O'Neill

    view_.SetNameFilter("");
    PresetPid = 13;
    Fill();
    ASSERT_EQ(Pids(), (std::vector<int>{10, 11, 12, 13, 14, 15, 16, 21}));
    for (int r = 0; r < 8; ++r) EXPECT_EQ(view_.Patients().GetCheck(r), r == 3) << r;
    EXPECT_EQ(view_.Patients().VisibleRow(), 3);

    PresetPid = 1;  // hidden: nothing is ticked, nothing scrolled to
    Fill();
    for (int r = 0; r < 8; ++r) EXPECT_FALSE(view_.Patients().GetCheck(r)) << r;
    EXPECT_EQ(view_.Patients().VisibleRow(), -1);
}

TEST_P(PatientListTest, ArchiveViewRunsNoExclusionsAndFiltersByRun) {
    ASSERT_TRUE(TransferPatients(*set_, view_.ArchiveRuns(), "10,11,14"));
    // A run of more ids than Firebird takes in one in-list.
    std::string big;
    for (int pid = 100000; pid < 102500; ++pid) big += std::to_string(pid) + ",";
    big += "11,14";
    Exec(set_->Archive, "insert into archist (datum,pidlist) values(1000000000,'" + big + "')");
    // Open business in the archive hides nobody there.
    Exec(set_->Archive, "insert into kassenbuch (kbid,pid,aid,datum) values (1,10,2,0)");
    FillArcHist(set_->Archive, view_.ArchiveRuns());
    ASSERT_EQ(view_.ArchiveRuns().GetCount(), 3);

    CConfigFile config;
    CommandHold hold(*list_);
    ViewSwitch views(*set_, config, *list_, hold);
    views.ShowArchive(view_);
    // The archive range defaults to the last year; the cases were served earlier.
    EXPECT_TRUE(Pids().empty());
    view_.SetPickerTime(IDC_SERVICE_FROM, kJan1990);
    Fill();
    EXPECT_EQ(LogTexts()[0], "Patientenliste (Archiv) erstellen...");
    EXPECT_EQ(LogTexts()[1], "• Neuste Leistungen sammeln...");
    EXPECT_EQ(Pids(), (std::vector<int>{10, 11, 14}));

    view_.ArchiveRuns().SetCurSel(2);  // the older run: the big one
    Fill();
    EXPECT_TRUE(RedLines().empty()) << log_.Raw();
    EXPECT_EQ(Pids(), (std::vector<int>{11, 14}));
    Exec(set_->Archive, "update archist set pidlist='10' where datum<>1000000000");
    view_.ArchiveRuns().SetCurSel(1);  // the transfer, newest
    Fill();
    EXPECT_EQ(Pids(), std::vector<int>{10});

    // The run filter counts only while the list "Archivierung vom" is enabled.
    Fail("from archist where");
    Fill();
    NoFailure();
    ASSERT_EQ(RedLines().size(), 1u);
    EXPECT_EQ(RedLines()[0].rfind("Fehler in GetArcPIDsFromDate: ", 0), 0u);
    EXPECT_EQ(Pids(), (std::vector<int>{10, 11, 14}));
    view_.EnableControl(IDC_ARCHIVE_RUNS, false);
    Fill();
    EXPECT_EQ(Pids(), (std::vector<int>{10, 11, 14}));
}

TEST_P(PatientListTest, EachViewKeepsItsOwnRange) {
    CConfigFile config;
    config.SetInt("Archiv.Min", 1500000000);
    config.SetInt("Archiv.Max", 1600000000);
    CommandHold hold(*list_);
    ViewSwitch views(*set_, config, *list_, hold);
    view_.SetControlText(IDC_F4, "F4: Archivieren");

    views.ShowVelunda(view_);  // shown already: nothing happens
    EXPECT_TRUE(log_.Raw().empty());
    EXPECT_TRUE(view_.PendingTimers().empty());

    views.ShowArchive(view_);
    EXPECT_TRUE(set_->ArchiveIsSource());
    EXPECT_EQ(view_.GetControlText(IDC_F4), "F4: Restaurieren");
    EXPECT_TRUE(view_.IsControlEnabled(IDC_ARCHIVE_RUNS));
    EXPECT_EQ(view_.CheckedView(), IDC_VIEW_ARCHIV);
    EXPECT_EQ(view_.GetPickerTime(IDC_SERVICE_FROM), 1500000000);
    EXPECT_EQ(view_.GetPickerTime(IDC_SERVICE_TO), 1600000000);
    EXPECT_EQ(config.GetInt("Velunda.Min", 0), kJan1990);
    EXPECT_EQ(config.GetInt("Velunda.Max", 0), kNov2022);
    EXPECT_EQ(LogTexts()[0], "Patientenliste (Archiv) erstellen...");
    EXPECT_EQ(view_.PendingTimers(), std::vector<int>{2});

    view_.SetPickerTime(IDC_SERVICE_TO, 1650000000);
    views.ShowVelunda(view_);
    EXPECT_FALSE(set_->ArchiveIsSource());
    EXPECT_EQ(view_.GetControlText(IDC_F4), "F4: Archivieren");
    EXPECT_FALSE(view_.IsControlEnabled(IDC_ARCHIVE_RUNS));
    EXPECT_EQ(view_.GetPickerTime(IDC_SERVICE_FROM), kJan1990);
    EXPECT_EQ(view_.GetPickerTime(IDC_SERVICE_TO), kNov2022);
    EXPECT_EQ(config.GetInt("Archiv.Max", 0), 1650000000);
    EXPECT_EQ(Pids().size(), 8u);

    // Without an archive connection the archive view only empties the list.
    set_->Archive.Connection.Disconnect();
    log_.Clear();
    view_.SetPickerTime(IDC_SERVICE_TO, 1234);
    views.ShowArchive(view_);
    EXPECT_TRUE(set_->ArchiveIsSource());
    EXPECT_EQ(view_.Patients().GetItemCount(), 0);
    EXPECT_TRUE(log_.Raw().empty());
    EXPECT_EQ(config.GetInt("Velunda.Max", 0), kNov2022);
}

// The headless --list after the start-up's list: the same list is not
// queried again, but any input of the fill that changed, a failure in the
// last fill, or a fill that could not run, fills it.
TEST_P(PatientListTest, ACurrentListIsNotFilledAgainUntilWhatItWasFilledFromChanges) {
    Fill();
    const auto rows = Rows();
    log_.Clear();
    EXPECT_FALSE(list_->FillListUnlessCurrent(view_));
    EXPECT_TRUE(log_.Raw().empty());
    EXPECT_EQ(Rows(), rows);

    auto fills = [&](const char* what) {
        SCOPED_TRACE(what);
        log_.Clear();
        EXPECT_TRUE(list_->FillListUnlessCurrent(view_));
        EXPECT_EQ(LogTexts().at(0), "Patientenliste (Velunda) erstellen...");
        EXPECT_FALSE(list_->FillListUnlessCurrent(view_));
    };
    view_.SetNameFilter("Jung");
    fills("name");
    EXPECT_EQ(Pids(), std::vector<int>{10});
    view_.SetNameFilter("");
    fills("name back");
    EXPECT_EQ(Rows(), rows);
    view_.Doctors().SetCurSel(-1);
    fills("doctor");
    EXPECT_GT(Pids().size(), rows.size());
    view_.SetPickerTime(IDC_SERVICE_TO, kJan1990);
    fills("service range");
    EXPECT_EQ(Pids(), std::vector<int>{13});
    view_.EnableControl(IDC_ARCHIVE_RUNS, true);
    fills("run filter shown");

    // A fill with a failed query is repeated, once.
    Fail("from dmp_form");
    Fill();
    NoFailure();
    ASSERT_EQ(RedLines().size(), 1u);
    fills("after a failure");
    EXPECT_FALSE(list_->ArchiveUnsafe());

    // A fill that could not run leaves the list as it was, but not current.
    set_->MainDatabase().Connection.Disconnect();
    Fill();
    ASSERT_TRUE(Connect(set_->MainDatabase()));
    fills("after the connection was back");
}

INSTANTIATE_TEST_SUITE_P(Kinds, PatientListTest,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access), KindName);

TEST(PatientListQuery, FiltersJoinWithAndAndNamesAreQuoted) {
    const std::string head =
        "select pid, nachname, vorname, privatpatient from patienten where (aufnahmedatum>=1 and "
        "aufnahmedatum<=2) ";
    EXPECT_EQ(PatientQuery(1, 2, "Ma", "pid in (4,9) ", "aid=3 "),
              head +
                  "and nachname like '%Ma%' and pid in (4,9) and aid=3 order by trim(nachname), "
                  "vorname");
    EXPECT_EQ(PatientQuery(1, 2, "Ma", "", ""),
              head + "and nachname like '%Ma%' order by trim(nachname), vorname");
    EXPECT_EQ(PatientQuery(1, 2, "", "", "aid=0 "),
              head + "and aid=0 order by trim(nachname), vorname");
    EXPECT_EQ(PatientQuery(1, 2, "", "", ""), head + "order by trim(nachname), vorname");
    EXPECT_EQ(PatientQuery(1, 2, "O'Br", "pid in (4) ", ""),
              head + "and nachname like '%O''Br%' and pid in (4) order by trim(nachname), vorname");

    EXPECT_EQ(RunFilterText(""), "");
    EXPECT_EQ(RunFilterText("4,9"), "pid in (4,9) ");
    std::string ids;
    for (int i = 1; i <= 1001; ++i) ids += (i > 1 ? "," : "") + std::to_string(i);
    const std::string split = RunFilterText(ids);
    EXPECT_EQ(split.rfind("(pid in (1,2,", 0), 0u);
    EXPECT_NE(split.find(",1000) or pid in (1001)) "), std::string::npos)
        << split.substr(split.size() - 40);
}

}  // namespace
