// What keeps a run (archive, restore, delete) safe beyond its file backups:
// one run at a time per practice (RunLock), a journal that lets the next start
// finish an interrupted run (RunJournal), backups that are on the disk before
// anything changes, databases flushed to the disk before the backups go, and
// a roll-back that is all or nothing across both sides.
//
// A run calls, in this order: Admit (refusals are message boxes, before the
// run writes anything), Backup, then either Commit and Finish (success), or
// Discard (failure before any change), or RollBack (failure after a change).
#pragma once

#include <string>

#include "archive/RunJournal.h"
#include "archive/RunLock.h"

struct ArchiveDbPair;

class RunSafety {
  public:
    // target is null for a deletion, which changes one side only. The lists
    // are the ones the run was started with.
    RunSafety(RunKind kind, ArchiveDbPair* source, ArchiveDbPair* target,
              const std::string& pidList);
    RunSafety(const RunSafety&) = delete;
    RunSafety& operator=(const RunSafety&) = delete;

    // Refuses, with a message box, a pid list naming a patient twice, a run
    // while another holds the lock (naming its user and workstation), a run
    // while an interrupted run's journal is unresolved, and on Firebird a run
    // while other connections use the databases (naming them; when they cannot
    // be read, a red line says so and the run goes on). True when the run may
    // start; the lock is then held until this object ends.
    bool Admit();
    // Writes the journal, backs up the source files, then the target files,
    // and marks the backups complete. False when any of it failed: nothing
    // has changed, and Discard is to follow.
    bool Backup();
    // The commit point: every database file is on the disk and the journal
    // says that the run succeeded. False (logged) when it could not be
    // recorded; the run must then roll back.
    bool Commit();
    // After Commit: removes the backups and the journal.
    void Finish();
    // After a failure before any change: removes the backups and the journal.
    void Discard();
    // After a failure once something changed: puts every file of both sides
    // back (all or nothing, PutBackFiles) and reconnects both sides. When a
    // file cannot be put back, every backup and the journal stay, further runs
    // are refused until a start has put them back, and the log says so in
    // red. True when every file is back.
    bool RollBack();

  private:
    // True when the databases are used by no other connection (Firebird).
    bool NoOtherConnections();
    void RemoveBackups();

    RunKind kind_;
    ArchiveDbPair* source_;
    ArchiveDbPair* target_;
    std::string pidList_;
    RunLock lock_;
    RunJournal journal_;
    bool journalWritten_ = false;
};
