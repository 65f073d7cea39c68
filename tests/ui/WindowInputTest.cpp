// What the real window does with input that arrives at awkward moments: a
// date typed into a picker and not yet taken when a command reads the
// filters, commands that arrive while a list fill or a run is at work, the
// controls a hold gives back, and the caption of a run from its first
// backup to the refill of the list, also when the window is asked to close.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTest>

#include "app/CommandHold.h"
#include "core/Globals.h"
#include "core/RunProgress.h"
#include "db/DatabaseSet.h"
#include "tests/ui/WindowFixture.h"
#include "ui/CPatInfoDlg.h"
#include "ui/DatePicker.h"
#include "ui/QtCp1252.h"
#include "ui/WindowRunProgress.h"

namespace uitest {
namespace {

using WindowInputTest = WindowTest;

bool Red(DatePicker* picker) {
    return picker->findChild<QLineEdit*>()->palette().color(QPalette::Text) == QColor(255, 0, 0);
}

TEST_P(WindowInputTest, TypedDatesCountForEveryCommandThatReadsTheFilters) {
    CTamaroDlg& w = window_;
    DatePicker* from = w.Picker(1004);
    const QDate shown = from->date();
    const auto type = [&](DatePicker* picker, const char* text) {
        w.PatientList()->setFocus(Qt::OtherFocusReason);
        picker->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(picker, QString::fromLatin1(text));
    };
    const auto filled = [&] {
        return QTest::qWaitFor([&] { return LogHas(W("Patienten ausgewählt.")); });
    };

    // Alt+A clicks "Liste aktualisieren" without leaving the field: the list
    // is built from the date typed (only Mohr, who has no service at all).
    type(from, "01.01.2022");
    log_.recorder.Clear();
    QTest::keyClick(&w, Qt::Key_A, Qt::AltModifier);
    ASSERT_TRUE(filled()) << log_.recorder.Raw();
    EXPECT_EQ(from->date(), QDate(2022, 1, 1));
    EXPECT_EQ(Pids(), std::vector<int>{13});
    EXPECT_TRUE(NewBoxes().empty());

    // Type-ahead after a command belongs where the user sent it: F2 gives
    // the list the focus a moment later, but Alt+L and a date typed in that
    // moment stay in the field (on a busy machine the moment is long).
    type(from, "01.01.1990");
    QTest::keyClick(&w, Qt::Key_A, Qt::AltModifier);
    ASSERT_TRUE(filled());
    w.PatientList()->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(w.PatientList(), Qt::Key_F2);
    QTest::keyClick(w.PatientList(), Qt::Key_L, Qt::AltModifier);
    ASSERT_EQ(w.focusWidget(), from);
    QTest::qWait(50);
    QTest::keyClicks(w.focusWidget(), QStringLiteral("01.01.2022"));
    log_.recorder.Clear();
    QTest::keyClick(&w, Qt::Key_A, Qt::AltModifier);
    ASSERT_TRUE(filled()) << log_.recorder.Raw();
    EXPECT_EQ(Pids(), std::vector<int>{13});

    // A typed text that is no date refuses the command with the picker's
    // message, as leaving the field would: no list, the date held before,
    // shown in black again, and the field keeps the focus.
    const std::string refusal =
        W("„31.02.2005“ ist kein gültiges Datum.\n\nBitte geben Sie Tag, Monat und Jahr ein "
          "(TT.MM.JJJJ), zwischen dem 01.01.1902 und dem 31.12.2037.");
    type(from, "31.02.2005");
    EXPECT_TRUE(Red(from));
    log_.recorder.Clear();
    services_.QueueAnswer(MsgResult::Ok);
    QTest::keyClick(&w, Qt::Key_A, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return services_.Boxes().size() > boxesSeen_; }));
    EXPECT_EQ(NewBoxes(), std::vector<std::string>{refusal});
    EXPECT_FALSE(LogHas("Patientenliste"));
    EXPECT_EQ(from->date(), QDate(2022, 1, 1));
    EXPECT_EQ(from->text(), QStringLiteral("01.01.2022"));
    EXPECT_FALSE(Red(from));
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.focusWidget() == from; }));

    // F4, F6 and a view switch read the filters as well (the list is
    // refilled after a run, the range of the view left is stored).
    // So do their previews (Shift+F4, Shift+F6), which refuse what the run
    // refuses.
    for (Qt::Key key : {Qt::Key_F4, Qt::Key_F6}) {
        for (Qt::KeyboardModifier shift : {Qt::NoModifier, Qt::ShiftModifier}) {
            type(w.Picker(1019), "15.13.2005");
            services_.QueueAnswer(MsgResult::Ok);
            log_.recorder.Clear();
            QTest::keyClick(w.PatientList(), key, shift);
            const auto boxes = NewBoxes();
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].rfind(W("„15.13.2005“ ist kein gültiges Datum."), 0), 0u);
            EXPECT_FALSE(Red(w.Picker(1019)));
            EXPECT_FALSE(LogHas("Vorschau")) << log_.recorder.Raw();
        }
    }
    type(w.Picker(1019), "02.01.1990");
    TickOnly({13});
    QTest::keyClick(w.PatientList(), Qt::Key_F4, Qt::ShiftModifier);
    EXPECT_TRUE(LogHas("Vorschau: Datentransfer Velunda -> Archiv (1 Patienten)"));
    EXPECT_EQ(w.Picker(1019)->date(), QDate(1990, 1, 2));
    // While the refusal's box is open the field shows what was typed, and
    // the button of the view shown stays pressed.
    type(w.Picker(1007), "31.02.2005");
    boxWatch_.stop();
    QString shownDuring;
    bool archiveDuring = true, velundaDuring = false;
    OnModal<QMessageBox>([&](QMessageBox&) {
        shownDuring = w.Picker(1007)->text();
        archiveDuring = w.ArchiveButton()->isChecked();
        velundaDuring = w.VelundaButton()->isChecked();
    });
    QTest::mouseClick(w.ArchiveButton(), Qt::LeftButton);
    boxWatch_.start(100);
    EXPECT_EQ(shownDuring, QStringLiteral("31.02.2005"));
    EXPECT_FALSE(archiveDuring);
    EXPECT_TRUE(velundaDuring);
    EXPECT_EQ(NewBoxes().size(), 1u);
    // Once the box has gone, the field has the focus again (the offscreen
    // platform gives the window back no activation by itself).
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    EXPECT_EQ(w.focusWidget(), w.Picker(1007));
    EXPECT_FALSE(core_.Databases().ArchiveIsSource());
    EXPECT_TRUE(w.VelundaButton()->isChecked());
    EXPECT_FALSE(w.ArchiveButton()->isChecked());
    EXPECT_FALSE(LogHas("Patientenliste"));

    type(w.Picker(1007), "31.12.2022");
    QTest::mouseClick(w.ArchiveButton(), Qt::LeftButton);
    EXPECT_TRUE(core_.Databases().ArchiveIsSource());
    EXPECT_EQ(QDateTime::fromSecsSinceEpoch(core_.Config().GetInt("Velunda.Max", 0)).date(),
              QDate(2022, 12, 31));
    EXPECT_TRUE(NewBoxes().empty());

    // The doctor list's choice refreshes once its drop-down has closed, with
    // the dates typed; closing the window stores a typed range as well.
    QTest::mouseClick(w.VelundaButton(), Qt::LeftButton);
    type(from, "01.01.1990");
    log_.recorder.Clear();
    emit w.DoctorBox()->activated(w.DoctorBox()->currentIndex());
    EXPECT_FALSE(LogHas("Patientenliste"));
    ASSERT_TRUE(filled());
    EXPECT_EQ(Pids(), (std::vector<int>{10, 11, 12, 13, 14, 15, 16, 21}));
    type(from, "02.01.1990");
    w.done(QDialog::Rejected);
    core_.OnDestroy();
    EXPECT_EQ(QDateTime::fromSecsSinceEpoch(core_.Config().GetInt("Velunda.Min", 0)).date(),
              QDate(1990, 1, 2));
    EXPECT_NE(shown, QDate(1990, 1, 2));
}

TEST_P(WindowInputTest, CommandsThatCannotRunNowSaySoAndHoldsGiveBackEachState) {
    CTamaroDlg& w = window_;
    // A start-up problem leaves F4 to F6 disabled; the check holds the
    // commands while it reads, and afterwards they are as they were.
    for (int k : {4, 5, 6}) w.FunctionButton(k)->setEnabled(false);
    std::unique_ptr<QMenu> menu(w.CreateSystemMenu(&w));
    QAction* check = menu->findChild<QAction*>(QStringLiteral("32"));
    ASSERT_TRUE(check->isEnabled());
    std::map<int, bool> during;
    log_.hook = [&](const std::string& text) {
        if (text.find(W("Datenbestand prüfen (")) == std::string::npos) return;
        for (int id : {1002, 1003, 1006, 1012, 1013, 1014, 1015, 1016, 1018})
            during[id] = w.Control(id)->isEnabled();
    };
    check->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return LogHas(W("Keine Befunde")); }));
    log_.hook = nullptr;
    ASSERT_EQ(during.size(), 9u);
    for (const auto& [id, enabled] : during) EXPECT_FALSE(enabled) << id;
    for (int id : {1012, 1013, 1014}) EXPECT_FALSE(w.Control(id)->isEnabled()) << id;
    for (int id : {1002, 1003, 1006, 1015, 1016, 1018}) EXPECT_TRUE(w.Control(id)->isEnabled());
    for (int k : {4, 5, 6}) w.FunctionButton(k)->setEnabled(true);

    // While the list is filled, whatever would reach the databases refuses
    // with a red line naming it; the window menu shows the check grey, and a
    // check chosen just before the fill is refused when its turn comes.
    std::vector<std::string> refused;
    bool greyCheck = false;
    log_.recorder.Clear();
    log_.hook = [&](const std::string& text) {
        if (text.rfind(W("• Neuste Leistungen sammeln..."), 0) != 0) return;
        std::unique_ptr<QMenu> busy(w.CreateSystemMenu(&w));
        greyCheck = !busy->findChild<QAction*>(QStringLiteral("32"))->isEnabled();
        check->trigger();
        QTest::mouseClick(w.RefreshButton(), Qt::LeftButton);
        QTest::mouseClick(w.ArchiveButton(), Qt::LeftButton);
        TickOnly({11});
        Key(Qt::Key_F4);
        Key(Qt::Key_F6);
        QTest::keyClick(w.PatientList(), Qt::Key_F4, Qt::ShiftModifier);
        Highlight(12);
        Key(Qt::Key_F5);
        QApplication::processEvents();  // the queued check
    };
    QTest::mouseClick(w.RefreshButton(), Qt::LeftButton);
    log_.hook = nullptr;
    for (const LogRecorder::Line& line : log_.recorder.Lines())
        if (line.colour == ColourRed) refused.push_back(line.text);
    EXPECT_TRUE(greyCheck);
    EXPECT_EQ(refused,
              (std::vector<std::string>{
                  BusyRefusal(W("Datenbestand prüfen")), BusyRefusal("Liste aktualisieren"),
                  BusyRefusal("Ansicht wechseln"), BusyRefusal("Archivieren"),
                  BusyRefusal(W("Löschen")), BusyRefusal("Vorschau"), BusyRefusal("Pat.-Info")}))
        << log_.recorder.Raw();
    // Nothing of it ran: no box, no second list, the view as it was.
    EXPECT_TRUE(NewBoxes().empty());
    EXPECT_FALSE(LogHas(W("Datenbestand prüfen (")));
    EXPECT_FALSE(core_.Databases().ArchiveIsSource());
    EXPECT_TRUE(w.VelundaButton()->isChecked());
    EXPECT_FALSE(w.ArchiveButton()->isChecked());
    size_t lists = 0;
    for (const std::string& t : LogTexts()) lists += t.rfind("Patientenliste", 0) == 0;
    EXPECT_EQ(lists, 1u);
}

// Keys and clicks that come while a refill writes its lines belong where the
// user sent them: Alt+A refreshes at once with the filters as they were,
// Alt+N and a name typed during the refill stay in the name field, and the
// refill's own focus change afterwards leaves them there.
TEST_P(WindowInputTest, TypeAheadDuringARefillStaysWhereTheUserSentIt) {
    CTamaroDlg& w = window_;
    w.PatientList()->setFocus(Qt::OtherFocusReason);
    log_.recorder.Clear();
    log_.hook = [&](const std::string& text) {
        if (text.rfind("Patientenliste (Velunda) erstellen...", 0) != 0) return;
        QTest::keyClick(&w, Qt::Key_N, Qt::AltModifier);
        QTest::keyClicks(w.focusWidget(), QStringLiteral("Lenz"));
    };
    QTest::keyClick(w.PatientList(), Qt::Key_A, Qt::AltModifier);
    log_.hook = nullptr;
    EXPECT_TRUE(LogHas(W("8 Patienten ausgewählt."))) << log_.recorder.Raw();
    EXPECT_EQ(w.NameFilter()->text(), QStringLiteral("Lenz"));
    QTest::qWait(50);  // past the focus timer of the refresh
    EXPECT_EQ(w.focusWidget(), w.NameFilter());
    QTest::keyClick(w.NameFilter(), Qt::Key_A, Qt::AltModifier);
    EXPECT_EQ(Pids(), std::vector<int>{12});

    // A click into the list during a run's refill: the run's focus change
    // afterwards is the list's anyway; a date field reached by Alt+L during
    // it keeps the focus.
    TickOnly({12});
    services_.QueueAnswer(MsgResult::Yes);
    bool moved = false;
    log_.hook = [&](const std::string& text) {
        if (moved || text.rfind("Patientenliste", 0) != 0) return;
        moved = true;
        QTest::keyClick(&w, Qt::Key_L, Qt::AltModifier);
    };
    Key(Qt::Key_F4);
    log_.hook = nullptr;
    ASSERT_TRUE(moved);
    QTest::qWait(50);
    EXPECT_EQ(w.focusWidget(), w.Picker(1004));
}

// The list takes the focus after a refill without framing a row that it
// leaves unselected: Home then selects the first row, and F5 shows it.
TEST_P(WindowInputTest, HomeThenF5AfterARefillShowsTheFirstPatient) {
    CTamaroDlg& w = window_;
    QTableWidget* list = w.PatientList();
    w.NameFilter()->setFocus(Qt::OtherFocusReason);
    QTest::mouseClick(w.RefreshButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.focusWidget() == list; }));
    EXPECT_FALSE(list->currentIndex().isValid());
    EXPECT_EQ(w.PatientRows().GetFirstSelected(), -1);
    QTest::keyClick(list, Qt::Key_Home);
    EXPECT_EQ(list->currentIndex().row(), 0);
    EXPECT_EQ(w.PatientRows().GetFirstSelected(), 0);
    int shown = 0;
    OnModal<CPatInfoDlg>([&](CPatInfoDlg&) { ++shown; });
    Key(Qt::Key_F5);
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown == 1; }));
    EXPECT_TRUE(NewBoxes().empty());
    // End, Up: the row moved to is the row selected; after a refill End
    // goes to the last row.
    QTest::mouseClick(w.RefreshButton(), Qt::LeftButton);
    ASSERT_FALSE(list->currentIndex().isValid());
    QTest::keyClick(list, Qt::Key_End);
    EXPECT_EQ(w.PatientRows().GetFirstSelected(), int(Pids().size()) - 1);
    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_EQ(w.PatientRows().GetFirstSelected(), list->currentIndex().row());
    EXPECT_EQ(list->currentIndex().row(), int(Pids().size()) - 2);
}

// A refusal that comes while a run has a line open (a table's line waiting
// for its count) follows that line instead of splitting it.
TEST_P(WindowInputTest, ARefusalDuringARunDoesNotSplitItsLine) {
    CTamaroDlg& w = window_;
    QTableWidget* list = w.PatientList();
    TickOnly({11});
    services_.QueueAnswer(MsgResult::Yes);
    int clicks = 0;
    log_.hook = [&](const std::string& text) {
        if (text != W("• Velunda.patienten...") || clicks++ > 0) return;
        // As the window system gives it: a click, then the second press as
        // the double click.
        const QPoint at = list->visualRect(list->model()->index(0, 1)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    };
    Key(Qt::Key_F4);
    log_.hook = nullptr;
    ASSERT_EQ(clicks, 2);  // copied, then deleted: the click came at the first
    const QStringList lines = w.Log()->toPlainText().split(QLatin1Char('\n'));
    const qsizetype at =
        lines.indexOf(QRegularExpression(QStringLiteral("^• Velunda\\.patienten\\.\\.\\..*")));
    ASSERT_GE(at, 0) << w.Log()->toPlainText().toStdString();
    EXPECT_TRUE(lines[at].endsWith(QStringLiteral(" (1 Einträge)"))) << lines[at].toStdString();
    EXPECT_EQ(lines[at + 1],
              QStringLiteral("Pat.-Info ist nicht möglich, solange ein anderer Vorgang läuft."))
        << w.Log()->toPlainText().toStdString();
}

// Just-archived patients lie outside the archive view's range; its list
// says how many and which range shows them all.
TEST_P(WindowInputTest, TheArchiveViewNamesTheArchivedPatientsOutsideItsRange) {
    CTamaroDlg& w = window_;
    TickOnly({11, 12});
    services_.QueueAnswer(MsgResult::Yes);
    Key(Qt::Key_F4);
    log_.recorder.Clear();
    QTest::mouseClick(w.ArchiveButton(), Qt::LeftButton);
    ASSERT_TRUE(Pids().empty());
    std::string line;
    for (const std::string& t : LogTexts())
        if (t.find("weitere archivierte") != std::string::npos) line = t;
    const QRegularExpression form(QStringLiteral(
        "^• 2 weitere archivierte Patienten liegen außerhalb von „Letzte Leistung zwischen“; "
        "zwischen (\\d\\d\\.\\d\\d\\.\\d{4}) und (\\d\\d\\.\\d\\d\\.\\d{4}) werden alle "
        "angezeigt\\.$"));
    const QRegularExpressionMatch match = form.match(ToQString(line));
    ASSERT_TRUE(match.hasMatch()) << log_.recorder.Raw();
    // The range named shows them, and the line is then left out.
    const auto day = [](const QString& text) {
        return QDateTime(QDate::fromString(text, QStringLiteral("dd.MM.yyyy")), QTime(12, 0))
            .toSecsSinceEpoch();
    };
    w.SetPickerTime(1004, day(match.captured(1)));
    w.SetPickerTime(1007, day(match.captured(2)));
    log_.recorder.Clear();
    QTest::mouseClick(w.RefreshButton(), Qt::LeftButton);
    EXPECT_EQ(Pids(), (std::vector<int>{11, 12}));
    EXPECT_FALSE(LogHas("weitere archivierte")) << log_.recorder.Raw();
}

// The captions of the window in the order they were shown, each with the
// number of log lines written before it.
class CaptionRecorder : public QObject {
  public:
    CaptionRecorder(QWidget& window, LogRecorder& log) : window_(window), log_(log) {
        window_.installEventFilter(this);
    }
    ~CaptionRecorder() override { window_.removeEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::WindowTitleChange)
            shown.push_back({window_.windowTitle().toStdString(), log_.Texts().size()});
        return false;
    }
    std::vector<std::pair<std::string, size_t>> shown;

  private:
    QWidget& window_;
    LogRecorder& log_;
};

TEST_P(WindowInputTest, TheCaptionFollowsTheRunToItsEndAndSaysWhenTheWindowWillClose) {
    CTamaroDlg& w = window_;
    WindowRunProgress progress(&w);
    SetRunProgress(&progress);
    const auto firstLine = [&](const std::string& prefix) {
        const auto texts = LogTexts();
        for (size_t i = 0; i < texts.size(); ++i)
            if (texts[i].rfind(prefix, 0) == 0) return i;
        return texts.size();
    };
    // From its first backup to its end the caption shows the run, also
    // while the rows are counted between the backups and the moving; it is
    // "Tamaro" again before the list is refilled.
    for (const char* verb : {"Archivieren", "Restaurieren"}) {
        log_.recorder.Clear();
        CaptionRecorder captions(w, log_.recorder);
        TickOnly({11, 12});
        services_.QueueAnswer(MsgResult::Yes);
        Key(Qt::Key_F4);
        const auto& shown = captions.shown;
        ASSERT_GE(shown.size(), 3u) << verb;
        EXPECT_EQ(shown.front().first, std::string("Tamaro – ") + verb + ": Datensicherung 0 %");
        EXPECT_EQ(shown.back().first, "Tamaro");
        for (size_t i = 0; i + 1 < shown.size(); ++i)
            EXPECT_NE(shown[i].first, "Tamaro") << verb << " " << i;
        EXPECT_EQ(shown[shown.size() - 2].first, std::string("Tamaro – ") + verb + " 100 %");
        EXPECT_LE(shown.back().second, firstLine("Patientenliste")) << log_.recorder.Raw();
        EXPECT_LT(firstLine("Patientenliste"), LogTexts().size());
        if (std::string(verb) == "Archivieren") {
            QTest::mouseClick(w.ArchiveButton(), Qt::LeftButton);
            w.Picker(1004)->SetTime(Jan1990());
            QTest::mouseClick(w.RefreshButton(), Qt::LeftButton);
            ASSERT_EQ(Pids(), (std::vector<int>{11, 12}));
        } else {
            QTest::mouseClick(w.VelundaButton(), Qt::LeftButton);
        }
    }

    // Escape during a run: the window stays until the run has ended, and the
    // caption and the log say so.
    std::string during;
    log_.hook = [&](const std::string&) {
        if (!during.empty() || !w.windowTitle().startsWith(QStringLiteral("Tamaro – "))) return;
        Key(Qt::Key_Escape);
        during = w.windowTitle().toStdString();
    };
    log_.recorder.Clear();
    TickOnly({11});
    services_.QueueAnswer(MsgResult::Yes);
    Key(Qt::Key_F4);
    log_.hook = nullptr;
    EXPECT_EQ(during.rfind("Tamaro – Archivieren", 0), 0u) << during;
    EXPECT_NE(during.find(" – wird nach dem Vorgang beendet"), std::string::npos) << during;
    const size_t note = firstLine("Tamaro wird beendet");
    ASSERT_LT(note, LogTexts().size()) << log_.recorder.Raw();
    EXPECT_EQ(LogTexts()[note],
              "Tamaro wird beendet, sobald der laufende Vorgang abgeschlossen ist.");
    EXPECT_LT(note, firstLine("Bereit"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w.isVisible(); }));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Tamaro"));
    SetRunProgress(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Access, WindowInputTest, testing::Values("mdb"));

}  // namespace
}  // namespace uitest
