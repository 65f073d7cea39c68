// The journal of a run, "Tamaro.journal" in the database folder: written
// before the first backup and again at every stage, removed when the run has
// ended. It names the run and its patients, every backup with its size,
// fingerprint, owner, group and mode, the rows the run copied (or, for a
// deletion, deleted) per table, and the databases whose transaction has been
// committed. A journal found at start means that a run was interrupted; its
// stage says how to finish it (see RunRecovery).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/rows/RunKind.h"

enum class RunStage {
    Backup,      // backups being made: no database has changed
    Running,     // backups complete, the run's transactions open: nothing committed
    Committing,  // the commit sequence has begun: Committed names the databases done
    Committed,   // every database committed: only the backups are left to remove
    Unchanged,   // the run failed before any change: only the backups are left
    RolledBack,  // a failed run was rolled back: only the backups are left
    Failed,      // a roll-back owes the put-back of Pending: runs are refused
    Undecided,   // an interrupted commit sequence could not be finished: runs are refused
    CleanUp      // the run has ended (committed or rolled back); only its files are left
};

// One backup "<file>.bak" as it was made.
struct BackupRecord {
    std::string file;  // database file name, e.g. "data.fdb"
    uint64_t size = 0;
    uint64_t hash = 0;  // ContentHash of the whole file
    uid_t uid = 0;      // owner, group and permission bits of the database file
    gid_t gid = 0;
    mode_t mode = 0;
};

// Every refusal of further runs while a run is unresolved ends in one of
// these forms, so that the practice reads the same sentence wherever it
// comes from:
//   "Weitere Vorgänge sind gesperrt, bis <condition>."
std::string RunsLockedUntil(const std::string& condition);
//   "<what Tamaro does at the next start>; bis dahin sind weitere Vorgänge gesperrt."
std::string RunsLockedTillThen(const std::string& nextStart);
//   "Tamaro versucht es beim nächsten Start erneut; bis dahin sind weitere Vorgänge gesperrt."
std::string RetriedAtNextStart();

class RunJournal {
  public:
    enum class LoadResult { Missing, Loaded, Unreadable };

    RunKind kind = RunKind::Archive;
    RunStage stage = RunStage::Backup;
    std::string pids;                      // the run's pid list as given
    std::vector<std::string> sourceFiles;  // database file names in list order
    std::vector<std::string> targetFiles;  // empty for a deletion
    std::string user, host;
    int64_t started = 0;  // seconds since 1970
    std::vector<BackupRecord> backups;
    std::vector<TableCount> counts;
    std::vector<std::string> committed;  // database files committed, in order
    // The database file whose commit was about to be asked for when the
    // journal was last written: whether it committed, its tables tell.
    std::string committing;
    // The interrupted commit sequence is being taken back: the committed
    // targets lose their copies one by one ("committing" then names the
    // target about to commit the removal).
    bool backward = false;
    std::vector<std::string> pending;  // files whose put-back a roll-back owes
    // Database files another program wrote between their backup and the
    // run's begin: their backups may never be put back.
    std::vector<std::string> stale;

    static std::string Path();  // DatabaseDir/Tamaro.journal
    // True when anything bears the journal's name.
    static bool Exists();

    // Writes the journal durably, replacing the file in one step; fsynced.
    bool Save() const;
    bool SetStage(RunStage next);
    LoadResult Load();
    // Removes the journal (and a half-written ".new" copy) durably.
    static bool Remove();

    // Source files first, then target files.
    std::vector<std::string> Files() const;
    // The databases in the order of the commit sequence: target files, then
    // source files.
    std::vector<std::string> CommitOrder() const;
    const BackupRecord* BackupOf(const std::string& file) const;
    bool IsCommitted(const std::string& file) const;
    // For the report: "Archivierung von 3 Patienten, begonnen am 14.11.23
    // 22:13 von Benutzer u auf Rechner h".
    std::string Describe() const;
};
