// The login dialog (dialog 103, "Tamaro - Login"): the user list (1020,
// sorted), the hidden password field (1021), OK (1, the default button) and
// "Abbruch" (2). Every control carries its dialog id as its object name. The
// list and the checks behind OK are the engine's LoginDialogCore.
#pragma once

#include <QDialog>
#include <memory>

#include "ui/QtComboBox.h"
#include "users/LoginDialogCore.h"

class ODBCConnection;
class QComboBox;
class QLineEdit;
class QPushButton;

class CLoginDlg : public QDialog {
    Q_OBJECT
  public:
    // Fills the user list from connection (the main Velunda database, not owned).
    explicit CLoginDlg(ODBCConnection& connection, QWidget* parent = nullptr);

    // The login of timer 4: the dialog shown modally; true when confirmed.
    static bool Run(ODBCConnection& connection, QWidget* parent);

    QComboBox* UserList() const { return users_; }         // 1020
    QLineEdit* Password() const { return password_; }      // 1021
    QPushButton* OkButton() const { return ok_; }          // 1
    QPushButton* CancelButton() const { return cancel_; }  // 2

    // OK and Enter: ends the dialog only when the login is confirmed.
    void accept() override;

  private:
    LoginDialogCore core_;
    QComboBox* users_ = nullptr;
    QLineEdit* password_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    std::unique_ptr<QtComboBox> usersAdapter_;
};
