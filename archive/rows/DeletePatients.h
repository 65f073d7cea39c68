// Removal of a set of patients from every patient table of one side.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "archive/rows/RunKind.h"

struct ArchiveDbPair;

struct DeleteOptions {
    // Receives the rows deleted per table (database file, table, rows).
    std::vector<TableCount>* deleted = nullptr;
    // Called after each table's deletes with the rows deleted there; false
    // stops the deletion, which then fails (the caller says why).
    std::function<bool(int64_t)> afterTable;
    // Whether a successful deletion on the Velunda side tells the other
    // programs at once. A run inside a transaction tells them after its
    // commit instead (AnnounceDeletion).
    bool announce = true;
    // Only the first database of the list: a run that finishes one database
    // of a side on its own.
    bool singleDatabase = false;
};

// Deletes the rows of the patients (pid list "12,40,7") from every table of
// every database of sourceList, table by table, logging one line per table
// with its count. Stops at the first failing delete. When every delete
// succeeded and the side is the Velunda side (first display name "Velunda",
// any letter case), the other practice programs are told that the patients
// changed, unless options say otherwise. True when every delete succeeded.
bool DeletePatients(ArchiveDbPair* sourceList, const std::string& pidList,
                    const DeleteOptions& options = {});

// Tells the other practice programs that patients changed, when sourceList
// is the Velunda side.
void AnnounceDeletion(ArchiveDbPair* sourceList);

// Compares the rows deleted per table with the rows counted before in the
// same tables (copied by a transfer, read by a deletion), naming the table's
// own database of list. More rows deleted than counted would lose the ones
// not counted: the red line "Fehler: in <database>.<table> wurden <n>
// Einträge gelöscht, aber nur <m> <counted>; …" and false. Fewer rows
// deleted than counted lose nothing (the database's own cascades or
// triggers removed the rest with another table): a plain line says so.
// True when no table lost rows.
bool DeletedAsCounted(ArchiveDbPair* list, const std::vector<TableCount>& deleted,
                      const std::vector<TableCount>& before, const char* counted);
