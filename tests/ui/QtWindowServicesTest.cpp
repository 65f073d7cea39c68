// Message boxes, wait cursor, combo-box adapter and date pickers of the Qt
// window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "core/WindowServices.h"
#include "ui/DatePicker.h"
#include "ui/QtComboBox.h"
#include "ui/QtWindowServices.h"

namespace {

class QtWindowServicesTest : public testing::Test {
  protected:
    void SetUp() override { SetWindowServices(&services); }
    void TearDown() override { SetWindowServices(nullptr); }

    // Answers the next message box by clicking the button with the given text;
    // records what the box showed.
    void AnswerNextBox(const QString& button) {
        QTimer::singleShot(0, [this, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            shownTitle = box->windowTitle();
            shownText = box->text();
            for (QAbstractButton* b : box->buttons()) shownButtons << b->text();
            shownDefault = box->defaultButton() ? box->defaultButton()->text() : QString();
            for (QAbstractButton* b : box->buttons())
                if (b->text() == button) b->click();
        });
    }

    QtWindowServices services;
    QString shownTitle, shownText, shownDefault;
    QStringList shownButtons;
};

TEST_F(QtWindowServicesTest, QueuedAnswersComeFirstAndEveryBoxIsRecorded) {
    services.QueueAnswer(MsgResult::No);
    services.QueueAnswer(MsgResult::Yes);
    EXPECT_FALSE(AskYesNo("Erste Frage", true));
    EXPECT_TRUE(AskYesNo("Zweite Frage", false));
    ASSERT_EQ(services.Boxes().size(), 2u);
    EXPECT_EQ(services.Boxes()[0].text, "Erste Frage");
    EXPECT_EQ(services.Boxes()[0].defaultButton, MsgResult::Yes);
    EXPECT_EQ(services.Boxes()[1].buttons, MsgButtons::YesNo);
    EXPECT_EQ(services.Boxes()[1].defaultButton, MsgResult::No);
    EXPECT_EQ(services.Boxes()[1].answer, MsgResult::Yes);
}

TEST_F(QtWindowServicesTest, QuestionBoxShowsTitleTextAndDefaultButton) {
    // CP1252 text as the engine passes it.
    AnswerNextBox(QStringLiteral("&Ja"));
    EXPECT_TRUE(AskYesNo("Wollen Sie die 2 selektierten Eintr\xe4ge wirklich l\xf6schen?", false));
    EXPECT_EQ(shownTitle, QStringLiteral("Tamaro"));
    EXPECT_EQ(shownText,
              QString::fromUtf8("Wollen Sie die 2 selektierten Einträge wirklich löschen?"));
    EXPECT_EQ(shownButtons, (QStringList{QStringLiteral("&Ja"), QStringLiteral("&Nein")}));
    EXPECT_EQ(shownDefault, QStringLiteral("&Nein"));

    AnswerNextBox(QStringLiteral("&Nein"));
    EXPECT_FALSE(AskYesNo("Archivieren?", true));
    EXPECT_EQ(shownDefault, QStringLiteral("&Ja"));
    ASSERT_EQ(services.Boxes().size(), 2u);
    EXPECT_EQ(services.Boxes()[1].answer, MsgResult::No);
}

TEST_F(QtWindowServicesTest, OkBoxHasOneButton) {
    AnswerNextBox(QStringLiteral("OK"));
    ShowMessage("Bitte beenden Sie Velunda");
    EXPECT_EQ(shownText, QStringLiteral("Bitte beenden Sie Velunda"));
    EXPECT_EQ(shownButtons, QStringList{QStringLiteral("OK")});
}

// A failure carries the error symbol, a refusal the warning, a question the
// question mark; no box offers to be maximised.
TEST_F(QtWindowServicesTest, EachKindOfBoxHasItsSymbolAndNoMaximiseButton) {
    std::vector<QMessageBox::Icon> icons;
    std::vector<bool> maximisable;
    const auto inspect = [&](const QString& button) {
        QTimer::singleShot(0, [&, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            icons.push_back(box->icon());
            maximisable.push_back(box->windowFlags() & Qt::WindowMaximizeButtonHint);
            for (QAbstractButton* b : box->buttons())
                if (b->text() == button) b->click();
        });
    };
    inspect(QStringLiteral("OK"));
    ShowError("Das Passwort ist nicht korrekt.");
    inspect(QStringLiteral("OK"));
    ShowWarning("Bitte beenden Sie Velunda");
    inspect(QStringLiteral("OK"));
    ShowMessage("Hinweis");
    inspect(QStringLiteral("&Nein"));
    AskYesNo("Frage?", true);
    EXPECT_EQ(icons,
              (std::vector<QMessageBox::Icon>{QMessageBox::Critical, QMessageBox::Warning,
                                              QMessageBox::Information, QMessageBox::Question}));
    EXPECT_EQ(maximisable, std::vector<bool>(4, false));
    ASSERT_EQ(services.Boxes().size(), 4u);
    EXPECT_EQ(services.Boxes()[0].icon, MsgIcon::Error);
    EXPECT_EQ(services.Boxes()[1].icon, MsgIcon::Warning);
}

TEST_F(QtWindowServicesTest, WaitCursorNestsAndLeavesOtherCursorsAlone) {
    QApplication::setOverrideCursor(Qt::CrossCursor);
    services.EndWaitCursor();  // unbalanced: must not take the cross away
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::CrossCursor);
    {
        WaitCursor outer;
        {
            WaitCursor inner;
            EXPECT_EQ(services.WaitDepth(), 2);
        }
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    EXPECT_EQ(services.WaitDepth(), 0);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::CrossCursor);
    QApplication::restoreOverrideCursor();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(QtComboBoxTest, AddingItemsKeepsTheSelection) {
    QComboBox box;
    QtComboBox combo(&box);
    EXPECT_EQ(combo.AddString("---"), 0);
    combo.SetItemData(0, 0);
    EXPECT_EQ(combo.AddString("Dr. M\xfcller"), 1);  // CP1252
    combo.SetItemData(1, 17);
    EXPECT_EQ(combo.GetCurSel(), -1);
    EXPECT_EQ(combo.GetItemData(combo.GetCurSel()), -1);
    EXPECT_EQ(box.itemText(1), QString::fromUtf8("Dr. Müller"));
    EXPECT_EQ(combo.GetItemText(1), "Dr. M\xfcller");

    combo.SetCurSel(1);
    EXPECT_EQ(combo.AddString("Dr. Zorn"), 2);
    EXPECT_EQ(combo.GetCurSel(), 1);
    EXPECT_EQ(combo.GetItemData(1), 17);
    EXPECT_EQ(box.itemData(1, Qt::UserRole).toInt(), 17);

    combo.SetCurSel(5);
    EXPECT_EQ(combo.GetCurSel(), -1);
    combo.ResetContent();
    EXPECT_EQ(combo.GetCount(), 0);
    EXPECT_EQ(combo.GetCurSel(), -1);
    combo.EnableWindow(false);
    EXPECT_FALSE(box.isEnabled());
    EXPECT_FALSE(combo.IsWindowEnabled());
}

TEST(QtComboBoxTest, SortedBoxInsertsInOrderAndFollowsTheSelection) {
    QComboBox box;
    QtComboBox combo(&box, true);
    combo.AddString("meier");
    combo.AddString("Zimmer");
    combo.SetCurSel(1);
    EXPECT_EQ(combo.AddString("Adam"), 0);
    EXPECT_EQ(combo.GetItemText(combo.GetCurSel()), "Zimmer");
    EXPECT_EQ(combo.AddString("Nagel"), 2);
    EXPECT_EQ(combo.GetItemText(0), "Adam");
    EXPECT_EQ(combo.GetItemText(3), "Zimmer");
}

TEST(DatePickerTest, KeepsTheStoredTimeAndShowsTheDate) {
    DatePicker picker;
    const QDateTime when(QDate(2011, 3, 7), QTime(14, 25, 31));
    picker.SetTime(time_t(when.toSecsSinceEpoch()));
    EXPECT_EQ(picker.GetTime(), time_t(when.toSecsSinceEpoch()));
    EXPECT_EQ(picker.text(), QStringLiteral("07.03.2011"));
    picker.SetTime(0);
    EXPECT_EQ(picker.GetTime(), 0);
}

}  // namespace
