// The views and commands of the real window on a practice: the view buttons
// and their ranges, the function keys and their enabled states, the
// questions with their default buttons, the sibling programs held by a second
// process, the hold on the database commands during a run, and whole runs
// (archive, restore, delete) with the patient information and the broadcast
// on a private bus, on both kinds.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <QUrl>
#include <cstdlib>
#include <map>
#include <regex>

#include "app/PatientList.h"
#include "core/CConfigFile.h"
#include "core/Globals.h"
#include "db/DatabaseSet.h"
#include "platform/NamedMutex.h"
#include "tests/fixtures/LockHeldElsewhere.h"
#include "tests/ui/WindowFixture.h"
#include "ui/CPatInfoDlg.h"
#include "ui/DatePicker.h"
#include "ui/ProgressLogWidget.h"

namespace uitest {
namespace {

// Receives what the window hands to the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT
  public:
    std::vector<QUrl> urls;
  public slots:
    void Open(const QUrl& url) { urls.push_back(url); }
};

// A sibling program of the practice: a second process that holds the lock
// file of its named mutex until the object ends.
class SiblingProgram : public testenv::LockHeldElsewhere {
  public:
    explicit SiblingProgram(const std::string& mutex)
        : LockHeldElsewhere(NamedMutexFolder() + "/" + mutex + ".lock") {}
};

using WindowCommandsTest = WindowTest;

TEST_P(WindowCommandsTest, EachViewShowsItsSideWithItsOwnRange) {
    CTamaroDlg& w = window_;
    const time_t velundaFrom = w.PickerTime(1004), velundaTo = w.PickerTime(1007);
    log_.recorder.Clear();
    QTest::mouseClick(w.VelundaButton(), Qt::LeftButton);  // shown already
    EXPECT_TRUE(LogTexts().empty());

    QTest::mouseClick(w.ArchiveButton(), Qt::LeftButton);
    EXPECT_TRUE(w.ArchiveButton()->isChecked());
    EXPECT_FALSE(w.VelundaButton()->isChecked());
    EXPECT_EQ(w.FunctionButton(4)->text(), QStringLiteral("F4: Restaurieren"));
    EXPECT_TRUE(w.ArchiveRunBox()->isEnabled());
    ASSERT_FALSE(LogTexts().empty());
    EXPECT_EQ(LogTexts()[0], "Patientenliste (Archiv) erstellen...");
    // Without keys: the last year.
    const time_t now = std::time(nullptr);
    EXPECT_LE(std::abs(long(w.PickerTime(1004) - (now - 31536000))), 5);
    EXPECT_LE(std::abs(long(w.PickerTime(1007) - now)), 5);
    const time_t archiveFrom = Jan1990() + 86400;
    w.SetPickerTime(1004, archiveFrom);

    QTest::mouseClick(w.VelundaButton(), Qt::LeftButton);
    EXPECT_EQ(w.FunctionButton(4)->text(), QStringLiteral("F4: Archivieren"));
    EXPECT_FALSE(w.ArchiveRunBox()->isEnabled());
    EXPECT_EQ(w.PickerTime(1004), velundaFrom);
    EXPECT_EQ(w.PickerTime(1007), velundaTo);
    EXPECT_EQ(Pids(), (std::vector<int>{10, 11, 12, 13, 14, 15, 16, 21}));
    QTest::mouseClick(w.ArchiveButton(), Qt::LeftButton);
    EXPECT_EQ(w.PickerTime(1004), archiveFrom);

    // Closing in the archive view keeps the archive's range under its keys.
    core_.OnDestroy();
    started_ = false;
    CConfigFile config;
    ASSERT_TRUE(config.Load(W("Tamaro.cfg")));
    EXPECT_EQ(config.GetInt("Archiv.Min", 0), int32_t(archiveFrom));
    EXPECT_EQ(config.GetInt("Velunda.Min", 0), int32_t(velundaFrom));
    EXPECT_EQ(config.GetInt("Velunda.Max", 0), int32_t(velundaTo));
}

TEST_P(WindowCommandsTest, KeysAndButtonsRunTheirCommandsAndGiveTheListTheFocus) {
    CTamaroDlg& w = window_;
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "Open");
    w.NameFilter()->setFocus();
    QTest::keyClick(w.NameFilter(), Qt::Key_F1);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(catcher.urls.size(), 1u);
    EXPECT_EQ(catcher.urls[0], QUrl::fromLocalFile(QString::fromStdString(
                                   (program_.path() / "Dokumentation" / "index.html").string())));
    // Timer 2 gives the list the focus back.
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.focusWidget() == w.PatientList(); }));
    // The page the build lays into the program folder reads on its own:
    // nothing from elsewhere, and every link of its contents leads somewhere.
    const std::string page =
        testenv::ReadFile(testenv::ProgramDir() / "Dokumentation" / "index.html");
    ASSERT_FALSE(page.empty());
    EXPECT_EQ(page.find("src="), std::string::npos);
    EXPECT_EQ(page.find("://"), std::string::npos);
    const std::regex link("href=\"#([a-z]+)\"");
    int links = 0;
    for (std::sregex_iterator it(page.begin(), page.end(), link), end; it != end; ++it, ++links)
        EXPECT_NE(page.find("id=\"" + (*it)[1].str() + "\""), std::string::npos) << (*it)[1];
    EXPECT_GE(links, 10);

    // F3 and F2 untick and tick every row; the keys reach no control.
    Key(Qt::Key_F3);
    for (int r = 0; r < 8; ++r) EXPECT_FALSE(w.PatientRows().GetCheck(r));
    QTest::qWait(30);
    w.NameFilter()->setFocus();
    QTest::keyClick(w.NameFilter(), Qt::Key_F2);
    for (int r = 0; r < 8; ++r) EXPECT_TRUE(w.PatientRows().GetCheck(r));
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.focusWidget() == w.PatientList(); }));

    // Nothing ticked, nothing highlighted: each command asks for it.
    Key(Qt::Key_F3);
    for (int i = 0; i < 3; ++i) services_.QueueAnswer(MsgResult::Ok);
    Key(Qt::Key_F4);
    Highlight(-1);
    Key(Qt::Key_F5);
    QTest::mouseClick(w.FunctionButton(6), Qt::LeftButton);
    EXPECT_EQ(NewBoxes(), (std::vector<std::string>{
                              W("Setzen Sie Häkchen an die zu archivierenden Einträge."),
                              "Selektieren Sie den Patienten,\ndessen Daten Sie einsehen wollen.",
                              W("Setzen Sie Häkchen an die zu löschenden Einträge.")}));
    for (const auto& box : services_.Boxes()) EXPECT_EQ(box.buttons, MsgButtons::Ok);

    // Disabled, F4 to F6 do nothing by key, and their keys still reach no
    // control; Enter does nothing either.
    Key(Qt::Key_F2);
    for (int k : {4, 5, 6}) w.FunctionButton(k)->setEnabled(false);
    Highlight(12);
    for (Qt::Key key : {Qt::Key_F4, Qt::Key_F5, Qt::Key_F6, Qt::Key_Return, Qt::Key_Enter})
        Key(key);
    EXPECT_TRUE(NewBoxes().empty());
    EXPECT_TRUE(w.isVisible());
    // A double click runs F5's command all the same (the button is disabled
    // after a start-up problem): on a row the patient information, below the
    // last row, where nothing is highlighted then, the request to highlight.
    QWidget* rows = w.PatientList()->viewport();
    const QRect first = w.PatientList()->visualRect(w.PatientList()->model()->index(0, 0));
    const QRect last = w.PatientList()->visualRect(
        w.PatientList()->model()->index(w.PatientList()->rowCount() - 1, 0));
    ASSERT_LT(last.bottom() + 10, rows->height());
    // (A double click as the window system gives it: press and release, then
    // the second press as the double click.)
    const auto doubleClick = [&](QPoint at) {
        QTest::mouseClick(rows, Qt::LeftButton, {}, at);
        QTest::mouseDClick(rows, Qt::LeftButton, {}, at);
    };
    int shownDisabled = 0;
    OnModal<CPatInfoDlg>([&](CPatInfoDlg&) { ++shownDisabled; });
    doubleClick(first.center());
    EXPECT_EQ(shownDisabled, 1);
    EXPECT_EQ(w.PatientRows().GetFirstSelected(), 0);
    services_.QueueAnswer(MsgResult::Ok);
    doubleClick(QPoint(first.center().x(), last.bottom() + 8));
    EXPECT_EQ(w.PatientRows().GetFirstSelected(), -1);
    EXPECT_EQ(NewBoxes(), std::vector<std::string>{
                              "Selektieren Sie den Patienten,\ndessen Daten Sie einsehen wollen."});
    for (int k : {4, 5, 6}) w.FunctionButton(k)->setEnabled(true);
    Highlight(12);

    // F7 and F8 give the list the focus back too, after their dialogs.
    const fs::path saved = program_.path() / "verlauf.rtf";
    OnModal<QFileDialog>([&](QFileDialog& dialog) {
        dialog.selectFile(QString::fromStdString(saved.string()));
        QMetaObject::invokeMethod(&dialog, "accept");
    });
    QTest::qWait(30);  // the focus timers of the commands before
    w.NameFilter()->setFocus();
    QTest::keyClick(w.NameFilter(), Qt::Key_F8);
    EXPECT_TRUE(fs::exists(saved));
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.focusWidget() == w.PatientList(); }));
    int printDialogs = 0;
    OnModal<QPrintDialog>([&](QPrintDialog&) { ++printDialogs; });
    QTest::qWait(30);
    w.NameFilter()->setFocus();
    QTest::keyClick(w.NameFilter(), Qt::Key_F7);
    EXPECT_EQ(printDialogs, 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.focusWidget() == w.PatientList(); }));

    // A double click runs F5 on the highlighted row.
    int shown = 0;
    OnModal<CPatInfoDlg>([&](CPatInfoDlg&) { ++shown; });
    emit w.PatientList()->cellDoubleClicked(2, 0);
    EXPECT_EQ(shown, 1);

    // Escape ends the program.
    Key(Qt::Key_Escape);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.result(), QDialog::Rejected);
}

TEST_P(WindowCommandsTest, QuestionsComeWithTheirDefaultButtonsAndNoChangesNothing) {
    CTamaroDlg& w = window_;
    TickOnly({11, 12});
    log_.recorder.Clear();
    services_.QueueAnswer(MsgResult::No);
    Key(Qt::Key_F4);
    services_.QueueAnswer(MsgResult::No);
    Key(Qt::Key_F6);
    EXPECT_TRUE(LogTexts().empty());  // declined: no run, no list
    services_.QueueAnswer(MsgResult::Yes);
    Key(Qt::Key_F4);
    QTest::mouseClick(w.ArchiveButton(), Qt::LeftButton);
    w.SetPickerTime(1004, Jan1990());
    QTest::mouseClick(w.RefreshButton(), Qt::LeftButton);
    ASSERT_EQ(Pids(), (std::vector<int>{11, 12}));
    TickOnly({12});
    log_.recorder.Clear();
    services_.QueueAnswer(MsgResult::No);
    Key(Qt::Key_F4);
    EXPECT_TRUE(LogTexts().empty());

    const auto& boxes = services_.Boxes();
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_EQ(boxes[0].text,
              W("Wollen Sie die 2 selektierten Einträge wirklich archivieren?\n\nAchtung: Wenn Sie "
                "diese Patienten jetzt archivieren, werden diese in den Abrechnungen und "
                "Statistiken nicht mehr aufgeführt.\nFortfahren?"));
    EXPECT_EQ(boxes[0].defaultButton, MsgResult::Yes);
    EXPECT_EQ(boxes[1].text, W("Wollen Sie die 2 selektierten Einträge wirklich löschen?"));
    EXPECT_EQ(boxes[1].defaultButton, MsgResult::No);
    EXPECT_EQ(boxes[3].text, W("Wollen Sie die 1 selektierten Einträge wirklich restaurieren?"));
    EXPECT_EQ(boxes[3].defaultButton, MsgResult::Yes);
    for (const auto& box : boxes) EXPECT_EQ(box.buttons, MsgButtons::YesNo);
}

TEST_P(WindowCommandsTest, RunningSiblingProgramsRefuseArchivingAndDeleting) {
    CTamaroDlg& w = window_;
    TickOnly({11});
    {
        SiblingProgram velunda("VelundaMTX"), pockora("PockoraMTX");
        ASSERT_TRUE(velunda.Held() && pockora.Held());
        services_.QueueAnswer(MsgResult::Ok);
        Key(Qt::Key_F4);
        services_.QueueAnswer(MsgResult::Ok);
        Key(Qt::Key_F6);
        // The first program found running is the only one named.
        EXPECT_EQ(NewBoxes(), (std::vector<std::string>{"Bitte beenden Sie Velunda",
                                                        "Bitte beenden Sie Velunda"}));
    }
    {
        SiblingProgram vigil("Dormilo VigilMTX");
        ASSERT_TRUE(vigil.Held());
        services_.QueueAnswer(MsgResult::Ok);
        Key(Qt::Key_F4);
        EXPECT_EQ(NewBoxes(), std::vector<std::string>{"Bitte beenden Sie das Dormilo-Vigil"});
    }
    {
        SiblingProgram sedat("Dormilo SedatMTX");
        ASSERT_TRUE(sedat.Held());
        services_.QueueAnswer(MsgResult::Ok);
        Key(Qt::Key_F6);
        EXPECT_EQ(NewBoxes(), std::vector<std::string>{"Bitte beenden Sie Dormilo-Sedat"});
    }
    {
        // Pockora keeps only deleting from the Velunda view.
        SiblingProgram pockora("PockoraMTX");
        ASSERT_TRUE(pockora.Held());
        services_.QueueAnswer(MsgResult::No);
        Key(Qt::Key_F4);
        services_.QueueAnswer(MsgResult::Ok);
        Key(Qt::Key_F6);
        const auto boxes = NewBoxes();
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(
            boxes[0].rfind(W("Wollen Sie die 1 selektierten Einträge wirklich archivieren?"), 0),
            0u);
        EXPECT_EQ(boxes[1], "Bitte beenden Sie Pockora");
    }
    // The archive view tests no program at all.
    services_.QueueAnswer(MsgResult::Yes);
    Key(Qt::Key_F4);
    ASSERT_EQ(NewBoxes().size(), 1u);
    SiblingProgram velunda("VelundaMTX");
    ASSERT_TRUE(velunda.Held());
    QTest::mouseClick(w.ArchiveButton(), Qt::LeftButton);
    w.SetPickerTime(1004, Jan1990());
    QTest::mouseClick(w.RefreshButton(), Qt::LeftButton);
    ASSERT_EQ(Pids(), std::vector<int>{11});
    TickOnly({11});
    services_.QueueAnswer(MsgResult::No);
    Key(Qt::Key_F4);
    services_.QueueAnswer(MsgResult::No);
    Key(Qt::Key_F6);
    const auto boxes = NewBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], W("Wollen Sie die 1 selektierten Einträge wirklich restaurieren?"));
    EXPECT_EQ(boxes[1], W("Wollen Sie die 1 selektierten Einträge wirklich löschen?"));
}

TEST_P(WindowCommandsTest, UncheckedListRefusesArchivingUntilACleanRefresh) {
    setenv("TAMARO_ODBC_FAIL_AFTER", "0", 1);
    setenv("TAMARO_ODBC_FAIL_MATCH", "from dmp_form", 1);
    QTest::mouseClick(window_.RefreshButton(), Qt::LeftButton);
    unsetenv("TAMARO_ODBC_FAIL_AFTER");
    unsetenv("TAMARO_ODBC_FAIL_MATCH");
    EXPECT_TRUE(LogHas("Fehler in FillList-4a: "));
    TickOnly({11});
    log_.recorder.Clear();
    services_.QueueAnswer(MsgResult::Ok);
    Key(Qt::Key_F4);
    const auto boxes = NewBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], UnsafeArchiveMessage);
    EXPECT_FALSE(LogHas("Datentransfer"));

    QTest::mouseClick(window_.RefreshButton(), Qt::LeftButton);
    TickOnly({11});
    services_.QueueAnswer(MsgResult::No);
    Key(Qt::Key_F4);
    ASSERT_EQ(NewBoxes().size(), 1u);
    EXPECT_EQ(services_.Boxes().back().buttons, MsgButtons::YesNo);
}

TEST_P(WindowCommandsTest, ARunHoldsOffEveryCommandThatReachesTheDatabases) {
    CTamaroDlg& w = window_;
    TickOnly({11});
    // In the middle of the run, from inside one of its log lines.
    std::map<std::string, bool> enabled;
    size_t linesAtClicks = 0;
    bool during = false;
    log_.hook = [&](const std::string& text) {
        if (during || text.find("Datensicherung...") == std::string::npos) return;
        during = true;
        EXPECT_TRUE(core_.RunInProgress());
        for (int id : {1002, 1003, 1006, 1018, 1009, 1010, 1011, 1012, 1013, 1014, 1015, 1016})
            enabled[std::to_string(id)] = w.Control(id)->isEnabled();
        enabled["log"] = w.Log()->isEnabled() && w.Log()->verticalScrollBar()->isEnabled();
        linesAtClicks = LogTexts().size();
        QTest::mouseClick(w.ArchiveButton(), Qt::LeftButton);
        QTest::mouseClick(w.RefreshButton(), Qt::LeftButton);
        emit w.DoctorBox()->activated(0);
        Highlight(12);
        Key(Qt::Key_F5);
        emit w.PatientList()->cellDoubleClicked(0, 0);
        // The commands themselves refuse as well, however they are reached.
        core_.OnArchiveView();
        core_.OnRefresh();
        core_.OnPatientInfo();
        core_.OnTransfer();
        core_.OnDelete();
        Key(Qt::Key_Escape);  // the end waits for the run
        EXPECT_TRUE(w.isVisible());
    };
    services_.QueueAnswer(MsgResult::Yes);
    Key(Qt::Key_F4);
    log_.hook = nullptr;
    ASSERT_TRUE(during);

    // F7 and F8 too: their dialogs would pause the run unseen.
    for (const char* id : {"1002", "1003", "1006", "1018", "1012", "1013", "1014", "1015", "1016"})
        EXPECT_FALSE(enabled[id]) << id;
    for (const char* id : {"1009", "1010", "1011", "log"}) EXPECT_TRUE(enabled[id]) << id;
    for (int id : {1002, 1003, 1006, 1018, 1012, 1013, 1014, 1015, 1016})
        EXPECT_TRUE(w.Control(id)->isEnabled()) << id;
    EXPECT_EQ(services_.Boxes().size(), 1u);  // only the question
    // The commands that were reached said so, each in a red line of its own;
    // the run's next line keeps the colour it had before them.
    const auto lines = log_.recorder.Lines();
    size_t refusals = 0, afterLast = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].text.find(W(" ist nicht möglich, solange ein anderer Vorgang läuft.")) ==
            std::string::npos)
            continue;
        EXPECT_EQ(lines[i].colour, ColourRed) << lines[i].text;
        ++refusals;
        afterLast = i + 1;
    }
    EXPECT_GE(refusals, 6u) << log_.recorder.Raw();
    ASSERT_LT(afterLast, lines.size());
    EXPECT_NE(lines[afterLast].colour, ColourRed) << lines[afterLast].text;

    // Nothing ran inside the run: its lines follow one another up to its
    // ready line, then the list of the Velunda view is refilled.
    const auto texts = LogTexts();
    size_t ready = linesAtClicks;
    while (ready < texts.size() && texts[ready].rfind("Bereit", 0) != 0) ++ready;
    ASSERT_LT(ready + 2, texts.size());
    for (size_t i = linesAtClicks; i < ready; ++i)
        EXPECT_EQ(texts[i].find("Patientenliste"), std::string::npos) << texts[i];
    EXPECT_EQ(texts[ready + 2], "Patientenliste (Velunda) erstellen...");
    EXPECT_FALSE(core_.Databases().ArchiveIsSource());
    EXPECT_EQ(Pids(), (std::vector<int>{10, 12, 13, 14, 15, 16, 21}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w.isVisible(); }));
}

INSTANTIATE_TEST_SUITE_P(Access, WindowCommandsTest, testing::Values("mdb"));

// Whole runs from the window on both kinds.
using WindowRunsTest = WindowTest;

struct InfoRow {
    QString label, value;
    bool operator==(const InfoRow&) const = default;
};
void PrintTo(const InfoRow& r, std::ostream* os) {
    *os << r.label.toStdString() << "=" << r.value.toStdString();
}

std::vector<InfoRow> InfoRows(CPatInfoDlg& dialog) {
    std::vector<InfoRow> rows;
    QTableWidget* list = dialog.List();
    for (int r = 0; r < list->rowCount(); ++r)
        rows.push_back({list->item(r, 0)->text(), list->item(r, 1)->text()});
    return rows;
}

TEST_P(WindowRunsTest, ArchiveRestoreAndDeleteWithThePatientInformationOfBothSides) {
    if (!bus_->Ready()) GTEST_SKIP() << "no dbus-daemon";
    testenv::PrivateSessionBus& bus = *bus_;
    CTamaroDlg& w = window_;
    Exec(core_.Databases().MainDatabase(),
         W("update patienten set titel='Dr.', namenszusatz='von', strasse='Kirchgäßchen 3', "
           "plz='90402', ort='Nürnberg', geburtsdatum='19.12.1981' where pid=12"));
    const std::vector<InfoRow> lenz = {
        {"Titel", "Dr."},
        {"Vorname", "Lars"},
        {"Zusatz", "von"},
        {"Name", "Lenz"},
        {QString::fromUtf8("Straße"), QString::fromUtf8("Kirchgäßchen 3")},
        {"PLZ", "90402"},
        {"Ort", QString::fromUtf8("Nürnberg")},
        {"Geboren", "19.12.1981"},
        {"", ""},
        {"Scheine", "1"},
        {"Ziffern", "4"},
        {"Diagnosen", "1"},
        {"Kartei", "3"},
        {"Termine", "3"},
        {"Rechnungen", "3"}};
    auto info = [&](int pid) {
        std::vector<InfoRow> rows;
        OnModal<CPatInfoDlg>([&](CPatInfoDlg& dialog) {
            EXPECT_EQ(dialog.objectName(), QStringLiteral("129"));
            EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Patienten-Info"));
            QTableWidget* list = dialog.List();
            EXPECT_EQ(list->horizontalHeaderItem(0)->text(), QStringLiteral("Eigenschaft"));
            EXPECT_EQ(list->horizontalHeaderItem(1)->text(), QStringLiteral("Wert"));
            EXPECT_EQ(list->columnWidth(0) + list->columnWidth(1), list->viewport()->width());
            rows = InfoRows(dialog);
        });
        Highlight(pid);
        Key(Qt::Key_F5);
        return rows;
    };
    EXPECT_EQ(info(12), lenz);
    const std::vector<InfoRow> kern = info(11);
    ASSERT_GE(kern.size(), 8u);
    EXPECT_EQ(kern[0], (InfoRow{"Vorname", "Karin"}));  // no title, no suffix
    EXPECT_EQ(kern.end()[-2], (InfoRow{"Termine", "0"}));

    // Archive 11 and 12.
    TickOnly({11, 12});
    services_.QueueAnswer(MsgResult::Yes);
    QTest::mouseClick(w.FunctionButton(4), Qt::LeftButton);
    EXPECT_TRUE(LogHas("Datentransfer Velunda -> Archiv...")) << log_.recorder.Raw();
    EXPECT_EQ(Pids(), (std::vector<int>{10, 13, 14, 15, 16, 21})) << log_.recorder.Raw();
    EXPECT_EQ(bus.NewPatientSignals(), 1);  // by the deletion in Velunda
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.focusWidget() == w.PatientList(); }));

    // In the archive view, the run of "Archivierung vom" finds them.
    QTest::mouseClick(w.ArchiveButton(), Qt::LeftButton);
    w.SetPickerTime(1004, Jan1990());
    ASSERT_EQ(w.ArchiveRunBox()->count(), 2);
    w.ArchiveRunBox()->setCurrentIndex(1);
    QTest::mouseClick(w.RefreshButton(), Qt::LeftButton);
    EXPECT_EQ(Pids(), (std::vector<int>{11, 12}));
    EXPECT_EQ(info(12), lenz);  // from the archive now
    EXPECT_EQ(bus.NewPatientSignals(), 0);

    // Restore 12: the command tells the other programs.
    TickOnly({12});
    services_.QueueAnswer(MsgResult::Yes);
    Key(Qt::Key_F4);
    EXPECT_TRUE(LogHas("Datentransfer Archiv -> Velunda..."));
    EXPECT_EQ(Pids(), std::vector<int>{11});
    EXPECT_EQ(bus.NewPatientSignals(), 1);

    // Delete 11 in the archive: backup, delete, backup removed.
    TickOnly({11});
    log_.recorder.Clear();
    services_.QueueAnswer(MsgResult::Yes);
    Key(Qt::Key_F6);
    const auto texts = LogTexts();
    ASSERT_GE(texts.size(), 5u);
    EXPECT_EQ(texts[0], W("Patienten löschen aus Archiv..."));
    EXPECT_EQ(texts[1], W("• Datensicherung..."));
    EXPECT_EQ(texts[2], W("• Patienten löschen..."));
    EXPECT_EQ(log_.recorder.Lines()[0].colour, ColourBlue);
    EXPECT_TRUE(LogHas(W("• Archiv.patienten... (1 Einträge)")));
    EXPECT_TRUE(LogHas(W("• Datensicherung löschen...")));
    EXPECT_TRUE(Pids().empty());
    EXPECT_EQ(bus.NewPatientSignals(), 0);
    for (const auto& entry : fs::directory_iterator(practice_.path() / "Database"))
        EXPECT_NE(entry.path().extension(), ".bak") << entry.path();

    QTest::mouseClick(w.VelundaButton(), Qt::LeftButton);
    EXPECT_EQ(Pids(), (std::vector<int>{10, 12, 13, 14, 15, 16, 21}));
    EXPECT_EQ(info(12), lenz);  // back, whole
}

INSTANTIATE_TEST_SUITE_P(Kinds, WindowRunsTest, testing::Values("fdb", "mdb"));

}  // namespace
}  // namespace uitest

#include "WindowCommandsTest.moc"
