// The delete run behind F6: removes a set of patients from every database of
// the side shown, protected like every run (RunSafety).
#pragma once

#include <string>

class DatabaseSet;

// Deletes the patients of pidList from set.SourceList: backs up that side,
// deletes, and removes the backups, or puts the side back from them when the
// deletion failed. Logs "Patienten löschen aus <side>..." and each step, and
// the ready line; shows the wait cursor throughout. Refusals (RunSafety::Admit)
// are message boxes and log nothing. True when the patients were deleted.
bool DeletePatientsRun(DatabaseSet& set, const std::string& pidList);
