// A run's progress, for the displays beside the log (window caption,
// headless terminal line), and its check for a request to end the program:
// SIGTERM, SIGINT or SIGHUP during a run stop it before its commit sequence,
// so that it rolls back and the program can end.
//
// A run reads its tables first (a transfer copies them, a deletion reads
// their fingerprints) and then deletes in the same tables the rows it read.
// The share is worked out from what the run learns as it goes, never from a
// count of its own: that would read whole tables on Firebird only for the
// display. The reading moves the first half table by table, and within a
// table row by row towards its end; the deletion moves the second half by
// the rows the reading found. The share never goes back and reaches the
// whole with the last deletion.
#pragma once

#include <cstdint>
#include <string>

#include "archive/rows/RunKind.h"

struct ArchiveDbPair;

// True when the program was asked to end while a run is under way; the
// first time, a red line says that the run stops for it.
bool StopRequestedDuringRun();

class RunProgressCounter {
  public:
    explicit RunProgressCounter(RunKind kind) : what_(RunVerb(kind)) {}
    ~RunProgressCounter() { End(); }
    RunProgressCounter(const RunProgressCounter&) = delete;
    RunProgressCounter& operator=(const RunProgressCounter&) = delete;

    // The run is about to read every table of list; the display shows 0 %.
    void Start(ArchiveDbPair* list);
    // A row of the table being read is done. False when the program was
    // asked to end.
    bool RowRead();
    // The table being read is done: rows rows were read from it.
    void TableRead(int64_t rows);
    // rows more rows are deleted (one table's deletion). False when the
    // program was asked to end.
    bool Deleted(int64_t rows);
    // The run has ended.
    void End();

  private:
    void Report(bool always);
    bool CheckStop(uint64_t rows);

    std::string what_;
    uint64_t tables_ = 0;
    uint64_t tablesRead_ = 0;
    uint64_t rowsRead_ = 0;     // of the tables done
    uint64_t rowsInTable_ = 0;  // of the table being read
    uint64_t tablesDeleted_ = 0;
    uint64_t rowsDeleted_ = 0;
    uint64_t reported_ = 0;
    uint64_t sinceCheck_ = 0;
    bool active_ = false;
};
