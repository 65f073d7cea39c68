// Keeps the window's database commands apart. Every line written to the
// progress log lets the window handle its events, so a click can arrive in
// the middle of a run (archive, restore, delete) or of a list fill. While a
// run is in progress nothing else may reach the databases that it backs up
// and rewrites: the controls that would (the view buttons, refresh, the
// doctor list, F4 to F6) are disabled, and the commands behind them refuse to
// start, also when they come by key, double click or from the headless mode.
// F7 and F8 are disabled too: their dialogs would pause the run unseen.
#pragma once

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

    // Held for the length of one run: disables the controls, and enables
    // them again at the end, whatever the run's outcome.
    class Run {
      public:
        Run(CommandHold& hold, IMainView& view);
        ~Run();
        Run(const Run&) = delete;
        Run& operator=(const Run&) = delete;

      private:
        CommandHold& hold_;
        IMainView& view_;
    };

  private:
    const PatientList& list_;
    bool running_ = false;
};
