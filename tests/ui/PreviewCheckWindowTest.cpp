// The preview (Shift+F4, Shift+F6) and the check of the data ("Datenbestand
// prüfen…" in the window menu) in the real window, on both kinds.
#include <gtest/gtest.h>

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "core/Globals.h"
#include "db/DatabaseSet.h"
#include "tests/ui/WindowFixture.h"

namespace uitest {
namespace {

using PreviewCheckWindowTest = WindowTest;

// The colour in which the window's log shows the first run holding text.
uint32_t ShownColour(CTamaroDlg& w, const std::string& text) {
    for (const LogRun& run : w.Log()->Runs())
        if (run.text.find(text) != std::string::npos) return run.colour;
    ADD_FAILURE() << "not shown: " << text;
    return 0;
}

size_t Count(const std::vector<std::string>& texts, const std::string& prefix) {
    size_t n = 0;
    for (const std::string& t : texts) n += t.rfind(prefix, 0) == 0;
    return n;
}

TEST_P(PreviewCheckWindowTest, ShiftF4AndShiftF6PreviewTheTickedPatientsWithoutAQuestion) {
    CTamaroDlg& w = window_;
    TickOnly({11, 12});
    const size_t before = LogTexts().size();
    QTest::keyClick(w.PatientList(), Qt::Key_F4, Qt::ShiftModifier);
    EXPECT_TRUE(NewBoxes().empty());
    std::vector<std::string> texts = LogTexts();
    texts.erase(texts.begin(), texts.begin() + long(before));
    ASSERT_GE(texts.size(), 27u) << log_.recorder.Raw();
    EXPECT_EQ(texts[0], W("Vorschau: Datentransfer Velunda -> Archiv (2 Patienten)"));
    EXPECT_EQ(ShownColour(w, texts[0]), ColourBlue);
    EXPECT_EQ(texts[1], W("• Velunda.patienten (2 Einträge)"));
    EXPECT_EQ(Count(texts, W("• ")), 24u);
    EXPECT_EQ(texts[25].rfind(W("Gesamt: "), 0), 0u);
    EXPECT_NE(texts[25].find(W(" Einträge würden archiviert werden; es wurde nichts geändert.")),
              std::string::npos);
    // Nothing moved; the list and the buttons are as before.
    EXPECT_EQ(Pids(), (std::vector<int>{10, 11, 12, 13, 14, 15, 16, 21}));
    EXPECT_TRUE(w.FunctionButton(4)->isEnabled());

    QTest::keyClick(w.PatientList(), Qt::Key_F6, Qt::ShiftModifier);
    EXPECT_TRUE(NewBoxes().empty());
    EXPECT_TRUE(LogHas(W("Vorschau: Patienten löschen aus Velunda (2 Patienten)")));
    EXPECT_TRUE(LogHas(W(" Einträge würden gelöscht werden; es wurde nichts geändert.")));
    EXPECT_EQ(Pids(), (std::vector<int>{10, 11, 12, 13, 14, 15, 16, 21}));
}

TEST_P(PreviewCheckWindowTest, MenuEntryChecksTheDataAndShowsFindingsInRed) {
    CTamaroDlg& w = window_;
    QMenu* menu = w.CreateSystemMenu(&w);
    QAction* check = menu->findChild<QAction*>(QStringLiteral("32"));
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(check->text(), QString::fromUtf8("&Datenbestand prüfen…"));

    // Chosen in the window menu as it pops up (deleted once closed), the
    // check starts after the menu's key handling has ended: while the check
    // writes its lines the menu may go (here it is made to), and nothing of
    // it is on the stack any more.
    QContextMenuEvent open(QContextMenuEvent::Keyboard, QPoint(5, 5), w.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(&w, &open);
    QPointer<QMenu> popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_FALSE(popup.isNull());
    bool menuGone = false;
    log_.hook = [&](const std::string& text) {
        if (text.find(W("Datenbestand prüfen (")) == std::string::npos) return;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        menuGone = popup.isNull();
    };
    QTest::keyClick(popup, Qt::Key_D);
    EXPECT_FALSE(LogHas(W("Datenbestand prüfen (")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return LogHas(W("Keine Befunde")); }));
    log_.hook = nullptr;
    EXPECT_TRUE(menuGone);
    EXPECT_TRUE(NewBoxes().empty());
    EXPECT_TRUE(LogHas(W("Datenbestand prüfen (Velunda, Archiv)...")));
    const std::string clean =
        W("Keine Befunde: jeder Patient liegt mit genau einem Patientensatz auf einer Seite.");
    EXPECT_EQ(ShownColour(w, clean), ColourCount);

    // An appointment of patient 12 (in Velunda) in the archive.
    Exec(core_.Databases().Archive, "insert into termine (tid, pid) values (9001, 12)");
    check->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return LogHas(W(" Befunde bei ")); }));
    const std::string both = W("• Patient 12 auf beiden Seiten: Archiv.termine (1 Einträge)");
    EXPECT_TRUE(LogHas(both)) << log_.recorder.Raw();
    EXPECT_EQ(ShownColour(w, both), ColourRed);
    EXPECT_EQ(ShownColour(w, W("• Patient 12 ohne Patientensatz in Archiv: Archiv.termine")),
              ColourRed);
    EXPECT_TRUE(LogHas(W(" Befunde bei 1 Patienten.")));
    delete menu;
}

INSTANTIATE_TEST_SUITE_P(Kinds, PreviewCheckWindowTest, testing::Values("fdb", "mdb"));

}  // namespace
}  // namespace uitest
