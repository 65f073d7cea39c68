// The journal of a run, "Tamaro.journal" in the database folder, on the model
// of a hot journal: written before the first backup, updated when the
// backups are complete and again at the commit point, removed when the run
// has ended. A journal found at start means that a run was interrupted; its
// stage says how to finish it (see RunRecovery).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class RunKind { Archive, Restore, Delete };

enum class RunStage {
    Backup,     // backups being made: no database has changed yet
    Changing,   // every backup is complete; the databases may have changed
    Committed,  // the run succeeded: only the backups are left to remove
    Unchanged,  // the run failed before any change: only the backups are left
    Restored,   // a roll-back put every file back: only the backups are left
    Failed      // a roll-back could not put every file back: nothing is removed
};

class RunJournal {
  public:
    enum class LoadResult { Missing, Loaded, Unreadable };

    RunKind kind = RunKind::Archive;
    RunStage stage = RunStage::Backup;
    std::string pids;                      // the run's pid list as given
    std::vector<std::string> sourceFiles;  // database file names, e.g. "data.fdb"
    std::vector<std::string> targetFiles;  // empty for a deletion
    std::string user, host;
    int64_t started = 0;  // seconds since 1970

    static std::string Path();  // DatabaseDir/Tamaro.journal
    static bool Exists();

    // Writes the journal durably, replacing the file in one step.
    bool Save() const;
    bool SetStage(RunStage next);
    LoadResult Load();
    // Removes the journal (and a half-written ".new" copy) durably.
    static bool Remove();

    // Source files first, then target files.
    std::vector<std::string> Files() const;
    // For the report: "Archivierung von 3 Patienten, begonnen am 14.11.23
    // 22:13 von Benutzer u auf Rechner h".
    std::string Describe() const;
};
