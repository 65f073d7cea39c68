// The start-up maintenance of the archive database (version ladder, schema
// synchronisation, notes migration) changes the archive with statements that
// each commit on their own, some of them schema changes. Whenever it has
// something to change, it therefore runs like a run: under the run lock, with
// a journal and a backup of the archive file. A start killed in the middle of
// it finds the journal, puts the archive back and runs the maintenance again;
// a start with nothing to change makes no backup.
#pragma once

#include "archive/safety/RunJournal.h"
#include "archive/safety/RunLock.h"

struct ArchiveDbPair;

class ArchiveMaintenance {
  public:
    ArchiveMaintenance(ArchiveDbPair* velunda, ArchiveDbPair& archive)
        : velunda_(velunda), archive_(archive) {}
    // Ends the maintenance (End) if Begin started it.
    ~ArchiveMaintenance() { End(); }
    ArchiveMaintenance(const ArchiveMaintenance&) = delete;
    ArchiveMaintenance& operator=(const ArchiveMaintenance&) = delete;

    // Looks whether the maintenance will change the archive (a version below
    // the current one or an unreadable version, a schema that differs from
    // the live one, notes to move). If so, takes the run lock, writes the
    // journal and backs up the archive file. False (a red line says why)
    // when that cannot be done: the maintenance must then not run.
    bool Begin();
    // The maintenance has ended: removes the backup and the journal and lets
    // go of the lock.
    void End();

  private:
    bool HasChanges();

    ArchiveDbPair* velunda_;
    ArchiveDbPair& archive_;
    RunLock lock_;
    RunJournal journal_;
    bool active_ = false;
};
