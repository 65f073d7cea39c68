// What kind of run is going on and what it moves, table by table: the
// vocabulary that the row-level code, the journal and the runs share.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Maintenance: the start-up maintenance of the archive database (version
// ladder, schema synchronisation, notes), which changes the archive alone.
enum class RunKind { Archive, Restore, Delete, Maintenance };

// What the progress display calls the run: "Archivieren", "Restaurieren",
// "Löschen" or "Wartung" (code page 1252).
const char* RunVerb(RunKind kind);

// A number of rows as the log says it: "1 Eintrag", "3 Einträge".
std::string EntriesText(int64_t rows);

// The rows of the run's patients in one table of a database of the run's
// source side: copied to the target by a transfer, deleted by a deletion.
struct TableCount {
    std::string file;   // source database file, e.g. "data.fdb"
    std::string table;  // as in the table list
    int64_t rows = 0;
    // The rows' fingerprint (RowPrint: the sum of their hashes), once the
    // run has read them.
    std::optional<uint64_t> print;
};
