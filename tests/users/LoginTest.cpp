// The login and the rights on the main database of a generated practice, of
// both kinds: admin (aid 1), mueller (aid 2, group 3), schmidt (aid 3, groups
// 2 and 3), empfang (aid 4, group 2), the deleted weber. Group 3 holds tokens
// 100..200 (154 among them), group 2 tokens 1..20.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "archive/rows/ColumnText.h"
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

using Texts = std::vector<std::string>;
const Texts kWrongPassword{"Das Passwort ist nicht korrekt."};
const Texts kNoRight{"Sie haben keine Berechtigung für diese Funktion."};

class LoginTest : public testing::TestWithParam<DatabaseKind> {
  protected:
    void SetUp() override {
        testenv::UseBuiltDrivers();
        testenv::IsolateFirebirdLocks();
        const std::string file = std::string("data") + ExtensionOf(GetParam());
        const auto practice = testenv::CachedPractice(Firebird() ? "fdb" : "mdb", 1);
        ASSERT_FALSE(practice.empty()) << "tamaro-mkpractice failed";
        std::filesystem::copy_file(practice / "Database" / file, dir_.path() / file);
        DatabaseDir = ServerPath = dir_.str();
        SetLogSink(&log_);
        SetWindowServices(&boxes_);
        ASSERT_TRUE(Connect(db_)) << log_.Raw();
        CurrentLid = PresetAid = -1;
        TheAuditLog().SetConnection(&db_.Connection);
        TheAuditLog().SetUserId(-1);
        TheAuditLog().SetDoctorId(-1);
        dlg_.OnInitDialog(users_);
    }
    void TearDown() override {
        Fail(nullptr);
        TheAuditLog().SetConnection(nullptr);
        db_.Connection.Disconnect();
        SetWindowServices(nullptr);
        SetLogSink(nullptr);
    }

    bool Firebird() const { return GetParam() == DatabaseKind::Firebird; }
    // The next execution of a statement containing text fails; null: none.
    void Fail(const char* text) {
        if (text) {
            setenv("TAMARO_ODBC_FAIL_AFTER", "0", 1);
            setenv("TAMARO_ODBC_FAIL_MATCH", text, 1);
        } else {
            unsetenv("TAMARO_ODBC_FAIL_AFTER");
        }
    }
    void Exec(const std::string& sql) {
        ODBCStmt stmt(db_.Connection);
        ASSERT_TRUE(stmt.ExecDirect(sql)) << sql;
    }
    // The first row of a query, its columns as text joined by "|".
    std::string Row(const std::string& sql) {
        ODBCStmt stmt(db_.Connection);
        std::string row, text;
        SQLLEN indicator = 0;
        if (!stmt.ExecDirect(sql) || !stmt.Fetch()) return "<none>";
        for (SQLUSMALLINT i = 1; ReadColumnText(stmt.Handle(), i, text, indicator); ++i)
            row += (i > 1 ? "|" : "") + text;
        return row;
    }
    // The sorted names of a freshly filled list.
    Texts Listed() {
        ComboBoxModel users;
        dlg_.OnInitDialog(users);
        Texts names;
        for (int i = 0; i < users.GetCount(); ++i) names.push_back(users.GetItemText(i));
        std::sort(names.begin(), names.end());
        return names;
    }
    // OK with name selected in the list filled at set-up and password typed.
    bool Login(const std::string& name, const std::string& password) {
        users_.SetCurSel(-1);
        for (int i = 0; i < users_.GetCount(); ++i)
            if (users_.GetItemText(i) == name) users_.SetCurSel(i);
        boxes_.Clear();
        return dlg_.OnOK(users_, password);
    }

    testenv::TempDir dir_{"tamaro-login"};
    ArchiveDbPair db_{"Velunda", "data", ""};
    LogRecorder log_;
    ScriptedWindowServices boxes_;
    LoginDialogCore dlg_{db_.Connection};
    ComboBoxModel users_;
};

TEST_P(LoginTest, TwoPassesListTheLiveUsersAndPreselectTheDoctor) {
    ComboBoxModel users;
    PresetAid = 3;
    dlg_.OnInitDialog(users);
    EXPECT_EQ(users.GetItemText(users.GetCurSel()), "schmidt");
    EXPECT_EQ(users.GetItemData(users.GetCurSel()), 3);
    EXPECT_EQ(Listed(), (Texts{"empfang", "mueller", "schmidt"}));

    // A failing first pass is reported; the second lists every live user.
    Fail("where aid>1 and deleted=0");
    EXPECT_EQ(Listed(), (Texts{"admin", "empfang", "mueller", "schmidt"}));
    ASSERT_EQ(boxes_.Texts().size(), 1u);
    EXPECT_EQ(boxes_.Texts()[0].rfind("CLoginDlg::OnInitDialog(1): ", 0), 0u);

    Exec("update passwd set aid=1 where lid>1");
    EXPECT_EQ(Listed(), (Texts{"admin", "empfang", "mueller", "schmidt"}));
    Exec("update passwd set aid=2 where lid=2");
    EXPECT_EQ(Listed(), Texts{"mueller"});
}

TEST_P(LoginTest, PasswordMatchesItsStoredFormByLengthAndBytes) {
    EXPECT_FALSE(Login("mueller", "GEHEIM"));
    EXPECT_EQ(boxes_.Texts(), kWrongPassword);
    EXPECT_EQ(CurrentLid, -1);

    // Byte 5 is stored as 251; a typed byte 10 as byte 0, which must neither
    // end the comparison nor match a shorter stored value.
    Exec("update passwd set passwort='\xFBW' where lid=2");
    EXPECT_TRUE(Login("mueller",
                      "\x05"
                      "a"));
    Exec("update passwd set passwort='W' where lid=2");
    EXPECT_FALSE(Login("mueller", "a\nb"));
    Exec(std::string("update passwd set passwort=") +
         (Firebird() ? "'W'||ascii_char(0)||'X'" : "'W'+chr(0)+'X'") + " where lid=2");
    EXPECT_FALSE(Login("mueller", "a"));
    EXPECT_FALSE(Login("mueller", "a\nc"));
    EXPECT_TRUE(Login("mueller", "a\nb"));
}

TEST_P(LoginTest, RefusedUserIsFollowedByAnotherInTheSameDialog) {
    PresetAid = 4;
    EXPECT_FALSE(Login("empfang", "empfang"));
    EXPECT_EQ(boxes_.Texts(), kNoRight);
    EXPECT_TRUE(TheUserRights().Holds(5));
    EXPECT_EQ(TheAuditLog().UserId(), -1);

    ASSERT_TRUE(Login("mueller", "geheim"));
    EXPECT_FALSE(TheUserRights().Holds(5));  // nothing of empfang's tokens remains
    EXPECT_EQ(std::vector<int32_t>({CurrentLid, PresetAid, TheAuditLog().UserId(),
                                    TheAuditLog().DoctorId(), TheUserRights().TokenCount()}),
              std::vector<int32_t>({2, 2, 2, 2, 201}));
    EXPECT_EQ(Row("select lid, aid, kategorie, notiz from log where notiz like 'Login%'"),
              "2|2|1|Login: mueller");
    ASSERT_TRUE(Login("schmidt", "Praxis'1"));  // two groups, one with the right
}

TEST_P(LoginTest, TokenNumbersBoundTheRights) {
    // Only Firebird reads the count in its cast form; failing that form
    // refuses there and leaves the other kind alone.
    Fail("select cast(max(tid)+1 as integer) from uac_token");
    EXPECT_EQ(Login("mueller", "geheim"), !Firebird());
    Fail(nullptr);

    // Stray numbers neither write outside the flags nor make them huge.
    Exec("insert into uac_token (tid, name) values(2000000000, 'fern')");
    for (const char* tid : {"-5", "70000", "2000000000"})
        Exec(std::string("insert into uac_tid2gid (tid, gid) values(") + tid + ", 3)");
    EXPECT_TRUE(Login("mueller", "geheim"));
    EXPECT_EQ(TheUserRights().TokenCount(), MaxTokenCount);
    EXPECT_FALSE(TheUserRights().Holds(-5) || TheUserRights().Holds(70000));

    Exec("delete from uac_token where tid>153");  // 154 is granted but beyond the count
    EXPECT_FALSE(Login("mueller", "geheim"));
    EXPECT_EQ(boxes_.Texts(), kNoRight);
    Exec("update uac_token set tid=-7-tid");
    EXPECT_FALSE(Login("mueller", "geheim"));
    EXPECT_EQ(TheUserRights().TokenCount(), 0);
}

TEST_P(LoginTest, FailedOrMissingPasswordRowAdmitsNobody) {
    Fail("select passwort, aid, lid from passwd where lid=2");
    EXPECT_FALSE(Login("mueller", "x"));
    ASSERT_EQ(boxes_.Texts().size(), 1u);
    EXPECT_EQ(boxes_.Texts()[0].rfind("CLoginDlg::OnOK(1): ", 0), 0u);
    EXPECT_GT(boxes_.Texts()[0].size(), 20u);  // with the driver's text

    Exec("delete from passwd where lid=2");
    EXPECT_FALSE(Login("mueller", "x"));
    EXPECT_EQ(boxes_.Texts(), Texts{"Der Benutzer wurde nicht gefunden."});
    EXPECT_EQ(std::vector<int32_t>({CurrentLid, PresetAid, TheAuditLog().UserId()}),
              std::vector<int32_t>({-1, -1, -1}));
    EXPECT_EQ(Row("select notiz from log where notiz like 'Login%'"), "<none>");
}

INSTANTIATE_TEST_SUITE_P(Kinds, LoginTest,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access),
                         [](const auto& info) {
                             return info.param == DatabaseKind::Firebird ? "Firebird" : "Access";
                         });

}  // namespace
