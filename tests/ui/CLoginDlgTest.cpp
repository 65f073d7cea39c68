// The login dialog on the offscreen platform, over the main database of a
// generated practice (Access kind), and the login at the window's start.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app/MainDialogCore.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "core/ScriptedWindowServices.h"
#include "db/ArchiveDbPair.h"
#include "db/DatabaseKind.h"
#include "db/ODBCStmt.h"
#include "tests/fixtures/Practice.h"
#include "ui/CLoginDlg.h"
#include "ui/CTamaroDlg.h"
#include "ui/ProgressLogWidget.h"
#include "ui/QtMainView.h"
#include "users/AuditLog.h"

namespace {

namespace fs = std::filesystem;

class CLoginDlgTest : public testing::Test {
  protected:
    void SetUp() override {
        testenv::UseBuiltDrivers();
        practice_ = testenv::CachedPractice("mdb", 1);
        ASSERT_FALSE(practice_.empty());
        SetWindowServices(&boxes_);
        CurrentLid = PresetAid = -1;
    }
    void TearDown() override {
        db_.Connection.Disconnect();
        TheAuditLog().SetConnection(nullptr);
        TheAuditLog().SaveAuditFile();
        TheAuditLog().SetDataFolder("");
        SetWindowServices(nullptr);
        SetLogSink(nullptr);
    }
    void ConnectMain() {
        fs::copy_file(practice_ / "Database" / "data.mdb", dir_.path() / "data.mdb");
        DatabaseDir = ServerPath = dir_.str();
        ASSERT_TRUE(Connect(db_));
        TheAuditLog().SetConnection(&db_.Connection);
    }
    void Exec(const std::string& sql) {
        ODBCStmt stmt(db_.Connection);
        ASSERT_TRUE(stmt.ExecDirect(sql)) << sql;
    }

    fs::path practice_;
    testenv::TempDir dir_{"tamaro-login-ui"};
    ArchiveDbPair db_{"Velunda", "data", ""};
    ScriptedWindowServices boxes_;
};

TEST_F(CLoginDlgTest, ControlsSortedListEnterAndEscape) {
    ConnectMain();
    Exec("insert into passwd (lid, login, passwort, aid, deleted) values(8, 'bauer', '', 8, 0)");
    Exec("insert into passwd (lid, login, passwort, aid, deleted) values(9, 'Zander', '', 9, 0)");
    // Alphabetically as German sorts: Ä with A, Ö with O, ß as ss (the logins
    // in code page 1252, as stored).
    int lid = 10;
    for (const char* login : {"\304rztin", "\326hler", "Stra\337er", "Strasser"}) {
        const std::string n = std::to_string(lid++);
        Exec("insert into passwd (lid, login, passwort, aid, deleted) values(" + n + ", '" + login +
             "', '', " + n + ", 0)");
    }
    PresetAid = 99;  // nobody's: the alphabetically first user
    CLoginDlg dlg(db_.Connection);
    EXPECT_EQ(dlg.objectName() + " " + dlg.windowTitle(), QStringLiteral("103 Tamaro - Login"));
    EXPECT_EQ(dlg.findChild<QComboBox*>(QStringLiteral("1020")), dlg.UserList());
    EXPECT_EQ(dlg.findChild<QLineEdit*>(QStringLiteral("1021")), dlg.Password());
    EXPECT_EQ(dlg.Password()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dlg.findChild<QLabel*>(QStringLiteral("caption1020"))->text(), "&Benutzer:");
    EXPECT_EQ(dlg.findChild<QLabel*>(QStringLiteral("caption1021"))->text(), "&Passwort:");
    EXPECT_EQ(dlg.findChild<QPushButton*>(QStringLiteral("1"))->text(), "OK");
    EXPECT_TRUE(dlg.OkButton()->isDefault());
    EXPECT_EQ(dlg.findChild<QPushButton*>(QStringLiteral("2"))->text(), "Abbruch");
    QComboBox* list = dlg.UserList();
    QStringList entries;
    for (int i = 0; i < list->count(); ++i)
        entries << list->itemText(i) + "=" + list->itemData(i).toString();
    EXPECT_EQ(entries, QStringList({QString::fromUtf8("Ärztin=10"), "bauer=8", "empfang=4",
                                    "mueller=2", QString::fromUtf8("Öhler=11"), "schmidt=3",
                                    "Strasser=13", QString::fromUtf8("Straßer=12"), "Zander=9"}));
    EXPECT_EQ(list->currentIndex(), 0);

    // Enter is OK: a wrong password keeps the dialog open as it was.
    dlg.show();
    list->setCurrentIndex(list->findText(QStringLiteral("mueller")));
    QTest::keyClicks(dlg.Password(), QStringLiteral("falsch"));
    QTest::keyClick(dlg.Password(), Qt::Key_Return);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"Das Passwort ist nicht korrekt."});
    EXPECT_EQ(dlg.Password()->text(), QStringLiteral("falsch"));
    dlg.Password()->setText(QStringLiteral("geheim"));
    QTest::keyClick(list, Qt::Key_Enter);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(CurrentLid, 2);

    CLoginDlg again(db_.Connection);
    again.show();
    QTest::keyClick(again.Password(), Qt::Key_Escape);
    EXPECT_FALSE(again.isVisible());
    EXPECT_EQ(again.result(), QDialog::Rejected);
}

// The start of the window with a practice: timer 4 shows the login, whose
// answer is given by `answer` as soon as the dialog is up.
class WindowStartTest : public CLoginDlgTest {
  protected:
    void Start(const std::function<void(CLoginDlg&)>& answer) {
        fs::copy(practice_ / "Database", dir_.path() / "Database", fs::copy_options::recursive);
        testenv::RegisterVelunda(dir_.path());
        testenv::TempDir program("tamaro-prog");
        testenv::MakeProgramDir(program.path());
        const fs::path oldCwd = fs::current_path();
        fs::current_path(program.path());

        CTamaroDlg window;
        SetLogSink(window.Log());
        MainDialogCore core;
        core.ShowLogin = [&window](ODBCConnection& c) { return CLoginDlg::Run(c, &window); };
        // The doctor each fill of the doctor list selects, and the end of the
        // patient list's fill.
        QObject::connect(window.DoctorBox(), &QComboBox::currentIndexChanged, [&](int index) {
            if (index >= 0) aidAtDoctorList_.push_back(window.Doctors().GetItemData(index));
        });
        auto listFilled = [&] {
            return window.Log()->toPlainText().contains(QStringLiteral("Patienten ausgewählt."));
        };
        QtMainView view(window, [&core](int id) { core.OnTimer(id); });
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* login = qobject_cast<CLoginDlg*>(QApplication::activeModalWidget())) {
                poll.stop();
                answer(*login);
            }
        });
        poll.start(20);
        window.show();
        ASSERT_TRUE(core.OnInitDialog(view));
        EXPECT_TRUE(QTest::qWaitFor([&] { return listFilled() || !window.isVisible(); }, 20000));
        listFilled_ = listFilled();
        windowResult_ = window.isVisible() ? -1 : window.result();
        core.OnDestroy();
        SetLogSink(nullptr);
        fs::current_path(oldCwd);
    }

    std::vector<int32_t> aidAtDoctorList_;
    bool listFilled_ = false;
    int windowResult_ = -1;
};

TEST_F(WindowStartTest, CancelledLoginEndsTheProgram) {
    Start([](CLoginDlg& login) { QTest::keyClick(login.Password(), Qt::Key_Escape); });
    EXPECT_EQ(windowResult_, QDialog::Rejected);
    EXPECT_FALSE(listFilled_);
    // Only the fill of the start-up, without a preselected doctor: the first.
    EXPECT_EQ(aidAtDoctorList_, std::vector<int32_t>{2});
}

TEST_F(WindowStartTest, ConfirmedLoginRefillsTheDoctorListForTheUser) {
    PresetAid = 4;  // "AID=4": empfang is preselected, the login replaces it
    Start([](CLoginDlg& login) {
        login.UserList()->setCurrentIndex(login.UserList()->findText(QStringLiteral("schmidt")));
        QTest::keyClicks(login.Password(), QStringLiteral("Praxis'1"));
        QTest::keyClick(login.Password(), Qt::Key_Return);
    });
    EXPECT_TRUE(listFilled_);
    EXPECT_EQ(aidAtDoctorList_, (std::vector<int32_t>{4, 3}));
    EXPECT_EQ(windowResult_, -1);  // the window is still open
}

}  // namespace
