// Keeps the window's database commands apart. Every line written to the
// progress log lets the window handle its events, so a click can arrive in
// the middle of a run (archive, restore, delete) or of a list fill. While a
// run is in progress nothing else may reach the databases that it backs up
// and rewrites: the controls that would (the view buttons, refresh, the
// doctor list, F4 to F6) are disabled, and the commands behind them refuse to
// start, also when they come by key, double click or from the headless mode.
// F7 and F8 are disabled too: their dialogs would pause the run unseen.
#pragma once

#include <string>

class IMainView;
class PatientList;

class CommandHold {
  public:
    explicit CommandHold(const PatientList& list) : list_(list) {}
    CommandHold(const CommandHold&) = delete;
    CommandHold& operator=(const CommandHold&) = delete;

    bool RunInProgress() const { return running_; }
    // True when a command that reaches the databases must not start now: a
    // run is in progress or the patient list is being filled.
    bool Busy() const;
    // Busy() for the command named (as the user knows it, "Liste
    // aktualisieren"): when it must not start now, a red line in the log says
    // so, and the result is true. A refusal is not a box: a box would hold
    // up the run that it waits for.
    bool Refuses(const std::string& command) const;

    // Held for the length of one run: disables the controls, and at the end,
    // whatever the run's outcome, gives each back the state it had before
    // (a command that a start-up problem disabled stays disabled).
    class Run {
      public:
        Run(CommandHold& hold, IMainView& view);
        ~Run();
        Run(const Run&) = delete;
        Run& operator=(const Run&) = delete;

      private:
        CommandHold& hold_;
        IMainView& view_;
        unsigned enabled_ = 0;  // bit i: the i-th held control was enabled
    };

  private:
    const PatientList& list_;
    bool running_ = false;
};

// The refusal line of CommandHold::Refuses.
std::string BusyRefusal(const std::string& command);
