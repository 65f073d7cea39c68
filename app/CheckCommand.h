// "Datenbestand prüfen…" of the window menu and "--check" of the headless
// mode: the consistency check of both sides (ConsistencyCheck), for a user
// who has logged in, while no other command of the window is at work.
#pragma once

#include "archive/runs/ConsistencyCheck.h"

class CommandHold;
class DatabaseSet;
class IMainView;

class CheckCommand {
  public:
    CheckCommand(DatabaseSet& set, CommandHold& hold) : set_(set), hold_(hold) {}

    // The entry's text in the window menu.
    static const char* const MenuText;

    // Runs the check; loggedIn: the login of the start was confirmed. A
    // missing login is refused with a message box; a run or list fill of
    // this window in progress refuses with a red line. True when the check ran to
    // its end; report.findings says whether it found anything.
    bool Run(IMainView& view, bool loggedIn, CheckReport& report);

  private:
    DatabaseSet& set_;
    CommandHold& hold_;
};
