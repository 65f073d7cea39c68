// Copies of the database files of one side, made before a run changes them:
// "<file><ext>.bak" beside each database in DatabaseDir, with the database
// file's owner, group and permissions and a record of its size and
// fingerprint. A failed run renames them back over the databases (no copy,
// so a full disk cannot stop it), a finished run deletes them.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "archive/safety/RunJournal.h"

struct ArchiveDbPair;

std::string DatabasePath(const ArchiveDbPair& db);  // DatabaseDir/<file><ext>
std::string BackupPath(const ArchiveDbPair& db);    // DatabaseDir/<file><ext>.bak

// Copies the file at path to path + ".bak": a stale backup is removed first,
// the new one is created exclusively (never through a link), gets the
// file's owner (where this user may give it), group and permissions, and is
// on the disk when this returns. record receives what the journal keeps of
// it. False on any failure; no partial backup is then left.
// copied, when given, is told of every piece written, in bytes.
bool BackupFile(const std::string& path, BackupRecord& record,
                const std::function<void(uint64_t)>& copied = {});

// Backs up every database file of the list (BackupFile), appending a record
// for each to records. The connections of the list are closed while the
// files are copied (a file an engine holds open gives no reliable copy) and
// connected again afterwards. Stops at the first failed copy with the line
// "Fehler beim Kopieren von <database> nach <backup>"; true when all were
// copied and connected again.
bool BackupDatabaseFiles(ArchiveDbPair* list, std::vector<BackupRecord>& records,
                         const std::function<void(uint64_t)>& copied = {});

enum class PutBack {
    Done,         // the backup is the database file again
    AlreadyBack,  // no backup left, and the file is what it recorded (a resumed put-back)
    Missing,      // no backup, and the file is not what it recorded
    Damaged,      // the backup's size or fingerprint differs from the record: kept
    Failed        // the rename failed: the backup is kept
};

// Puts one database file back from its backup by renaming it, after
// checking the backup against its record; the file gets the recorded owner,
// group and permissions back (a line says so when the owner cannot be
// given). The connection to the file must be closed. Logs every outcome but
// Done and AlreadyBack in red.
PutBack PutBackFile(const std::string& path, const BackupRecord& record);

// True when the file at path has the size and fingerprint of the record.
bool MatchesRecord(const std::string& path, const BackupRecord& record);

// Forces every database file of the list to the disk, so that removing the
// backups afterwards cannot leave a file that a power cut damages. False
// (logged in red) when a file cannot be flushed.
bool FlushDatabaseFiles(ArchiveDbPair* list);

// Deletes the backup of every database of the list; silent.
void DeleteDatabaseBackups(ArchiveDbPair* list);

// For a database file of the Access kind and its backup: true when the file
// has not been written since the backup was made, by the change counter its
// engine keeps in the file's header. Asked while the run's transaction
// holds the file, no other writer can come between. False for a file of
// another kind or when either cannot be read.
bool UnchangedSinceBackup(const std::string& path);

// The last resort for a database whose engine could not roll the run back
// (it cannot even be opened any more): puts the backup back (PutBackFile),
// but only where no other process can have written to the file since the
// run began. A Firebird database that cannot be opened cannot tell its
// other connections, so it never qualifies; an Access-kind file does when
// it was unchanged at the run's begin (journal.stale does not name it) and
// no other process holds it open now. Each refusal is a red line naming the
// reason. True when the backup was put back.
bool PutBackIfSafe(const RunJournal& journal, const std::string& file);

// Removes the backups the journal names, but those in keep (and put-back
// copies an earlier version may have left), and syncs the folder. A backup
// that cannot be removed is a red line with the reason; false then.
bool RemoveBackups(const RunJournal& journal, const std::vector<std::string>& keep = {});

// Removes the files a run leaves once it has ended: the backups the journal
// names (but those in keep) and put-back copies an earlier version may have
// left, then the journal. A file that cannot be removed is a red line with
// the reason; the journal then records the stage CleanUp (where it still can
// be written), so that a later start only removes the files. True when all
// are gone.
bool RemoveRunFiles(RunJournal& journal, const std::vector<std::string>& keep = {});
