// A restore writes every column of an archived row that holds a value into
// the Velunda table of the same name. A column that Velunda has dropped since
// stays in the archive as long as archived rows hold values there (the
// schema synchronisation keeps it); such a row cannot go back, and the
// insert would fail the run every time. This check finds those values before
// the run starts.
#pragma once

#include <string>

struct ArchiveDbPair;

// For every table of the archive side (source) whose Velunda table (in
// target) lacks one of its columns, counts the chosen patients' rows with a
// value in that column (not null, and for text not empty). When there are
// any, shows a message box naming table, column and count, and what an
// administrator can do, and returns true: the restore must not start. Columns
// that hold no value for these patients are simply left out by the restore.
bool RefuseArchiveOnlyValues(ArchiveDbPair* source, ArchiveDbPair* target,
                             const std::string& pidList);
