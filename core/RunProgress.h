// How far a run (archive, restore, delete) has come, for displays that are
// not the progress log: the window's caption, a line on a headless terminal.
// The run reports rows done against the rows it will handle in all; the log
// keeps its own lines unchanged.
#pragma once

#include <cstdint>
#include <string>

class IRunProgress {
  public:
    virtual ~IRunProgress() = default;
    // what: "Archivieren", "Restaurieren" or "Löschen" (code page 1252);
    // done never exceeds total, total may be 0 (nothing to move).
    virtual void Progress(const std::string& what, uint64_t done, uint64_t total) = 0;
    // The run has ended (committed or rolled back).
    virtual void Finished() = 0;
};

void SetRunProgress(IRunProgress* progress);  // not owned; null reports nowhere
void ReportRunProgress(const std::string& what, uint64_t done, uint64_t total);
// A run that waits (for a database to answer again) shows what it waits
// for instead of a share: "Archivieren: warte auf data.fdb, neuer Versuch in
// 8 s". Reported as Progress with total kRunWaiting.
constexpr uint64_t kRunWaiting = UINT64_MAX;
void ReportRunWait(const std::string& text);
void EndRunProgress();
