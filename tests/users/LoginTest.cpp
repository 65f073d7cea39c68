// The login and the rights on the main database of a generated practice, of
// both kinds: users admin (aid 1), mueller (aid 2, group 3), schmidt (aid 3,
// groups 2 and 3), empfang (aid 4, group 2 only) and the deleted weber.
// Group 3 holds tokens 100..200 (154 among them), group 2 tokens 1..20.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "core/ComboBox.h"
#include "core/Globals.h"
#include "core/LogRecorder.h"
#include "core/LogSink.h"
#include "core/ScriptedWindowServices.h"
#include "db/ArchiveDbPair.h"
#include "db/DatabaseKind.h"
#include "db/ODBCStmt.h"
#include "tests/fixtures/FirebirdSupport.h"
#include "tests/fixtures/Practice.h"
#include "users/AuditLog.h"
#include "users/LoginDialogCore.h"
#include "users/UserRights.h"

namespace {

namespace fs = std::filesystem;

const std::string kWrongPassword = "Das Passwort ist nicht korrekt.";
const std::string kNoRight = "Sie haben keine Berechtigung für diese Funktion.";

class LoginTest : public testing::TestWithParam<DatabaseKind> {
  protected:
    void SetUp() override {
        testenv::UseBuiltDrivers();
        testenv::IsolateFirebirdLocks();
        const bool firebird = GetParam() == DatabaseKind::Firebird;
        const fs::path practice = testenv::CachedPractice(firebird ? "fdb" : "mdb", 1);
        ASSERT_FALSE(practice.empty()) << "tamaro-mkpractice failed";
        const std::string file = std::string("data") + ExtensionOf(GetParam());
        fs::copy_file(practice / "Database" / file, dir_.path() / file);
        DatabaseDir = ServerPath = dir_.str();
        SetLogSink(&log_);
        SetWindowServices(&boxes_);
        ASSERT_TRUE(Connect(db_)) << log_.Raw();
        CurrentLid = PresetAid = -1;
        AuditLog& audit = TheAuditLog();
        audit.SetConnection(&db_.Connection);
        audit.SetModuleId(7);
        audit.SetUserId(-1);
        audit.SetDoctorId(-1);
    }
    void TearDown() override {
        NoFault();
        TheAuditLog().SetConnection(nullptr);
        db_.Connection.Disconnect();
        SetWindowServices(nullptr);
        SetLogSink(nullptr);
    }

    // The next execution of a statement containing text fails.
    void FailNext(const char* text) {
        setenv("TAMARO_ODBC_FAIL_AFTER", "0", 1);
        setenv("TAMARO_ODBC_FAIL_MATCH", text, 1);
    }
    void NoFault() {
        unsetenv("TAMARO_ODBC_FAIL_AFTER");
        unsetenv("TAMARO_ODBC_FAIL_MATCH");
    }
    void Exec(const std::string& sql) {
        ODBCStmt stmt(db_.Connection);
        ASSERT_TRUE(stmt.ExecDirect(sql))
            << sql << ": " << db_.Connection.GetErrorText(stmt.Handle());
    }
    // A text of three bytes with a zero byte in the middle, as an SQL expression.
    std::string WithZeroByte(const char* first, const char* last) const {
        return GetParam() == DatabaseKind::Firebird
                   ? std::string("'") + first + "'||ascii_char(0)||'" + last + "'"
                   : std::string("'") + first + "'+chr(0)+'" + last + "'";
    }

    // The list as the dialog fills it, sorted by name, and the selected name.
    std::vector<std::string> Listed(ComboBoxModel& users) {
        std::vector<std::string> names;
        for (int i = 0; i < users.GetCount(); ++i) names.push_back(users.GetItemText(i));
        std::sort(names.begin(), names.end());
        return names;
    }
    bool Select(ComboBoxModel& users, const std::string& name) {
        for (int i = 0; i < users.GetCount(); ++i)
            if (users.GetItemText(i) == name) return users.SetCurSel(i), true;
        return false;
    }
    // One OK in the dialog: select name, type password.
    bool Login(LoginDialogCore& dlg, ComboBoxModel& users, const std::string& name,
               const std::string& password) {
        EXPECT_TRUE(Select(users, name)) << name;
        boxes_.Clear();
        return dlg.OnOK(users, password);
    }
    bool Login(const std::string& name, const std::string& password) {
        LoginDialogCore dlg(db_.Connection);
        ComboBoxModel users;
        dlg.OnInitDialog(users);
        return Login(dlg, users, name, password);
    }
    std::vector<std::string> Boxes() const { return boxes_.Texts(); }

    testenv::TempDir dir_{"tamaro-login"};
    ArchiveDbPair db_{"Velunda", "data", ""};
    LogRecorder log_;
    ScriptedWindowServices boxes_;
};

TEST_P(LoginTest, TwoPassesListTheLiveUsersAndPreselectTheDoctor) {
    using Names = std::vector<std::string>;
    LoginDialogCore dlg(db_.Connection);
    ComboBoxModel users;
    PresetAid = 3;
    dlg.OnInitDialog(users);
    EXPECT_EQ(Listed(users), (Names{"empfang", "mueller", "schmidt"}));
    EXPECT_EQ(users.GetItemText(users.GetCurSel()), "schmidt");
    EXPECT_EQ(users.GetItemData(users.GetCurSel()), 3);
    EXPECT_TRUE(Boxes().empty());

    // A failing first pass is reported; the second lists every live user.
    FailNext("where aid>1 and deleted=0");
    ComboBoxModel all;
    PresetAid = 1;
    dlg.OnInitDialog(all);
    NoFault();
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].rfind("CLoginDlg::OnInitDialog(1): ", 0), 0u) << Boxes()[0];
    EXPECT_EQ(Listed(all), (Names{"admin", "empfang", "mueller", "schmidt"}));
    EXPECT_EQ(all.GetItemText(all.GetCurSel()), "admin");

    Exec("update passwd set aid=1 where lid in (3,4)");
    Exec("update passwd set aid=0 where lid=2");
    ComboBoxModel second;
    dlg.OnInitDialog(second);
    EXPECT_EQ(Listed(second), (Names{"admin", "empfang", "mueller", "schmidt"}));
    Exec("update passwd set aid=2 where lid=2");
    ComboBoxModel one;
    PresetAid = 77;  // nobody's: the first entry
    dlg.OnInitDialog(one);
    EXPECT_EQ(Listed(one), Names{"mueller"});
    EXPECT_EQ(one.GetCurSel(), 0);
}

TEST_P(LoginTest, PasswordMatchesInItsStoredFormByLengthAndBytes) {
    EXPECT_FALSE(Login("mueller", "GEHEIM"));
    EXPECT_EQ(Boxes(), std::vector<std::string>{kWrongPassword});
    EXPECT_EQ(CurrentLid, -1);

    // Below byte 10 the stored form wraps round: 5 is stored as 251.
    EXPECT_EQ(LoginDialogCore::StoredPassword("\x05\x0A"
                                              "a"),
              std::string("\xFB\x00W", 3));
    Exec("update passwd set passwort='\xFBW' where lid=2");
    EXPECT_TRUE(Login("mueller",
                      "\x05"
                      "a"));
    EXPECT_TRUE(Boxes().empty()) << Boxes()[0];

    // A typed byte 10 is stored as byte 0, which must not end the comparison.
    Exec("update passwd set passwort='W' where lid=2");
    EXPECT_FALSE(Login("mueller", "a\nb"));
    EXPECT_EQ(Boxes(), std::vector<std::string>{kWrongPassword});
    Exec("update passwd set passwort=" + WithZeroByte("W", "X") + " where lid=2");
    EXPECT_FALSE(Login("mueller", "a"));
    EXPECT_FALSE(Login("mueller", "a\nc"));
    EXPECT_TRUE(Login("mueller", "a\nb"));
}

TEST_P(LoginTest, ConfirmedLoginSetsTheUserAndWritesTheAuditEntry) {
    PresetAid = 5;
    ASSERT_TRUE(Login("schmidt", "Praxis'1"));  // in two groups, one of them with the right
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(CurrentLid, 3);
    EXPECT_EQ(PresetAid, 3);
    EXPECT_EQ(TheAuditLog().UserId(), 3);
    EXPECT_EQ(TheAuditLog().DoctorId(), 3);
    ODBCStmt stmt(db_.Connection);
    ASSERT_TRUE(
        stmt.ExecDirect("select lid, aid, kategorie, notiz from log where mid=7 and "
                        "notiz like 'Login%'"));
    ASSERT_TRUE(stmt.Fetch());
    int32_t lid = 0, aid = 0, category = 0;
    std::string text;
    stmt.GetColumnInt(1, lid);
    stmt.GetColumnInt(2, aid);
    stmt.GetColumnInt(3, category);
    stmt.GetColumnString(4, text);
    EXPECT_EQ(std::vector<int32_t>({lid, aid, category}), std::vector<int32_t>({3, 3, 1}));
    EXPECT_EQ(text, "Login: schmidt");
    EXPECT_FALSE(stmt.Fetch());
}

TEST_P(LoginTest, RefusedUserCanBeFollowedByAnotherInTheSameDialog) {
    LoginDialogCore dlg(db_.Connection);
    ComboBoxModel users;
    dlg.OnInitDialog(users);
    EXPECT_FALSE(Login(dlg, users, "empfang", "empfang"));
    EXPECT_EQ(Boxes(), std::vector<std::string>{kNoRight});
    EXPECT_TRUE(TheUserRights().Holds(5));  // empfang's group has tokens 1..20
    EXPECT_EQ(TheAuditLog().UserId(), -1);

    ASSERT_TRUE(Login(dlg, users, "mueller", "geheim"));
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(TheUserRights().UserId(), 2);
    EXPECT_EQ(TheUserRights().TokenCount(), 201);
    EXPECT_FALSE(TheUserRights().Holds(5));  // nothing of empfang's tokens remains
    EXPECT_EQ(CurrentLid, 2);
}

TEST_P(LoginTest, TokenCountBoundsTheRights) {
    // The count is read with the cast on Firebird only: failing that form
    // refuses there and leaves the other kind untouched.
    FailNext("select cast(max(tid)+1 as integer) from uac_token");
    EXPECT_EQ(Login("mueller", "geheim"), GetParam() == DatabaseKind::Access);
    NoFault();

    // Stray token numbers neither write outside the flags nor make them huge.
    Exec("insert into uac_token (tid, name) values(2000000000, 'fern')");
    for (const char* tid : {"-5", "70000", "2000000000"})
        Exec(std::string("insert into uac_tid2gid (tid, gid) values(") + tid + ", 3)");
    EXPECT_TRUE(Login("mueller", "geheim"));
    EXPECT_EQ(TheUserRights().TokenCount(), MaxTokenCount);
    EXPECT_FALSE(TheUserRights().Holds(-5));
    EXPECT_FALSE(TheUserRights().Holds(70000));

    // Tokens up to 153 only: nobody has the right, though group 3 is granted 154.
    Exec("delete from uac_token where tid>153");
    EXPECT_FALSE(Login("mueller", "geheim"));
    EXPECT_EQ(Boxes(), std::vector<std::string>{kNoRight});
    Exec("delete from uac_token");
    Exec("insert into uac_token (tid, name) values(-7, 'negativ')");
    EXPECT_FALSE(Login("mueller", "geheim"));
    EXPECT_EQ(TheUserRights().TokenCount(), 0);
}

TEST_P(LoginTest, FailedOrMissingPasswordRowAdmitsNobody) {
    LoginDialogCore dlg(db_.Connection);
    ComboBoxModel users;
    dlg.OnInitDialog(users);
    FailNext("select passwort, aid, lid from passwd where lid=2");
    EXPECT_FALSE(Login(dlg, users, "mueller", "wrong"));
    NoFault();
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].rfind("CLoginDlg::OnOK(1): ", 0), 0u) << Boxes()[0];
    EXPECT_GT(Boxes()[0].size(), std::string("CLoginDlg::OnOK(1): ").size());

    Exec("delete from passwd where lid=2");
    EXPECT_FALSE(Login(dlg, users, "mueller", "wrong"));
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Der Benutzer wurde nicht gefunden."});
    EXPECT_EQ(CurrentLid, -1);
    EXPECT_EQ(PresetAid, -1);
    EXPECT_EQ(TheAuditLog().UserId(), -1);
}

INSTANTIATE_TEST_SUITE_P(Kinds, LoginTest,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access),
                         [](const testing::TestParamInfo<DatabaseKind>& info) {
                             return info.param == DatabaseKind::Firebird ? "Firebird" : "Access";
                         });

}  // namespace
