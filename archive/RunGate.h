// The gate in front of work that must not overlap a run of this practice
// (archive, restore, delete), from this or any other workstation: the run
// lock "Tamaro.lock" and the journal that an interrupted run leaves.
#pragma once

#include <string>

#include "archive/RunLock.h"

class RunGate {
  public:
    RunGate() = default;
    RunGate(const RunGate&) = delete;
    RunGate& operator=(const RunGate&) = delete;

    // As a run is let in: takes the lock, and refuses with the message box
    // a run shows while another holds it, when the lock file cannot be made,
    // or while an interrupted run's journal is unresolved. True when it may
    // go on; the lock is then held until the gate ends.
    bool AdmitRun();

    // As work that only reads is let in: refuses (the same message box) only
    // while another holds the lock. Takes the lock when it can, so that no
    // run starts halfway through the reading; a lock file that cannot be
    // made (a folder the user may not write) is no refusal.
    bool AdmitReader();

    bool Held() const { return lock_.Held(); }
    void Release() { lock_.Release(); }

    // The refusal while an interrupted run's journal is unresolved.
    static std::string UnfinishedRunText();

  private:
    RunLock lock_;
};
