// Copies of the database files of one side, made before a run changes them:
// "<file><ext>.bak" beside each database in DatabaseDir. A failed run moves
// them back, a finished run deletes them.
#pragma once

#include <string>

struct ArchiveDbPair;

std::string DatabasePath(const ArchiveDbPair& db);  // DatabaseDir/<file><ext>
std::string BackupPath(const ArchiveDbPair& db);    // DatabaseDir/<file><ext>.bak

// Copies one file whole, replacing the target; a failed copy leaves no
// target behind. True on success.
bool CopyDatabaseFile(const std::string& from, const std::string& to);

// Copies every database file of the list to its backup path, replacing a
// stale backup. The connections of the list are closed while the files are
// copied (a file an engine holds open gives no reliable copy) and connected
// again afterwards. Stops at the first failed copy; true when all were copied.
bool BackupDatabaseFiles(ArchiveDbPair* list);

// Puts every database of the list back from its backup: disconnects the
// list, renames each backup over its database file (atomically, so a failed
// rename leaves the current file in place) and connects the list again.
void RestoreDatabaseFiles(ArchiveDbPair* list);

// Deletes the backup of every database of the list; silent.
void DeleteDatabaseBackups(ArchiveDbPair* list);
