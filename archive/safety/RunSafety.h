// What keeps a run (archive, restore, delete) safe beyond its file backups:
// one run at a time per practice (RunLock); one transaction per database for
// the run's changes, committed only at the end in a fixed order, target
// first, then each source; a journal that records every stage, so that the
// next start can tell what an interruption left (RunJournal, RunRecovery);
// and a roll-back that is the engines' own: once they have rolled the
// run's transactions back, nothing is put back from the backups, since other
// programs may have saved work in those files meanwhile. A backup is the
// last resort for a database whose engine could not roll back.
//
// A run calls, in this order: Admit (refusals are message boxes, before the
// run writes anything), Backup, Begin, then either Commit and Finish
// (success), or Discard (failure before any change), or RollBack (failure
// after a change).
#pragma once

#include <string>
#include <vector>

#include "archive/safety/RunGate.h"
#include "archive/safety/RunJournal.h"

struct ArchiveDbPair;

class RunSafety {
  public:
    // target is null for a deletion, which changes one side only. The lists
    // are the ones the run was started with.
    RunSafety(RunKind kind, ArchiveDbPair* source, ArchiveDbPair* target,
              const std::string& pidList);
    // A transaction still open is rolled back.
    ~RunSafety();
    RunSafety(const RunSafety&) = delete;
    RunSafety& operator=(const RunSafety&) = delete;

    // Every refusal a run makes before its backups, in one place, so that
    // the preview (which calls it too) refuses exactly what the run would:
    // with a message box, a pid list naming a patient twice, a run while
    // another holds the lock (naming its user and workstation), a run while
    // an interrupted run's journal is unresolved (saying what a start or an
    // administrator must do first), on Firebird a run while other
    // connections use the databases (naming them; when they cannot be read,
    // a red line says so and the run goes on), and a restore while the
    // patients' archived rows hold values in a column Velunda has dropped.
    // True when the run may start; the lock is then held until this object
    // ends.
    bool Admit();
    // Writes the journal, backs up the source files, then the target files,
    // and records the backups. False when any of it failed: nothing has
    // changed, and Discard is to follow.
    bool Backup();
    // Opens the run's transaction on every database of both sides. False
    // (logged in red) when a database refuses: Discard is to follow.
    bool Begin();

    enum class Outcome {
        Committed,         // every database committed: Finish is to follow
        NothingCommitted,  // the first commit failed: RollBack is to follow
        Interrupted        // committed in part and not finished: the journal stays
    };
    // The commit sequence. counts are the rows of the run's patients per
    // source table (copied by a transfer, deleted by a deletion) with their
    // fingerprints. The journal names each database before it commits; a
    // journal that cannot be written stops the sequence (before the first
    // commit the run is rolled back whole). Short faults are tried again
    // for two minutes. A commit that fails for good inside the sequence
    // rolls back what is not committed and settles the run from the journal
    // and the tables (RunResolution): forward, or back when forward would
    // lose what another program saved meanwhile (the outcome is then
    // NothingCommitted); when neither can be done, the journal is kept for
    // the next start and runs are refused. Once the run is settled, rows of
    // its patients that the side they left holds again (written by another
    // program in the meantime) are named in red (ReportLateRows).
    Outcome Commit(const std::vector<TableCount>& counts);
    // After Commit: removes the backups and the journal.
    void Finish();
    // After a failure before any change: ends the transactions, removes the
    // backups and the journal.
    void Discard();
    // After a failure once something changed: rolls every transaction back.
    // That is the roll-back: the backups are removed. Only a database whose
    // roll-back failed and that cannot be opened again (its engine could not
    // discard the run's changes) gets its backup back, where no other
    // process can have written to it since the run began (PutBackIfSafe);
    // otherwise its backup and the journal are kept, named in red, and runs
    // are refused until a start or an administrator has resolved it. True
    // when every database is as before the run.
    bool RollBack();

  private:
    std::vector<ArchiveDbPair*> Databases() const;
    std::vector<ArchiveDbPair*> CommitOrder() const;
    void EndTransactions();
    bool SaveJournal();
    // The commit sequence from the first database that could not commit in
    // its run's transaction: the rest is finished forward.
    Outcome Forward();

    RunKind kind_;
    ArchiveDbPair* source_;
    ArchiveDbPair* target_;
    std::string pidList_;
    RunGate gate_;
    RunJournal journal_;
    bool journalWritten_ = false;
};
