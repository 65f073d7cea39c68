// The login of the headless mode: "--user NAME" logs in as the user of that
// login name, as the login dialog lists the users; the password is one line
// of standard input (not echoed on a terminal) or of the file named by
// "--password-file F", never a command-line argument. The dialog's messages
// go wherever the window services print them (standard error).
#pragma once

#include <string>

class ODBCConnection;

class HeadlessLogin {
  public:
    // Takes "--user NAME" or "--password-file F" at argv[i] and advances i
    // past the value; false for any other argument.
    bool TakeArgument(int argc, char** argv, int& i);

    // The login of timer 4 on the main database. Without "--user" nothing is
    // asked and the start goes on (unconfirmed); with it, true only when the
    // login was confirmed.
    bool Show(ODBCConnection& main);

    // The gate in front of every command: while the main database is
    // connected, commands need a confirmed login. Prints the refusal to
    // standard error and returns false otherwise.
    bool PermitsCommands(bool mainConnected) const;

    bool Confirmed() const { return confirmed_; }

  private:
    bool ReadPassword(std::string& password) const;

    bool wanted_ = false;
    std::string user_;  // CP1252
    std::string passwordFile_;
    bool confirmed_ = false;
};
