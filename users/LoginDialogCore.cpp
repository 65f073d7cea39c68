#include "users/LoginDialogCore.h"

#include <string>

#include "core/ComboBox.h"
#include "core/Globals.h"
#include "core/WindowServices.h"
#include "db/ODBCConnection.h"
#include "db/ODBCStmt.h"
#include "db/OdbcResult.h"
#include "users/AuditLog.h"
#include "users/UserRights.h"

namespace {

// All bytes of a text column, zero bytes included: a typed byte 10 is
// stored as byte 0, so the text must not end at the first zero. Null reads
// as the empty text.
bool ReadAllBytes(ODBCStmt& stmt, SQLUSMALLINT n, std::string& out) {
    out.clear();
    char probe[1] = {0};
    SQLLEN length = 0;
    if (!SqlSucceeded(SQLGetData(stmt.Handle(), n, SQL_C_CHAR, probe, 0, &length))) return false;
    if (length == SQL_NULL_DATA || length == 0) return true;
    if (length < 0) return false;
    std::string buffer(size_t(length) + 1, '\0');
    SQLLEN second = 0;
    if (!SqlSucceeded(SQLGetData(stmt.Handle(), n, SQL_C_CHAR, buffer.data(), SQLLEN(buffer.size()),
                                 &second)))
        return false;
    out.assign(buffer.data(), size_t(length));
    return true;
}

}  // namespace

std::string LoginDialogCore::StoredPassword(const std::string& password) {
    std::string stored = password;
    for (char& c : stored) c = char(static_cast<unsigned char>(c) - 10);
    return stored;
}

void LoginDialogCore::OnInitDialog(IComboBox& users) {
    static const char* const passes[] = {
        "select login, lid, aid from passwd where aid>1 and deleted=0",
        "select login, lid, aid from passwd where deleted=0"};
    for (const char* sql : passes) {
        ODBCStmt stmt(connection_);
        if (stmt.ExecDirect(sql)) {
            while (stmt.Fetch()) {
                std::string login;
                int32_t lid = 0, aid = 0;
                stmt.GetColumnString(1, login);
                stmt.GetColumnInt(2, lid);
                stmt.GetColumnInt(3, aid);
                const int index = users.AddString(login);
                users.SetItemData(index, lid);
                if (aid == PresetAid) users.SetCurSel(index);
            }
        } else {
            ShowError("CLoginDlg::OnInitDialog(1): " + connection_.GetErrorText(stmt.Handle()));
        }
        stmt.Reset();
        if (users.GetCount() > 0) break;
    }
    if (users.GetCurSel() < 0 && users.GetCount() > 0) users.SetCurSel(0);
}

bool LoginDialogCore::OnOK(IComboBox& users, const std::string& password) {
    const std::string typed = StoredPassword(password);
    const int selected = users.GetCurSel();
    if (selected < 0) return false;
    const int32_t lid = users.GetItemData(selected);
    const std::string name = users.GetItemText(selected);

    ODBCStmt stmt(connection_);
    // A lookup that fails or finds no row admits nobody: the dialog stays
    // open and the current user stays as it was.
    if (!stmt.ExecDirect("select passwort, aid, lid from passwd where lid=" +
                         std::to_string(lid))) {
        ShowError("CLoginDlg::OnOK(1): " + connection_.GetErrorText(stmt.Handle()));
        stmt.Reset();
        return false;
    }
    if (!stmt.Fetch()) {
        stmt.Reset();
        ShowError("Der Benutzer wurde nicht gefunden.");
        return false;
    }
    // Compared by length and bytes: a zero byte in either form neither ends
    // the comparison early nor lets a shorter stored value match.
    std::string stored;
    if (!ReadAllBytes(stmt, 1, stored) || stored != typed) {
        ShowError("Das Passwort ist nicht korrekt.");
        return false;
    }
    stmt.GetColumnInt(2, PresetAid);
    stmt.GetColumnInt(3, CurrentLid);
    stmt.Reset();

    LoadRights(connection_);
    if (!HasProgramRight()) return false;

    AuditLog& audit = TheAuditLog();
    audit.SetDoctorId(PresetAid);
    audit.SetUserId(CurrentLid);
    WriteAuditEntry(1, "Login: " + name);
    return true;
}
