#include "archive/RunSafety.h"

#include <ctime>
#include <vector>

#include "archive/DatabaseBackup.h"
#include "archive/PidList.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "core/WindowServices.h"
#include "db/ArchiveDbPair.h"
#include "db/DatabaseKind.h"
#include "db/ODBCStmt.h"
#include "db/OdbcResult.h"
#include "platform/DurableFile.h"
#include "platform/UserAndHost.h"

namespace {

std::vector<ArchiveDbPair*> Databases(ArchiveDbPair* source, ArchiveDbPair* target) {
    std::vector<ArchiveDbPair*> all;
    for (ArchiveDbPair* db = source; db; db = db->Next) all.push_back(db);
    for (ArchiveDbPair* db = target; db; db = db->Next) all.push_back(db);
    return all;
}

std::string Trimmed(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

// The other attachments of a Firebird database, one text each; false when
// the monitoring table cannot be read (*error says why).
bool OtherAttachments(ArchiveDbPair& db, std::vector<std::string>& found, std::string& error) {
    ODBCStmt stmt(db.Connection);
    const char* sql =
        "select mon$attachment_id, mon$user, mon$remote_host, mon$remote_address, "
        "mon$remote_os_user, mon$remote_process from mon$attachments "
        "where mon$attachment_id <> current_connection and mon$system_flag = 0";
    if (!SqlExecuted(stmt.Execute(sql))) {
        error = db.Connection.GetErrorText(stmt.Handle());
        return false;
    }
    while (stmt.Fetch()) {
        std::string id, user, host, address, osUser, process;
        stmt.GetColumnString(1, id);
        stmt.GetColumnString(2, user);
        stmt.GetColumnString(3, host);
        stmt.GetColumnString(4, address);
        stmt.GetColumnString(5, osUser);
        stmt.GetColumnString(6, process);
        std::string text =
            db.FileName + db.Extension + ": Verbindung " + Trimmed(id) + " als " + Trimmed(user);
        if (!Trimmed(osUser).empty()) text += ", Benutzer " + Trimmed(osUser);
        if (!Trimmed(host).empty() || !Trimmed(address).empty())
            text += ", Rechner " + Trimmed(host) +
                    (Trimmed(address).empty() ? "" : " (" + Trimmed(address) + ")");
        if (!Trimmed(process).empty()) text += ", Programm " + Trimmed(process);
        found.push_back(text);
    }
    return true;
}

const char* kLockedUntilRecovered =
    "Weitere Vorgänge sind gesperrt, bis die Datenbanken wiederhergestellt sind; Tamaro "
    "versucht es beim nächsten Start erneut.";

}  // namespace

RunSafety::RunSafety(RunKind kind, ArchiveDbPair* source, ArchiveDbPair* target,
                     const std::string& pidList)
    : kind_(kind), source_(source), target_(target), pidList_(pidList) {}

bool RunSafety::Admit() {
    std::string duplicate;
    if (PidListHasDuplicate(pidList_, &duplicate)) {
        ShowMessage("Der Patient " + duplicate +
                    " ist mehrfach ausgewählt.\nDer Vorgang wird nicht gestartet.");
        return false;
    }
    switch (lock_.Take()) {
        case RunLock::Result::Taken:
            break;
        case RunLock::Result::Busy:
            ShowMessage(RunLock::BusyText(lock_.Holder()));
            return false;
        case RunLock::Result::Failed:
            ShowMessage("Die Sperrdatei " + RunLock::Path() + " kann nicht angelegt werden (" +
                        lock_.Error() + ").\nDer Vorgang wird nicht gestartet.");
            return false;
    }
    // The backups of an interrupted run are all that is left of its
    // databases' earlier state: no run may overwrite them.
    if (RunJournal::Exists()) {
        lock_.Release();
        ShowMessage("Ein früherer Vorgang ist nicht abgeschlossen (" + RunJournal::Path() +
                    ").\nWeitere Vorgänge sind gesperrt, bis Tamaro ihn beim nächsten Start "
                    "abgeschlossen hat.");
        return false;
    }
    if (!NoOtherConnections()) {
        lock_.Release();
        return false;
    }
    return true;
}

bool RunSafety::NoOtherConnections() {
    std::vector<std::string> found;
    for (ArchiveDbPair* db : Databases(source_, target_)) {
        if (KindOfExtension(db->Extension) != DatabaseKind::Firebird || !db->Connection.IsOpen())
            continue;
        std::string error;
        if (!OtherAttachments(*db, found, error))
            AppendLog("Die Verbindungen zu " + db->FileName + db->Extension +
                          " konnten nicht gelesen werden: " + error,
                      ColourRed);
    }
    if (found.empty()) return true;
    std::string text = "Die Datenbanken werden noch von anderen Verbindungen benutzt:\n";
    for (const std::string& line : found) text += line + "\n";
    ShowMessage(text + "Bitte beenden Sie diese Programme. Der Vorgang wird nicht gestartet.");
    return false;
}

bool RunSafety::Backup() {
    journal_.kind = kind_;
    journal_.stage = RunStage::Backup;
    journal_.pids = pidList_;
    journal_.started = int64_t(std::time(nullptr));
    if (!GetLoginName(journal_.user)) journal_.user.clear();
    if (!GetHostName(journal_.host)) journal_.host.clear();
    for (ArchiveDbPair* db = source_; db; db = db->Next)
        journal_.sourceFiles.push_back(db->FileName + db->Extension);
    for (ArchiveDbPair* db = target_; db; db = db->Next)
        journal_.targetFiles.push_back(db->FileName + db->Extension);
    if (!journal_.Save()) {
        AppendLog("Fehler beim Schreiben der Journal-Datei " + RunJournal::Path(), ColourRed);
        return false;
    }
    journalWritten_ = true;
    if (!BackupDatabaseFiles(source_)) return false;
    if (target_ && !BackupDatabaseFiles(target_)) return false;
    if (!journal_.SetStage(RunStage::Changing)) {
        AppendLog("Fehler beim Schreiben der Journal-Datei " + RunJournal::Path(), ColourRed);
        return false;
    }
    return true;
}

bool RunSafety::Commit() {
    // A power cut after the backups are gone must not find pages of the
    // databases still in memory.
    if (!FlushDatabaseFiles(source_) || !FlushDatabaseFiles(target_)) return false;
    if (!journal_.SetStage(RunStage::Committed)) {
        AppendLog("Fehler beim Schreiben der Journal-Datei " + RunJournal::Path(), ColourRed);
        return false;
    }
    return true;
}

void RunSafety::RemoveBackups() {
    DeleteDatabaseBackups(source_);
    DeleteDatabaseBackups(target_);
    // The backups are gone for good before the journal that names them.
    SyncFolder(DatabaseDir);
    RunJournal::Remove();
}

void RunSafety::Finish() {
    RemoveBackups();
}

void RunSafety::Discard() {
    // Without a journal no backup of this run can be left (the journal is
    // written before the first one).
    if (journalWritten_ && !journal_.SetStage(RunStage::Unchanged)) {
        // The backups equal the databases; the next start puts them back
        // and so ends with the same files.
        AppendLog("Fehler beim Schreiben der Journal-Datei " + RunJournal::Path(), ColourRed);
        return;
    }
    RemoveBackups();
}

bool RunSafety::RollBack() {
    std::vector<std::string> paths;
    for (ArchiveDbPair* db : Databases(source_, target_)) {
        db->Connection.Disconnect();
        paths.push_back(DatabasePath(*db));
    }
    const bool back = PutBackFiles(paths);
    if (!back) {
        journal_.SetStage(RunStage::Failed);
        AppendLog(kLockedUntilRecovered, ColourRed);
    }
    for (ArchiveDbPair* db : Databases(source_, target_)) Connect(*db);
    if (!back) return false;
    if (!journal_.SetStage(RunStage::Restored)) {
        // The next start puts the same files back again.
        AppendLog("Fehler beim Schreiben der Journal-Datei " + RunJournal::Path(), ColourRed);
        return true;
    }
    RemoveBackups();
    return true;
}
