// The window by keyboard alone, on the real X server: the login with a wrong
// password first, the filters reached with Tab and dates typed into them,
// the list's keys, and F4 with its question, up to the archived patient.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>

#include "core/Globals.h"
#include "db/ODBCStmt.h"
#include "tests/xvfb/XWindowTest.h"
#include "ui/CLoginDlg.h"
#include "ui/DatePicker.h"

namespace uitest {
namespace {

QDate PickerDate(CTamaroDlg& w, int id) {
    return w.Picker(id)->date();
}

class KeyboardWalkTest : public XLoginWindowTest {
  protected:
    std::vector<Step> LoginSteps() override {
        return {{"login dialog", [] { return Modal<CLoginDlg>() != nullptr; },
                 [this] {
                     CLoginDlg* login = Modal<CLoginDlg>();
                     loginMaximise_ = xdo::OffersMaximise(login);
                     xdo::Focus(login);
                     // Alt+P reaches the password field by its caption.
                     xdo::Key("alt+p");
                     xdo::Type("falsch");
                     xdo::Key("Return");
                 }},
                {"refusal", [] { return Modal<QMessageBox>() != nullptr; },
                 [this] {
                     QMessageBox* box = Modal<QMessageBox>();
                     refusal_ = box->text().toStdString();
                     refusalIcon_ = box->icon();
                     xdo::Focus(box);
                     xdo::Key("Return");
                 }},
                {"password selected",
                 [] {
                     CLoginDlg* login = Modal<CLoginDlg>();
                     return login && QApplication::activeModalWidget() == login;
                 },
                 [this] {
                     CLoginDlg* login = Modal<CLoginDlg>();
                     selectedAfterRefusal_ = login->Password()->selectedText().toStdString();
                     passwordFocused_ = login->focusWidget() == login->Password();
                     xdo::Focus(login);
                     // Typed over the selection, not appended to it.
                     xdo::Type("geheim");
                     xdo::Key("Return");
                 }}};
    }

    std::string refusal_, selectedAfterRefusal_;
    QMessageBox::Icon refusalIcon_ = QMessageBox::NoIcon;
    bool passwordFocused_ = false;
    bool loginMaximise_ = true;
};

TEST_P(KeyboardWalkTest, FromTheLoginThroughTheFiltersToF4) {
    CTamaroDlg& w = window_;
    EXPECT_EQ(refusal_, "Das Passwort ist nicht korrekt.");
    EXPECT_EQ(refusalIcon_, QMessageBox::Critical);
    EXPECT_EQ(selectedAfterRefusal_, "falsch");
    EXPECT_TRUE(passwordFocused_);
    EXPECT_FALSE(loginMaximise_);
    EXPECT_EQ(CurrentLid, 2);

    // The list has the focus; Tab leaves it for the first filter instead of
    // stepping through its cells, and dates go in as typed.
    std::vector<std::string> focus;
    const auto note = [&] { focus.push_back(FocusName()); };
    std::string question;
    int column = -1;
    Play({{"main window", [&] { return QApplication::activeModalWidget() == nullptr; },
           [&] { xdo::Focus(&w); }},
          {"list focused", [&] { return w.isActiveWindow(); },
           [&] {
               note();
               xdo::Key("Tab");
           }},
          {"first picker", [&] { return FocusName() == "1004"; },
           [&] {
               xdo::Type("02.01.2000");
               xdo::Key("Tab");
               xdo::Type("31.12.2022");
               xdo::Key("Tab");
               xdo::Type("1.3.2010");
               xdo::Key("Tab");
               xdo::Type("15.03.2024");
               xdo::Key("Tab");
               // Mohr and Pohl.
               xdo::Type("oh");
               xdo::Key("Tab");  // "Archivierung vom" is disabled in this view
           }},
          {"refresh button", [&] { return FocusName() == "1006"; },
           [&] {
               note();
               log_.recorder.Clear();
               xdo::Key("space");
           }},
          {"filled", [&] { return LogHas(W("Patienten ausgewählt.")) && FocusName() == "1000"; },
           [&] {
               note();
               // End and Home go to the last and the first patient, Right
               // and Left scroll and keep the first column (no cell of the
               // hidden "Dummy"); F3 unticks all, Space ticks the highlighted.
               xdo::Key("End");
           }},
          {"last row", [&] { return window_.PatientRows().GetFirstSelected() == 1; },
           [&] { xdo::Key("Right Right Right Right Home F3 space"); }},
          {"first ticked", [&] { return window_.PatientRows().GetCheck(0); },
           [&] {
               column = w.PatientList()->currentIndex().column();
               xdo::Key("F4");
           }},
          {"question", [] { return Modal<QMessageBox>() != nullptr; },
           [&] {
               question = Modal<QMessageBox>()->text().toStdString();
               xdo::Focus(Modal<QMessageBox>());
               xdo::Key("Return");  // Yes is the default
           }}});
    ASSERT_TRUE(Played());
    EXPECT_EQ(focus, (std::vector<std::string>{"1000", "1006", "1000"}));
    EXPECT_EQ(question.rfind("Wollen Sie die 1 selektierten", 0), 0u) << question;
    EXPECT_EQ(PickerDate(w, 1004), QDate(2000, 1, 2));
    EXPECT_EQ(PickerDate(w, 1007), QDate(2022, 12, 31));
    EXPECT_EQ(PickerDate(w, 1019), QDate(2010, 3, 1));
    EXPECT_EQ(PickerDate(w, 1020), QDate(2024, 3, 15));
    EXPECT_EQ(w.NameFilter()->text(), QStringLiteral("oh"));
    EXPECT_EQ(column, 0);

    ASSERT_TRUE(
        QTest::qWaitFor([&] { return LogHas("Bereit") && Pids() == std::vector<int>{15}; }, 30000))
        << log_.recorder.Raw();
    EXPECT_TRUE(LogHas("Datentransfer Velunda -> Archiv..."));
    ODBCStmt stmt(core_.Databases().Archive.Connection);
    ASSERT_TRUE(stmt.ExecDirect("select pid from patienten"));
    std::vector<int> archived;
    while (stmt.Fetch()) {
        int32_t pid = 0;
        stmt.GetColumnInt(1, pid);
        archived.push_back(pid);
    }
    EXPECT_EQ(archived, std::vector<int>{13});  // Mohr, the first row
}

INSTANTIATE_TEST_SUITE_P(Kinds, KeyboardWalkTest, testing::Values("fdb", "mdb"));

}  // namespace
}  // namespace uitest
