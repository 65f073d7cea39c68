// The two commands that run on the databases: F4 archives the ticked
// patients out of the Velunda view or restores them out of the archive view,
// F6 deletes them in the view shown. Each checks for running sibling
// programs (Velunda view), builds the pid list, asks, holds the other
// database commands off for the length of the run, and refills the list.
// The headless mode takes the same path with the pids of its command line.
#pragma once

#include <string>

class CommandHold;
class DatabaseSet;
class IMainView;
class PatientList;

class RunCommands {
  public:
    RunCommands(DatabaseSet& set, PatientList& list, CommandHold& hold)
        : set_(set), list_(list), hold_(hold) {}

    // F4 and F6 on the ticked rows.
    void OnTransfer(IMainView& view);
    void OnDelete(IMainView& view);

    // F4 and F6 on the patients of a pid list ("12,40,7") instead of the
    // ticks; the list is refused, naming them, when it gives a patient twice,
    // names one the view's side does not hold, or (Velunda view) one that the
    // list hides for open business. True when the run succeeded. *declined
    // tells whether the question was answered No (and not the list refused
    // before it).
    bool TransferGiven(IMainView& view, const std::string& pids);
    bool DeleteGiven(IMainView& view, const std::string& pids, bool* declined = nullptr);

  private:
    // The question, the run, the refill; true when the run succeeded.
    bool Transfer(IMainView& view, const std::string& verb, const std::string& pids, int count);
    bool Delete(IMainView& view, const std::string& pids, int count, bool* declined = nullptr);
    bool VelundaView() const;

    DatabaseSet& set_;
    PatientList& list_;
    CommandHold& hold_;
};
