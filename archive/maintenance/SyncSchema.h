// Keeps the archive's tables in step with the live databases: every column
// of an archived table gets the live type, columns that Velunda no longer has
// go, and columns that the archive lacks are added. Tables are never created
// or dropped, and the live databases are never changed.
#pragma once

#include <string>
#include <vector>

struct ArchiveDbPair;

// Compares every table of every database from firstSource along Next with the
// same table of target and alters target through ExecuteSQL. Catalog reads
// that fail and ALTER statements that fail are reported and counted; true
// when none failed.
bool SyncSchema(ArchiveDbPair* firstSource, ArchiveDbPair& target);

// What SyncSchema would do, without doing it: the number of statements it
// would execute, plus the catalog reads that fail (which it would report).
int SyncSchemaChanges(ArchiveDbPair* firstSource, ArchiveDbPair& target);
