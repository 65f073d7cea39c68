// The login dialog without its window: the user list from Velunda's table
// "passwd" and the checks behind OK (password, the program's right). The Qt
// dialog CLoginDlg and the headless login drive it with their own list.
#pragma once

#include <string>

class IComboBox;
class ODBCConnection;

class LoginDialogCore {
  public:
    // connection: the main Velunda database, not owned.
    explicit LoginDialogCore(ODBCConnection& connection) : connection_(connection) {}

    // Fills users with the live accounts; those with a doctor id of 1 or less
    // only when no other account is live. Each entry carries its lid; the
    // entry of the preselected doctor id is selected, else the first.
    void OnInitDialog(IComboBox& users);

    // Checks the typed password (CP1252) of the selected user and the
    // program's right. True when the login is confirmed: the current user
    // and the audit log's user are set and "Login: <name>" is written. False
    // keeps the dialog open; every refusal has been shown in a message box.
    bool OnOK(IComboBox& users, const std::string& password);

    // Stored form of a password: every byte lowered by 10, modulo 256.
    static std::string StoredPassword(const std::string& password);

  private:
    ODBCConnection& connection_;
};
