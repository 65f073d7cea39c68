// The gate in front of work that must not overlap a run of this practice
// (archive, restore, delete), from this or any other workstation: the run
// lock "Tamaro.lock", the journal that an interrupted run leaves, and on
// Firebird the other connections to the run's databases.
#pragma once

#include <string>

#include "archive/safety/RunLock.h"

struct ArchiveDbPair;

class RunGate {
  public:
    RunGate() = default;
    RunGate(const RunGate&) = delete;
    RunGate& operator=(const RunGate&) = delete;

    // As a run is let in: takes the lock, and refuses with a message box
    // while another holds it (naming its user and workstation), when the
    // lock file cannot be made, while an interrupted run's journal is
    // unresolved (saying what a start or an administrator must do first),
    // and on Firebird while other connections use the databases of source
    // and target (naming them; when they cannot be read, a red line says so
    // and the run goes on). True when it may go on; the lock is then held
    // until the gate ends.
    bool AdmitRun(ArchiveDbPair* source, ArchiveDbPair* target);

    // As work that only reads is let in: refuses (the same message box) only
    // while another holds the lock. Takes the lock when it can, so that no
    // run starts halfway through the reading; a lock file that cannot be
    // made (a folder the user may not write) is no refusal.
    bool AdmitReader();

    bool Held() const { return lock_.Held(); }
    void Release() { lock_.Release(); }

  private:
    RunLock lock_;
};
