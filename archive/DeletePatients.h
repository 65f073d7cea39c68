// Removal of a set of patients from every patient table of one side.
#pragma once

#include <string>

struct ArchiveDbPair;

// Deletes the rows of the patients (pid list "12,40,7") from every table of
// every database of sourceList, table by table, logging one line per table
// with its count. Stops at the first failing delete. When every delete
// succeeded and the side is the Velunda side (first display name "Velunda",
// any letter case), the other practice programs are told that the patients
// changed. True when every delete succeeded.
bool DeletePatients(ArchiveDbPair* sourceList, const std::string& pidList);
