// The window by keyboard alone, on the real X server: every control of the
// login and of the main window reached by Tab, Shift+Tab and the captions'
// mnemonics in the order of the layout, the login with a wrong password
// first, the filters reached with Tab and dates typed into them, the list's
// keys, and F4 with its question, up to the archived patient.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <iostream>

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
    // One step per key: each notes where the focus is and sends its key; the
    // next waits until the focus has moved. seen gets the focus before each
    // key and after the last one.
    std::vector<Step> Walk(const std::string& start, const std::vector<std::string>& keys,
                           std::vector<std::string>& seen) {
        std::vector<Step> steps;
        for (size_t i = 0; i <= keys.size(); ++i) {
            const std::string key = i < keys.size() ? keys[i] : std::string();
            steps.push_back(
                {"walk " + std::to_string(walks_) + " from " + start + ", key " + std::to_string(i),
                 [this, &seen, start, i] {
                     return i == 0 ? FocusName() == start : FocusName() != seen.back();
                 },
                 [this, &seen, key] {
                     seen.push_back(FocusName());
                     if (!key.empty()) xdo::Key(key);
                 }});
        }
        ++walks_;
        return steps;
    }
    static std::vector<std::string> Keys(const std::string& key, int times) {
        return std::vector<std::string>(size_t(times), key);
    }

    std::vector<Step> LoginSteps() override {
        std::vector<Step> steps = {{"login dialog", [] { return Modal<CLoginDlg>() != nullptr; },
                                    [this] {
                                        CLoginDlg* login = Modal<CLoginDlg>();
                                        loginMaximise_ = xdo::OffersMaximise(login);
                                        xdo::Focus(login);
                                    }}};
        // Tab and Shift+Tab round the dialog, Alt+P and Alt+B by the captions.
        std::vector<std::string> keys = Keys("Tab", 4);
        for (const std::string& k : Keys("shift+Tab", 4)) keys.push_back(k);
        keys.push_back("alt+p");
        keys.push_back("alt+b");
        for (Step& step : Walk("1020", keys, loginWalk_)) steps.push_back(std::move(step));
        steps.push_back({"wrong password", [this] { return loginWalk_.size() == 11; },
                         [] {
                             // Alt+P reaches the password field by its caption.
                             xdo::Key("alt+p");
                             xdo::Type("falsch");
                             xdo::Key("Return");
                         }});
        for (Step& step : RefusalSteps()) steps.push_back(std::move(step));
        return steps;
    }

    std::vector<Step> RefusalSteps() {
        return {{"refusal", [] { return Modal<QMessageBox>() != nullptr; },
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

    int walks_ = 0;
    std::vector<std::string> loginWalk_;
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
    EXPECT_EQ(loginWalk_, (std::vector<std::string>{"1020", "1021", "1", "2", "1020", "2", "1",
                                                    "1021", "1020", "1021", "1020"}));

    // Every control of the main window, as it reads: the view buttons and
    // the doctor along the top, the list, the filters from top to bottom
    // ("Archivierung vom" only in the archive view), the refresh button,
    // the log, the function keys; each date picker is one stop.
    std::vector<std::string> forward, backward, mnemonics, archive, back;
    std::vector<Step> walk = {{"main window",
                               [] { return QApplication::activeModalWidget() == nullptr; },
                               [&] { xdo::Focus(&w); }}};
    const auto add = [&](std::vector<Step> steps) {
        for (Step& step : steps) walk.push_back(std::move(step));
    };
    add(Walk("1000", Keys("Tab", 19), forward));
    add(Walk("1000", Keys("shift+Tab", 19), backward));
    add(Walk("1000", {"alt+l", "alt+u", "alt+z", "alt+d", "alt+n"}, mnemonics));
    add(Walk("1008", Keys("shift+Tab", 7), back));
    walk.push_back(
        {"archive view", [&] { return FocusName() == "1003"; }, [&] { xdo::Key("space"); }});
    add(Walk("1000", {"alt+r", "Tab", "shift+Tab", "shift+Tab", "shift+Tab"}, archive));
    walk.push_back({"Velunda view", [&] { return archive.size() == 6 && FocusName() == "1020"; },
                    [&] {
                        xdo::Key(
                            "shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab "
                            "shift+Tab space");
                    }});
    walk.push_back({"Velunda list",
                    [&] { return !core_.Databases().ArchiveIsSource() && FocusName() == "1000"; },
                    [] {}});
    Play(walk);
    const bool walked = Played();
    for (const auto* seen : {&forward, &backward, &mnemonics, &back, &archive}) {
        std::string text;
        for (const std::string& name : *seen) text += name + " ";
        if (!walked) std::cout << "walked: " << text << "\n";
    }
    ASSERT_TRUE(walked);
    const std::vector<std::string> order = {"1000", "1004", "1007", "1019", "1020", "1008", "1006",
                                            "1001", "1009", "1010", "1011", "1012", "1013", "1014",
                                            "1015", "1016", "1002", "1003", "1018", "1000"};
    EXPECT_EQ(forward, std::vector<std::string>(order.begin(), order.end()));
    EXPECT_EQ(backward, std::vector<std::string>(order.rbegin(), order.rend()));
    EXPECT_EQ(mnemonics,
              (std::vector<std::string>{"1000", "1004", "1007", "1019", "1020", "1008"}));
    EXPECT_EQ(back, (std::vector<std::string>{"1008", "1020", "1019", "1007", "1004", "1000",
                                              "1018", "1003"}));
    EXPECT_EQ(archive, (std::vector<std::string>{"1000", "1017", "1006", "1017", "1008", "1020"}));

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
