#include "app/headless/HeadlessLogin.h"

#include <cstdio>
#include <string>

#include "core/ComboBox.h"
#include "core/Cp1252.h"
#include "core/WindowServices.h"
#include "platform/ReadPassword.h"
#include "users/LoginDialogCore.h"

bool HeadlessLogin::TakeArgument(int argc, char** argv, int& i) {
    const std::string arg = argv[i];
    if (arg != "--user" && arg != "--password-file") return false;
    const std::string value = i + 1 < argc ? argv[++i] : "";
    if (arg == "--user") {
        wanted_ = true;
        user_ = cp1252::FromUtf8(value);
    } else {
        passwordFile_ = value;
    }
    return true;
}

bool HeadlessLogin::ReadPassword(std::string& password) const {
    std::string line;
    bool read = false;
    if (!passwordFile_.empty()) {
        if (std::FILE* f = std::fopen(passwordFile_.c_str(), "rb")) {
            read = ReadPasswordLine(f, stderr, "", line);
            std::fclose(f);
        }
        if (!read)
            std::fprintf(stderr, "tamaro: kein Passwort in der Datei \"%s\"\n",
                         passwordFile_.c_str());
    } else {
        // The prompt goes to the terminal, which reads UTF-8.
        read =
            ReadPasswordLine(stdin, stderr, cp1252::ToUtf8("Passwort für " + user_ + ": "), line);
        if (!read) std::fprintf(stderr, "tamaro: kein Passwort auf der Standardeingabe\n");
    }
    password = cp1252::FromUtf8(line);
    return read;
}

bool HeadlessLogin::Show(ODBCConnection& main) {
    if (!wanted_) return true;
    LoginDialogCore dialog(main);
    ComboBoxModel users(true);  // sorted, as the dialog's list
    dialog.OnInitDialog(users);
    int found = -1;
    for (int i = 0; i < users.GetCount() && found < 0; ++i)
        if (users.GetItemText(i) == user_) found = i;
    if (found < 0) {
        ShowError("Der Benutzer wurde nicht gefunden.");
        return false;
    }
    users.SetCurSel(found);
    std::string password;
    if (!ReadPassword(password)) return false;
    confirmed_ = dialog.OnOK(users, password);
    return confirmed_;
}

bool HeadlessLogin::PermitsCommands(bool mainConnected) const {
    if (!mainConnected || confirmed_) return true;
    std::fputs(
        "tamaro: Befehle nur nach der Anmeldung: --user NAME, das Passwort auf der "
        "Standardeingabe oder mit --password-file DATEI\n",
        stderr);
    return false;
}
