// Rows of a run's patients that another program saved on the side the
// patients have left, while the run waited for its locks or lay
// interrupted: counted once the run is settled, table by table, and named
// in red, since no run moves them and they belong to no patient there.
#pragma once

#include <string>

#include "archive/rows/RunKind.h"

struct ArchiveDbPair;

// Counts the patients' rows in every table of side (the run's source after
// it went through; its target after it was taken back, undone) and names
// each table and patient that has any, with what to do about them. True
// when none was found.
bool ReportLateRows(RunKind kind, ArchiveDbPair* side, const std::string& pidList, bool undone);
