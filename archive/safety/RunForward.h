// The commit sequence's tools: the faults that pass and their retry, a
// commit tried again, a database connected again, and the journal written
// before each commit.
//
// The run's databases commit one by one, the target's first, then the
// source's. Before each commit the journal names the database that is about
// to commit, so that a start after an interruption can tell what happened
// (RunResolution). Short faults (a lost connection, a lock, a busy file)
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
