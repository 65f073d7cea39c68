// The archive and restore run: moves every row of a set of patients from the
// databases of the source side into those of the target side.
#pragma once

#include <string>

class DatabaseSet;
class IComboBox;

// Moves the patients of pidList ("12,40,7") from set.SourceList to
// set.TargetList: backs up the files of both sides, copies the rows table by
// table with one literal insert per row, deletes them in the source, and on
// success records an archiving run in the history (refilling history) and
// writes the audit entry. A failure after the first written row puts both
// sides back from the backups. Every step goes to the progress log; the wait
// cursor is shown throughout. True when the run succeeded.
bool TransferPatients(DatabaseSet& set, IComboBox& history, const std::string& pidList);
