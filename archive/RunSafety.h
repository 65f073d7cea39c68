// What keeps a run (archive, restore, delete) safe beyond its file backups:
// one run at a time per practice (RunLock); one transaction per database for
// the run's changes, committed only at the end in a fixed order, target
// first, then each source; a journal that records every stage, so that the
// next start can tell what an interruption left (RunJournal, RunRecovery);
// and a roll-back that lets the engines undo the transactions first and
// then renames the backups back only where that is safe.
//
// A run calls, in this order: Admit (refusals are message boxes, before the
// run writes anything), Backup, Begin, then either Commit and Finish
// (success), or Discard (failure before any change), or RollBack (failure
// after a change).
#pragma once

#include <string>
#include <vector>

#include "archive/RunGate.h"
#include "archive/RunJournal.h"

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

    // Refuses, with a message box, a pid list naming a patient twice, a run
    // while another holds the lock (naming its user and workstation), a run
    // while an interrupted run's journal is unresolved (saying what a start
    // or an administrator must do first), and on Firebird a run while other
    // connections use the databases (naming them; when they cannot be read,
    // a red line says so and the run goes on). True when the run may start;
    // the lock is then held until this object ends.
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
    // source table (copied by a transfer, deleted by a deletion). A commit
    // that fails inside the sequence rolls back what is not committed and
    // finishes the run forward (RunForward); when even that cannot be done,
    // the journal is kept for the next start and runs are refused.
    Outcome Commit(const std::vector<TableCount>& counts);
    // After Commit: removes the backups and the journal.
    void Finish();
    // After a failure before any change: ends the transactions, removes the
    // backups and the journal.
    void Discard();
    // After a failure once something changed: rolls every transaction back,
    // then puts each file back from its backup by renaming it, unless
    // another connection holds the database (the engine's roll-back then
    // stands) or the backup is not the one made (kept and reported).
    // Reconnects both sides. A file that the engine could not roll back and
    // that cannot be put back keeps its backup and the journal; further runs
    // are then refused until a start has put it back. True when every
    // database is as before the run.
    bool RollBack();

  private:
    std::vector<ArchiveDbPair*> Databases() const;
    std::vector<ArchiveDbPair*> CommitOrder() const;
    void RemoveBackups(const std::vector<std::string>& keep = {});
    void EndTransactions();
    bool SaveJournal();

    RunKind kind_;
    ArchiveDbPair* source_;
    ArchiveDbPair* target_;
    std::string pidList_;
    RunGate gate_;
    RunJournal journal_;
    bool journalWritten_ = false;
};
