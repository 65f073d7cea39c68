// Copies of the database files of one side, made before a run changes them:
// "<file><ext>.bak" beside each database in DatabaseDir. A failed run moves
// them back, a finished run deletes them.
#pragma once

#include <string>
#include <vector>

struct ArchiveDbPair;

std::string DatabasePath(const ArchiveDbPair& db);  // DatabaseDir/<file><ext>
std::string BackupPath(const ArchiveDbPair& db);    // DatabaseDir/<file><ext>.bak

// Copies one file whole, replacing the target, and forces the copy to the
// disk; a failed copy leaves no target behind. True on success.
bool CopyDatabaseFile(const std::string& from, const std::string& to);

// Copies every database file of the list to its backup path, replacing a
// stale backup. The connections of the list are closed while the files are
// copied (a file an engine holds open gives no reliable copy) and connected
// again afterwards. Stops at the first failed copy; true when all were copied.
// The copies are on the disk when it returns.
bool BackupDatabaseFiles(ArchiveDbPair* list);

// Puts the database files (full paths) back from their backups, all or
// nothing as far as the file system allows: every backup is first copied
// beside its database, and only when all copies exist are they renamed over
// the databases, in the order given. At the first failure nothing more is
// put back and the red log says which file is in which state. The backups
// are kept in every case; the connections must be closed. True when every
// file is back.
bool PutBackFiles(const std::vector<std::string>& paths);

// Puts every database of the list back from its backup: disconnects the
// list, puts the files back (PutBackFiles), removes the backups when all are
// back, and connects the list again. True when every file is back.
bool RestoreDatabaseFiles(ArchiveDbPair* list);

// Forces every database file of the list to the disk, so that removing the
// backups afterwards cannot leave a file that a power cut damages. False
// (logged in red) when a file cannot be flushed.
bool FlushDatabaseFiles(ArchiveDbPair* list);

// Deletes the backup of every database of the list; silent.
void DeleteDatabaseBackups(ArchiveDbPair* list);
