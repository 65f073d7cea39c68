// The preview of a run: what an archive, restore or delete run would do
// with a set of patients, counted table by table in the run's order, while
// nothing is changed (no backup, journal, history, audit entry or broadcast).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/rows/RunKind.h"

class DatabaseSet;

struct PlannedTable {
    std::string database;  // display name, e.g. "Velunda"
    std::string table;     // as the table list names it
    int64_t rows = 0;      // rows the run would copy (delete: would delete)
};

struct RunPlan {
    std::vector<PlannedTable> tables;  // the run's order
    int64_t total = 0;
    int patients = 0;
};

// Counts the rows of the patients of pidList ("12,40,7") that the run of
// this kind would copy from set.SourceList into set.TargetList (archive,
// restore) or delete from set.SourceList (delete), and writes the preview to
// the progress log: a blue heading, one line per table, the total, the ready
// line. Refused first by the run's own admission (RunSafety::Admit), and
// the lock is held while counting, so that the counts are those of one
// moment. False when refused (message box, nothing logged) or when a table
// could not be counted (red line); plan holds what was counted.
bool PreviewRun(DatabaseSet& set, RunKind kind, const std::string& pidList, RunPlan& plan);

// "archiviert", "restauriert", "gelöscht".
const char* RunParticiple(RunKind kind);
