// The commit sequence of a run and finishing it when it was cut short.
//
// The run's databases commit one by one, the target's first, then the
// source's. Before each commit the journal names the database that is about
// to commit, so that a start after an interruption can tell what happened:
// a database named committed has committed; for the one that was about to,
// and for any the journal could not record, the database's own tables tell,
// by the fingerprints the journal keeps of the run's rows (RowPrint).
//
// A database that has not committed still holds its state before the run;
// its part of the run is done again in a transaction of its own - but only
// where its tables hold exactly the fingerprinted rows and the committed
// target holds the same rows, so that nothing another program did since is
// overwritten or lost. Short faults (a lost connection, a lock, a busy file)
// are tried again for two minutes before anything is given up.
#pragma once

#include <cstdint>
#include <string>

#include "archive/safety/RunJournal.h"

struct ArchiveDbPair;

// Faults that pass: a connection lost or refused (SQLSTATE class 08), a
// lock or serialization conflict (40001), a time-out (HYT00, HYT01).
bool IsShortFault(const std::string& sqlState);

// Trying a database again after short faults: for up to two minutes from
// the first fault, with pauses growing from 1 s to 30 s. Each try is a line
// in the log, and the run's progress display shows the wait.
class ShortFaultRetry {
  public:
    explicit ShortFaultRetry(RunKind kind) : verb_(RunVerb(kind)) {}

    // After a failed try at file: logs "• <file>: <reason> Neuer Versuch in
    // <n> s." and waits. False, without a line or a wait, once the two
    // minutes are over.
    bool Wait(const std::string& file, const std::string& reason);

  private:
    std::string verb_;
    uint64_t first_ = 0;  // TickCount of the first fault; 0 before it
    int tries_ = 0;
};

enum class CommitResult {
    Committed,
    Refused,  // failed for good: the transaction is rolled back (TransactionError says why)
    Lost      // the connection broke while committing, or a commit succeeded only
              // after a failed try: closed; whether the commit arrived, the
              // database's tables tell (DatabaseState)
};
// Commits db's transaction, trying again after short faults while the
// transaction lives.
CommitResult CommitWithRetry(ArchiveDbPair& db, ShortFaultRetry& retry);

// Opens db again without a line in the log (Connect would write red ones
// while a server restarts), trying again after each failure. False once the
// retry gives up; a red line then names the database.
bool Reconnect(ArchiveDbPair& db, ShortFaultRetry& retry);

// Records in the journal, synced, that file is about to commit. False (a red
// line) when the journal cannot be written: nothing may be committed then.
bool RecordCommitting(RunJournal& journal, const std::string& file);

enum class DbState {
    Before,  // as before the run: a source database holds the fingerprinted rows
             // in every table, a target database none of the run's rows
    After,   // as the run leaves it: a source database holds none of the run's
             // rows, a target database the fingerprinted rows in every table
    Untouched,  // the run has no rows there: before and after are the same
    Differs     // neither, or not readable: each difference is a red line
};
// What db, a connected database of the run's source or target side, holds
// of the run's patients, against the journal. A difference names the table,
// the patient and what differs, where the other side holds the run's rows
// to compare with; otherwise the table and its figures.
DbState DatabaseState(const RunJournal& journal, ArchiveDbPair& db, ArchiveDbPair* source,
                      ArchiveDbPair* target);

enum class ForwardResult {
    Finished,          // every database has committed
    NothingCommitted,  // no database had committed: every one is as before the run
    Stopped,           // a step failed or a database stayed out of reach: try again later
    Differs            // the databases are neither before nor after the run (named in red)
};
// Finishes the run of journal: works out which databases have committed
// (the journal's list and the tables of the others), then does the part of
// every other one again and commits it, each commit recorded in the journal
// first. source and target are the run's two sides, connected, without open
// transactions.
ForwardResult FinishForward(RunJournal& journal, ArchiveDbPair* source, ArchiveDbPair* target);
