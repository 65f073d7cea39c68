// The check of a practice's data: every patient's rows should lie on one
// side only (Velunda or the archive), under one patient record ("patienten"
// row) on that side. Reads both sides in full, one grouped count per table
// and side, and compares them in memory; changes nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class DatabaseSet;

enum class CheckFinding {
    BothSides,  // "both": the patient has rows in Velunda and in the archive
    NoPatient,  // "orphan": rows whose patient has no record on their side
    Duplicate,  // "duplicate": more than one record of the patient on one side
    History     // "history": information only, a pid of an archiving run
                // that is on neither side (deleted since, or lost)
};

struct CheckLine {
    CheckFinding finding = CheckFinding::BothSides;
    std::optional<int32_t> pid;  // none: rows without a patient number
    std::string side;            // "Velunda" or "Archiv"
    std::string database;        // display name of the database holding the table
    std::string table;
    int64_t rows = 0;  // history: the number of archiving runs naming the pid
};

struct CheckReport {
    std::vector<CheckLine> lines;  // by finding, then pid, side and table order
    int findings = 0;              // lines that are findings (not History)
    int patients = 0;              // distinct pids among the findings
    int historyPids = 0;           // History lines
    bool started = false;          // the check got past its refusals and read
    bool complete = false;         // every table and the history could be read
};

// The short stable keyword of a finding: "both", "orphan", "duplicate",
// "history".
const char* CheckKeyword(CheckFinding finding);

// Reads both sides of set and writes the report to the progress log: a blue
// heading, one line per table read, each finding in red, each history pid
// as an ordinary line, the summary and the ready line. Every database of
// both sides must be connected. Refuses (message box) while a run holds the
// run lock, and holds the lock itself while reading when it can, so that no
// run starts halfway through. True when the check ran to its end (report
// .complete); report.findings then says whether anything was found.
bool CheckConsistency(DatabaseSet& set, CheckReport& report);
