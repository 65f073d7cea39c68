#include "archive/maintenance/ArchiveMaintenance.h"

#include <cstdio>
#include <ctime>

#include "archive/rows/ColumnText.h"
#include "archive/safety/DatabaseBackup.h"
#include "archive/maintenance/SyncSchema.h"
#include "archive/maintenance/UpdateDB.h"
#include "core/FsPath.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "db/ArchiveDbPair.h"
#include "db/ODBCStmt.h"
#include "db/OdbcResult.h"
#include "platform/DurableFile.h"
#include "platform/UserAndHost.h"

namespace {

// The first column of the first row of a query as text; false when the
// query fails or gives no row.
bool FirstValue(ArchiveDbPair& db, const char* sql, std::string& value) {
    ODBCStmt stmt(db.Connection);
    SQLLEN indicator = 0;
    return SqlExecuted(stmt.Execute(sql)) && stmt.Fetch() &&
           ReadColumnText(stmt.Handle(), 1, value, indicator) && indicator >= 0;
}

}  // namespace

bool ArchiveMaintenance::HasChanges() {
    std::string version, notes;
    if (!FirstValue(archive_, "select val from dbv", version) ||
        std::to_string(CurrentDbVersion) != version)
        return true;
    // A notes table that cannot be read is left to the migration, which
    // reports it; it changes nothing then.
    if (FirstValue(archive_, "select count(*) from notizen", notes) && notes != "0") return true;
    return SyncSchemaChanges(velunda_, archive_) > 0;
}

bool ArchiveMaintenance::Begin() {
    if (!archive_.Connection.IsOpen() || !HasChanges()) return true;
    switch (lock_.Take()) {
        case RunLock::Result::Taken:
            break;
        case RunLock::Result::Busy:
            AppendLog(
                "Die Archivdatenbank kann nicht auf den neuesten Stand gebracht werden, "
                "solange auf diesen Datenbanken ein Vorgang läuft (" +
                    lock_.Holder() + ").",
                ColourRed);
            return false;
        case RunLock::Result::Failed:
            AppendLog(
                "Die Archivdatenbank kann nicht auf den neuesten Stand gebracht werden: die "
                "Sperrdatei " +
                    RunLock::Path() + " kann nicht angelegt werden (" + lock_.Error() + ").",
                ColourRed);
            return false;
    }
    if (RunJournal::Exists()) {
        // An interrupted run the start could not finish: its backups stay.
        lock_.Release();
        AppendLog(
            "Die Archivdatenbank wird nicht auf den neuesten Stand gebracht, solange ein "
            "früherer Vorgang nicht abgeschlossen ist (" +
                RunJournal::Path() + ").",
            ColourRed);
        return false;
    }
    journal_ = RunJournal();
    journal_.kind = RunKind::Maintenance;
    journal_.stage = RunStage::Backup;
    journal_.started = int64_t(std::time(nullptr));
    if (!GetLoginName(journal_.user)) journal_.user.clear();
    if (!GetHostName(journal_.host)) journal_.host.clear();
    journal_.sourceFiles.push_back(archive_.File());
    bool ok = journal_.Save();
    active_ = ok;
    ok = ok && BackupDatabaseFiles(&archive_, journal_.backups);
    ok = ok && journal_.SetStage(RunStage::Running);
    if (!ok) {
        AppendLog(
            "Die Datensicherung der Archivdatenbank ist fehlgeschlagen; sie wird nicht auf "
            "den neuesten Stand gebracht.",
            ColourRed);
        End();
        return false;
    }
    return true;
}

void ArchiveMaintenance::End() {
    if (!active_) return;
    active_ = false;
    // Recorded as ended before the backup goes: a start that finds the
    // journal then only removes what is left.
    if (journal_.stage == RunStage::Running) journal_.SetStage(RunStage::Committed);
    SyncFile(DatabasePath(archive_));
    RemoveRunFiles(journal_);
    lock_.Release();
}
