// The controls of the window by keyboard on the real X server: dates typed
// into the pickers (also the ones a typed "." used to skip, and impossible
// ones), Shift+F10 with the window menu and the About box, and the frames
// the dialogs and boxes ask of the window manager.
#include <gtest/gtest.h>

#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPushButton>
#include <QTableWidget>

#include "tests/xvfb/XWindowTest.h"
#include "ui/CAboutDlg.h"
#include "ui/CPatInfoDlg.h"
#include "ui/DatePicker.h"

namespace uitest {
namespace {

using WindowKeysTest = XWindowTest;

TEST_P(WindowKeysTest, DatesAreTakenAsTypedAndImpossibleOnesRefused) {
    CTamaroDlg& w = window_;
    DatePicker* from = w.Picker(1004);
    from->setDate(QDate(2025, 12, 9));
    struct Typed {
        const char* keys;
        QDate date;
    };
    // Each typed over the whole field, as Tab leaves it selected.
    const Typed cases[] = {{"15.03.2005", QDate(2005, 3, 15)},  // was 15.01.1990
                           {"01.01.1990", QDate(1990, 1, 1)},   // was 01.12.2025
                           {"1.3.2005", QDate(2005, 3, 1)},
                           {"7.10.2011", QDate(2011, 10, 7)},
                           {"29.02.2024", QDate(2024, 2, 29)}};
    std::vector<QDate> got;
    std::vector<Step> steps = {{"window", [] { return true; }, [&] { xdo::Focus(&w); }}};
    for (const Typed& c : cases) {
        steps.push_back({c.keys, [&] { return w.isActiveWindow(); },
                         [&, c] {
                             from->setFocus(Qt::TabFocusReason);
                             xdo::Type(c.keys);
                             xdo::Key("Tab");
                         }});
        steps.push_back({"next field", [&] { return FocusName() == "1007"; },
                         [&] { got.push_back(from->date()); }});
    }
    // Impossible dates: refused in a box (leaving by Tab, or Enter), the date
    // held before comes back, and the field keeps the focus.
    std::vector<std::string> refusals;
    std::vector<QMessageBox::Icon> icons;
    for (const char* keys : {"31.02.2005 Tab", "15.13.2005 Return", "01.01.2040 Tab"}) {
        const std::string text(keys, std::string(keys).find(' '));
        const std::string key = std::string(keys).substr(text.size() + 1);
        steps.push_back({text, [&] { return w.isActiveWindow(); },
                         [&, text, key] {
                             from->setFocus(Qt::TabFocusReason);
                             xdo::Type(text);
                             xdo::Key(key);
                         }});
        steps.push_back({"refusal of " + text, [] { return Modal<QMessageBox>() != nullptr; },
                         [&] {
                             refusals.push_back(Modal<QMessageBox>()->text().toStdString());
                             icons.push_back(Modal<QMessageBox>()->icon());
                             xdo::Focus(Modal<QMessageBox>());
                             xdo::Key("Return");
                         }});
        steps.push_back({"back in the field after " + text,
                         [&] { return !Modal<QMessageBox>() && FocusName() == "1004"; },
                         [&] {
                             got.push_back(from->date());
                             xdo::Focus(&w);
                         }});
    }
    boxWatch_.stop();
    Play(steps);
    ASSERT_TRUE(Played());
    EXPECT_EQ(got, (std::vector<QDate>{QDate(2005, 3, 15), QDate(1990, 1, 1), QDate(2005, 3, 1),
                                       QDate(2011, 10, 7), QDate(2024, 2, 29), QDate(2024, 2, 29),
                                       QDate(2024, 2, 29), QDate(2024, 2, 29)}));
    ASSERT_EQ(refusals.size(), 3u);
    EXPECT_EQ(refusals[0],
              "„31.02.2005“ ist kein gültiges Datum.\n\nBitte geben Sie Tag, Monat und Jahr ein "
              "(TT.MM.JJJJ), zwischen dem 01.01.1902 und dem 31.12.2037.");
    EXPECT_EQ(refusals[1].rfind("„15.13.2005“ ist kein", 0), 0u) << refusals[1];
    EXPECT_EQ(refusals[2].rfind("„01.01.2040“ ist kein", 0), 0u) << refusals[2];
    for (QMessageBox::Icon icon : icons) EXPECT_EQ(icon, QMessageBox::Critical);
    // The filter takes the date the field shows.
    EXPECT_EQ(QDateTime::fromSecsSinceEpoch(w.PickerTime(1004)).date(), QDate(2024, 2, 29));
}

TEST_P(WindowKeysTest, ShiftF10OpensTheWindowMenuAndDialogsOfferNoMaximise) {
    CTamaroDlg& w = window_;
    std::string menuEntry, logMenuEntry;
    bool aboutShown = false, aboutMaximise = true, infoMaximise = true, boxMaximise = true,
         printMaximise = true, saveMaximise = true;
    const bool windowMaximise = xdo::OffersMaximise(&w);
    Play({{"window", [] { return true; },
           [&] {
               xdo::Focus(&w);
               w.PatientList()->setFocus(Qt::OtherFocusReason);
           }},
          {"list", [&] { return w.isActiveWindow() && FocusName() == "1000"; },
           [&] { xdo::Key("shift+F10"); }},
          {"window menu", [] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); },
           [&] {
               auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
               menuEntry = menu->objectName().toStdString() + " " +
                           menu->actions().value(0)->text().toStdString();
               xdo::Key("Down Return");
           }},
          {"About box", [] { return Modal<CAboutDlg>() != nullptr; },
           [&] {
               aboutShown = true;
               aboutMaximise = xdo::OffersMaximise(Modal<CAboutDlg>());
               xdo::Focus(Modal<CAboutDlg>());
               xdo::Key("Escape");
           }},
          {"log", [&] { return !Modal<CAboutDlg>(); },
           [&] {
               xdo::Focus(&w);
               w.Log()->setFocus(Qt::OtherFocusReason);
               xdo::Key("shift+F10");
           }},
          {"log menu", [] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); },
           [&] {
               auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
               logMenuEntry = menu->actions().value(0)->text().toStdString();
               xdo::Key("Escape");
           }},
          {"patient information", [] { return !QApplication::activePopupWidget(); },
           [&] {
               xdo::Focus(&w);
               w.PatientList()->setFocus(Qt::OtherFocusReason);
               w.PatientList()->selectRow(1);
               xdo::Key("F5");
           }},
          {"patient dialog", [] { return Modal<CPatInfoDlg>() != nullptr; },
           [&] {
               infoMaximise = xdo::OffersMaximise(Modal<CPatInfoDlg>());
               xdo::Focus(Modal<CPatInfoDlg>());
               xdo::Key("Escape");
           }},
          {"a box", [] { return !Modal<CPatInfoDlg>(); },
           [&] {
               xdo::Focus(&w);
               w.PatientList()->clearSelection();
               xdo::Key("F5");  // nothing highlighted
           }},
          {"box", [] { return Modal<QMessageBox>() != nullptr; },
           [&] {
               boxMaximise = xdo::OffersMaximise(Modal<QMessageBox>());
               xdo::Focus(Modal<QMessageBox>());
               xdo::Key("Return");
           }},
          {"print and save dialogs", [] { return !Modal<QMessageBox>(); },
           [&] {
               xdo::Focus(&w);
               xdo::Key("F7");
           }},
          {"print dialog", [] { return Modal<QPrintDialog>() != nullptr; },
           [&] {
               printMaximise = xdo::OffersMaximise(Modal<QPrintDialog>());
               Modal<QPrintDialog>()->reject();
           }},
          {"save", [] { return !Modal<QPrintDialog>(); },
           [&] {
               xdo::Focus(&w);
               xdo::Key("F8");
           }},
          {"save dialog", [] { return Modal<QFileDialog>() != nullptr; },
           [&] {
               saveMaximise = xdo::OffersMaximise(Modal<QFileDialog>());
               Modal<QFileDialog>()->reject();
           }}});
    boxWatch_.stop();
    ASSERT_TRUE(Played());
    EXPECT_EQ(menuEntry, "SystemMenu &Info über Tamaro...");
    EXPECT_EQ(logMenuEntry, "&Kopieren");
    EXPECT_TRUE(aboutShown);
    EXPECT_TRUE(windowMaximise);
    EXPECT_FALSE(aboutMaximise);
    EXPECT_FALSE(infoMaximise);
    EXPECT_FALSE(boxMaximise);
    EXPECT_FALSE(printMaximise);
    EXPECT_FALSE(saveMaximise);
}

INSTANTIATE_TEST_SUITE_P(Access, WindowKeysTest, testing::Values("mdb"));

}  // namespace
}  // namespace uitest
