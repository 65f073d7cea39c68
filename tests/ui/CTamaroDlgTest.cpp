// The main window: controls and captions, the resize layout, the function
// keys and the window menu.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <map>
#include <set>

#include "core/Globals.h"
#include "core/LogSink.h"
#include "ui/CAboutDlg.h"
#include "ui/CTamaroDlg.h"
#include "ui/DatePicker.h"
#include "ui/ProgressLogWidget.h"

namespace {

// Counts the commands the window hands to its handlers.
class CountingDlg : public CTamaroDlg {
  public:
    std::map<std::string, int> calls;

  protected:
    void OnVelundaView() override { ++calls["velunda"]; }
    void OnArchiveView() override { ++calls["archiv"]; }
    void OnRefresh() override { ++calls["refresh"]; }
    void OnHelp() override { ++calls["F1"]; }
    void OnSelectAll() override { ++calls["F2"]; }
    void OnSelectNone() override { ++calls["F3"]; }
    void OnTransfer() override { ++calls["F4"]; }
    void OnPatientInfo() override { ++calls["F5"]; }
    void OnDelete() override { ++calls["F6"]; }
    void OnPrint() override { ++calls["F7"]; }
    void OnSave() override { ++calls["F8"]; }
};

// Counts the key presses that reach a control.
class KeySpy : public QObject {
  public:
    int presses = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::KeyPress) ++presses;
        return false;
    }
};

class CTamaroDlgTest : public testing::Test {
  protected:
    void SetUp() override {
        dlg.show();
        QApplication::processEvents();
    }
    template <class T>
    T* Find(int id) {
        T* w = dlg.findChild<T*>(QString::number(id));
        EXPECT_NE(w, nullptr) << id;
        return w;
    }
    QString Caption(int id) {
        auto* label = dlg.findChild<QLabel*>(QStringLiteral("caption%1").arg(id));
        return label ? label->text() : QString();
    }
    CountingDlg dlg;
};

TEST_F(CTamaroDlgTest, EveryControlHasItsIdAndCaption) {
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Tamaro"));
    const std::map<int, QString> buttons = {{1002, "Velunda"},
                                            {1003, "Archiv"},
                                            {1006, "Liste &aktualisieren"},
                                            {1009, "F1: Hilfe"},
                                            {1010, "F2: Alle"},
                                            {1011, "F3: Keine"},
                                            {1012, "F4: Archivieren"},
                                            {1013, "F5: Pat.-Info"},
                                            {1014, QString::fromUtf8("F6: Löschen")},
                                            {1015, "F7: Drucken"},
                                            {1016, "F8: Speichern"}};
    for (const auto& [id, text] : buttons) {
        auto* b = Find<QPushButton>(id);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->text(), text) << id;
    }
    EXPECT_EQ(Find<QGroupBox>(1005)->title(), QStringLiteral("Filter "));
    for (int id : {1004, 1007, 1019, 1020}) EXPECT_NE(Find<DatePicker>(id), nullptr);
    // Each caption with its mnemonic, which leads to its field; no letter
    // is taken twice in the window (Alt+A is "Liste aktualisieren").
    const std::map<int, QString> captions = {
        {1004, "&Letzte Leistung zwischen"},        {1007, "&und"},
        {1019, "Aufnahmedatum &zwischen"},          {1020, "un&d"},
        {1008, QString::fromUtf8("&Name enthält")}, {1017, "A&rchivierung vom"}};
    std::set<QChar> letters = {QLatin1Char('a')};
    for (const auto& [id, text] : captions) {
        EXPECT_EQ(Caption(id), text) << id;
        auto* label = dlg.findChild<QLabel*>(QStringLiteral("caption%1").arg(id));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->buddy(), dlg.Control(id)) << id;
        EXPECT_TRUE(letters.insert(text[text.indexOf('&') + 1].toLower()).second) << id;
    }
    EXPECT_NE(Find<QLineEdit>(1008), nullptr);
    EXPECT_NE(Find<QComboBox>(1017), nullptr);
    EXPECT_NE(Find<QComboBox>(1018), nullptr);
    EXPECT_EQ(Find<ProgressLogWidget>(1001), dlg.Log());
    EXPECT_TRUE(dlg.Log()->isReadOnly());
    for (int id = 1000; id <= 1020; ++id) EXPECT_NE(dlg.Control(id), nullptr) << id;
}

TEST_F(CTamaroDlgTest, PatientListIsAReportWithFourColumns) {
    QTableWidget* list = Find<QTableWidget>(1000);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->columnCount(), 4);
    const QStringList headers = {"Patient", "Art", "Leistung", "Dummy"};
    for (int c = 0; c < 4; ++c) EXPECT_EQ(list->horizontalHeaderItem(c)->text(), headers[c]);
    EXPECT_EQ(list->columnWidth(1), 70);
    EXPECT_EQ(list->columnWidth(2), 70);
    EXPECT_EQ(list->columnWidth(3), 0);
    EXPECT_TRUE(list->showGrid());
    EXPECT_FALSE(list->horizontalHeader()->sectionsClickable());
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);
}

TEST_F(CTamaroDlgTest, RowsKeepTheirCheckAndPatientId) {
    PatientListControl& rows = dlg.PatientRows();
    EXPECT_EQ(rows.InsertItem(0, "Zorn, Eva"), 0);
    rows.SetItemData(0, 40);
    rows.SetCheck(0, true);
    EXPECT_EQ(rows.InsertItem(0, "M\xfcller, Hans"), 0);  // CP1252
    rows.SetItemData(0, 12);
    EXPECT_EQ(rows.InsertItem(99, "Becker, Jana"), 2);
    rows.SetItemText(2, 2, "07.03.2011");

    ASSERT_EQ(rows.GetItemCount(), 3);
    EXPECT_EQ(rows.GetItemData(1), 40);
    EXPECT_TRUE(rows.GetCheck(1));
    EXPECT_EQ(rows.GetItemData(0), 12);
    EXPECT_FALSE(rows.GetCheck(0));
    EXPECT_EQ(rows.GetItemText(2, 2), "07.03.2011");
    QTableWidget* list = dlg.PatientList();
    EXPECT_EQ(list->item(0, 0)->text(), QString::fromUtf8("Müller, Hans"));
    EXPECT_EQ(list->item(0, 0)->data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    EXPECT_TRUE(list->item(0, 0)->flags() & Qt::ItemIsUserCheckable);

    // Ticks are not the highlight.
    EXPECT_EQ(rows.GetFirstSelected(), -1);
    list->selectRow(2);
    EXPECT_EQ(rows.GetFirstSelected(), 2);
    rows.DeleteAllItems();
    EXPECT_EQ(rows.GetItemCount(), 0);
    EXPECT_EQ(rows.GetItemData(0), 0);
}

TEST_F(CTamaroDlgTest, LayoutAtClientWidth803) {
    // At the size it starts with, every key's caption (F4's longer one too)
    // fits in the window's own font; narrower, the keys share one smaller size.
    for (const char* f4 : {"F4: Archivieren", "F4: Restaurieren"}) {
        dlg.FunctionButton(4)->setText(QString::fromLatin1(f4));
        dlg.FitFunctionKeyCaptions();
        for (int k = 1; k <= 8; ++k)
            EXPECT_EQ(dlg.FunctionButton(k)->font().pointSizeF(), dlg.font().pointSizeF()) << k;
    }
    dlg.resize(803, 560);
    QApplication::processEvents();
    for (int k = 2; k <= 8; ++k)
        EXPECT_EQ(dlg.FunctionButton(k)->font(), dlg.FunctionButton(1)->font()) << k;
    ASSERT_EQ(dlg.width(), 803);
    const int h = dlg.FunctionButton(1)->height();
    for (int k = 1; k <= 7; ++k) {
        const QRect r = dlg.FunctionButton(k)->geometry();
        EXPECT_EQ(r, QRect((k - 1) * 100, 560 - h, 100, h)) << "F" << k;
    }
    EXPECT_EQ(dlg.FunctionButton(8)->geometry(), QRect(700, 560 - h, 103, h));

    const QRect list = dlg.PatientList()->geometry();
    EXPECT_EQ(list.height(), 560 - list.top() - h - 2);
    const QRect log = dlg.Log()->geometry();
    EXPECT_EQ(log.right() + 1, 803);
    EXPECT_EQ(log.height(), 560 - log.top() - h - 2);
    const QRect doctor = dlg.DoctorBox()->geometry();
    EXPECT_EQ(doctor.left(), 803 - doctor.width() - 4);
    const QRect group = dlg.FilterGroup()->geometry();
    EXPECT_EQ(group.width(), 803 - group.left() - 4);
    const QRect refresh = dlg.RefreshButton()->geometry();
    EXPECT_EQ(refresh.left(), 803 - refresh.width() - 12);
    EXPECT_GT(refresh.left(), dlg.NameFilter()->geometry().right());

    QTableWidget* table = dlg.PatientList();
    EXPECT_EQ(table->columnWidth(0), table->viewport()->width() - 140);

    // Shrinking moves the anchored controls, not the filter fields.
    const QRect picker = dlg.Picker(1007)->geometry();
    const QSize least = dlg.minimumSize();
    dlg.resize(least);
    QApplication::processEvents();
    const int w = least.width() / 8;
    EXPECT_EQ(dlg.FunctionButton(8)->geometry(),
              QRect(7 * w, least.height() - h, least.width() - 7 * w, h));
    EXPECT_EQ(dlg.RefreshButton()->geometry().left(), least.width() - refresh.width() - 12);
    EXPECT_EQ(dlg.Picker(1007)->geometry(), picker);
}

// Made as small as it goes, the window keeps every control apart, inside
// the window and readable; the filter fields stay inside their group.
TEST_F(CTamaroDlgTest, AtItsSmallestNothingOverlaps) {
    dlg.FunctionButton(4)->setText(QStringLiteral("F4: Restaurieren"));
    for (const QSize size : {QSize(1, 1), QSize(2000, 1), QSize(1, 2000), QSize(1400, 900)}) {
        dlg.resize(size);
        QApplication::processEvents();
        EXPECT_GE(dlg.width(), dlg.minimumWidth());
        EXPECT_GE(dlg.height(), dlg.minimumHeight());
        const QRect client = dlg.rect();
        std::vector<QWidget*> controls;
        for (QObject* o : dlg.children()) {
            auto* w = qobject_cast<QWidget*>(o);
            if (w && w->isVisible() && !w->isWindow()) controls.push_back(w);
        }
        ASSERT_GT(controls.size(), 25u);
        const QRect group = dlg.FilterGroup()->geometry();
        for (QWidget* a : controls) {
            const std::string name = a->objectName().toStdString();
            EXPECT_TRUE(client.contains(a->geometry())) << name << " at " << size.width();
            if (a != dlg.FilterGroup() && a->geometry().intersects(group)) {
                EXPECT_TRUE(group.contains(a->geometry())) << name << " at " << size.width();
            }
            for (QWidget* b : controls) {
                if (a < b && a != dlg.FilterGroup() && b != dlg.FilterGroup()) {
                    EXPECT_FALSE(a->geometry().intersects(b->geometry()))
                        << name << " and " << b->objectName().toStdString() << " at "
                        << size.width() << "x" << size.height();
                }
            }
            if (auto* button = qobject_cast<QPushButton*>(a)) {
                EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text().remove('&')),
                          button->width() - 8)
                    << name;
            }
        }
        // The list shows a few rows and the log a few lines.
        EXPECT_GE(dlg.PatientList()->viewport()->height(),
                  3 * dlg.PatientList()->verticalHeader()->defaultSectionSize());
        EXPECT_GE(dlg.Log()->viewport()->height(), 3 * dlg.Log()->fontMetrics().lineSpacing());
    }
}

TEST_F(CTamaroDlgTest, FunctionKeysReachTheirCommandsBeforeTheFocusedControl) {
    QTableWidget* list = dlg.PatientList();
    list->setRowCount(1);
    list->setItem(0, 0, new QTableWidgetItem(QStringLiteral("Meier, Anna")));
    list->setCurrentCell(0, 0);
    list->setFocus();
    KeySpy spy;
    list->installEventFilter(&spy);

    for (int k = 0; k < 8; ++k) QTest::keyClick(list, Qt::Key(Qt::Key_F1 + k));
    for (const char* key : {"F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8"})
        EXPECT_EQ(dlg.calls[key], 1) << key;
    EXPECT_EQ(spy.presses, 0);
    EXPECT_EQ(QApplication::focusWidget(), list);  // F2 did not open an editor

    // Disabled run buttons: the key does nothing and is still swallowed.
    for (int k : {4, 5, 6}) dlg.FunctionButton(k)->setEnabled(false);
    for (Qt::Key key : {Qt::Key_F4, Qt::Key_F5, Qt::Key_F6}) QTest::keyClick(list, key);
    EXPECT_EQ(dlg.calls["F4"], 1);
    EXPECT_EQ(dlg.calls["F5"], 1);
    EXPECT_EQ(dlg.calls["F6"], 1);
    EXPECT_EQ(spy.presses, 0);
    QTest::keyClick(list, Qt::Key_F3);
    EXPECT_EQ(dlg.calls["F3"], 2);

    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(spy.presses, 1);
    list->removeEventFilter(&spy);
}

TEST_F(CTamaroDlgTest, ButtonsAndListRunTheirHandlers) {
    dlg.FunctionButton(2)->click();
    dlg.FunctionButton(8)->click();
    dlg.RefreshButton()->click();
    EXPECT_EQ(dlg.calls["F2"], 1);
    EXPECT_EQ(dlg.calls["F8"], 1);
    EXPECT_EQ(dlg.calls["refresh"], 1);

    // The doctor list refreshes when a choice is made, once its drop-down
    // has closed: not inside the signal.
    dlg.Doctors().AddString("Dr. A");
    emit dlg.DoctorBox()->activated(0);
    EXPECT_EQ(dlg.calls["refresh"], 1);
    QApplication::processEvents();
    EXPECT_EQ(dlg.calls["refresh"], 2);

    QTableWidget* list = dlg.PatientList();
    list->setRowCount(1);
    list->setItem(0, 0, new QTableWidgetItem(QStringLiteral("Meier, Anna")));
    emit list->cellDoubleClicked(0, 0);
    EXPECT_EQ(dlg.calls["F5"], 1);
}

TEST_F(CTamaroDlgTest, ViewButtonsArePushedOneAtATime) {
    EXPECT_TRUE(dlg.VelundaButton()->isChecked());
    dlg.ArchiveButton()->click();
    EXPECT_TRUE(dlg.ArchiveButton()->isChecked());
    EXPECT_FALSE(dlg.VelundaButton()->isChecked());
    dlg.ArchiveButton()->click();
    EXPECT_TRUE(dlg.ArchiveButton()->isChecked());
    dlg.VelundaButton()->click();
    EXPECT_TRUE(dlg.VelundaButton()->isChecked());
    EXPECT_EQ(dlg.calls["archiv"], 2);
    EXPECT_EQ(dlg.calls["velunda"], 1);
}

TEST_F(CTamaroDlgTest, EnterDoesNotCloseTheWindowEscapeDoes) {
    dlg.NameFilter()->setFocus();
    QTest::keyClick(dlg.NameFilter(), Qt::Key_Return);
    QTest::keyClick(dlg.PatientList(), Qt::Key_Enter);
    EXPECT_TRUE(dlg.isVisible());
    QTest::keyClick(dlg.PatientList(), Qt::Key_Escape);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
}

TEST_F(CTamaroDlgTest, PickersTakeStoredSeconds) {
    const time_t t = time_t(QDateTime(QDate(1990, 1, 1), QTime(0, 0)).toSecsSinceEpoch());
    dlg.SetPickerTime(1004, t);
    EXPECT_EQ(dlg.PickerTime(1004), t);
    EXPECT_EQ(dlg.Picker(1004)->text(), QStringLiteral("01.01.1990"));
    EXPECT_EQ(dlg.Picker(1008), nullptr);
    // Pickers start at today.
    EXPECT_EQ(dlg.Picker(1020)->date(), QDate::currentDate());
}

TEST_F(CTamaroDlgTest, WindowMenuOpensTheAboutBox) {
    std::unique_ptr<QMenu> menu(dlg.CreateSystemMenu(nullptr));
    ASSERT_EQ(menu->actions().size(), 3);
    EXPECT_EQ(menu->actions()[0]->text(), QString::fromUtf8("&Info über Tamaro..."));
    EXPECT_EQ(menu->actions()[1]->text(), QString::fromUtf8("&Datenbestand prüfen…"));
    EXPECT_EQ(menu->actions()[2]->text(),
              QString::fromUtf8("&Patientenakte exportieren…\tUmschalt+F5"));
    QString version, description;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* about = QApplication::activeModalWidget();
        if (!about) return;
        poll.stop();
        EXPECT_EQ(about->objectName(), QStringLiteral("100"));
        if (auto* label = about->findChild<QLabel*>(QStringLiteral("version")))
            version = label->text();
        if (auto* label = about->findChild<QLabel*>(QStringLiteral("description")))
            description = label->text();
        about->close();
    });
    poll.start(10);
    // The box opens once the menu's own handling is over, not inside it.
    menu->actions()[0]->trigger();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !version.isEmpty() && !poll.isActive(); }));
    EXPECT_EQ(version, QStringLiteral("Tamaro V%1.%2")
                           .arg(TAMARO_VERSION_MAJOR)
                           .arg(TAMARO_VERSION_MINOR, 2, 10, QLatin1Char('0')));
    EXPECT_EQ(CAboutDlg::VersionText(), QStringLiteral("Tamaro V1.38"));
    EXPECT_TRUE(description.startsWith(QString::fromUtf8("Patientenarchivierung für Velunda")))
        << description.toStdString();
}

// Draws a filled window; TAMARO_UI_GRAB names a PNG file to keep the picture.
TEST_F(CTamaroDlgTest, RendersOffscreen) {
    SetLogSink(dlg.Log());
    AppendLog("Initialisierung...", ColourBlue);
    AppendLog("\x95 Tamaro V1.38");
    AppendLog("\x95 Keine Velunda-Installation auf diesem Rechner gefunden.", ColourRed);
    AppendLog("Velunda: 1234 Patienten", ColourCount);
    AppendLog("Bereit (0.412s)\r\n", ColourReady);
    SetLogSink(nullptr);
    PatientListControl& rows = dlg.PatientRows();
    const char* texts[][3] = {{"Becker, Jana", "Kasse", "07.03.2011"},
                              {"M\xfcller, Hans", "Privat", "---"},
                              {"O'Neill, Sean", "BG", "21.11.2019"}};
    for (int r = 0; r < 3; ++r) {
        rows.InsertItem(r, texts[r][0]);
        rows.SetItemText(r, 1, texts[r][1]);
        rows.SetItemText(r, 2, texts[r][2]);
        rows.SetCheck(r, r != 1);
    }
    QTableWidget* list = dlg.PatientList();
    dlg.Doctors().AddString("Alle");
    dlg.Doctors().SetCurSel(0);
    dlg.SizeListColumns();
    QApplication::processEvents();
    EXPECT_EQ(list->columnWidth(0) + list->columnWidth(1) + list->columnWidth(2),
              list->viewport()->width());
    EXPECT_GT(list->columnWidth(2),
              list->fontMetrics().horizontalAdvance(QStringLiteral("07.03.2011")));
    const QPixmap shot = dlg.grab();
    EXPECT_EQ(shot.size(), dlg.size() * shot.devicePixelRatio());
    if (const char* path = std::getenv("TAMARO_UI_GRAB")) {
        EXPECT_TRUE(shot.save(QString::fromLocal8Bit(path)));
    }
}

}  // namespace
