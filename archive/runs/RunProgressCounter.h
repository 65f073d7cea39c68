// A run's progress in rows, for the displays beside the log (window caption,
// headless terminal line), and its check for a request to end the program:
// SIGTERM, SIGINT or SIGHUP during a run stop it before its commit sequence,
// so that it rolls back and the program can end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

    // The rows of the patients in every table of list, times passes (a
    // transfer copies and deletes every row), make the whole. A count that
    // fails leaves the whole unknown; the run goes on. Always true.
    bool CountRows(ArchiveDbPair* list, const std::vector<std::string>& pidParts, int passes);
    // rows more are done. False when the program was asked to end.
    bool Step(int64_t rows);
    // The run has ended.
    void End();

  private:
    std::string what_;
    uint64_t total_ = 0;
    uint64_t done_ = 0;
    uint64_t reported_ = 0;
    uint64_t sinceCheck_ = 0;
    bool active_ = false;
};
