#include "archive/safety/RunRecovery.h"

#include <unistd.h>

#include <vector>

#include "archive/rows/DeletePatients.h"
#include "archive/safety/DatabaseBackup.h"
#include "archive/safety/LateRows.h"
#include "archive/safety/OtherAttachments.h"
#include "archive/safety/RunJournal.h"
#include "archive/safety/RunLock.h"
#include "archive/safety/RunResolution.h"
#include "core/FsPath.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "db/DatabaseKind.h"
#include "db/DatabaseSet.h"
#include "platform/FileHolders.h"
#include "platform/RunFile.h"
#include "users/AuditLog.h"

namespace {

std::string PathOf(const std::string& file) {
    return DatabaseDir + "/" + file;
}

void Report(const std::string& found, const std::string& done) {
    AppendLog("• " + done, ColourRed);
    WriteAuditEntry(2, "Unterbrochener Vorgang (" + found + "): " + done);
}

// Removes the run's files, then reports what was found and done; the report
// says whether the backup is gone, since a folder that cannot be written
// keeps it (RemoveRunFiles has named each file and why).
void EndWith(RunJournal& journal, const std::string& found, const std::string& done,
             const std::string& removed = "die Datensicherung wurde gelöscht.",
             const std::vector<std::string>& keep = {}) {
    if (RemoveRunFiles(journal, keep))
        Report(found, done + "; " + removed);
    else
        Report(found, done +
                          "; die Dateien des Vorgangs konnten noch nicht gelöscht werden "
                          "(oben).");
}

std::string AdministratorText() {
    return RunsLockedUntil(
        "die Datenbanken wieder den Stand vor oder nach dem Vorgang haben (Tamaro prüft es bei "
        "jedem Start) oder ein Administrator den Datenbestand geprüft (tamaro --headless "
        "--check) und die Journal-Datei entfernt hat");
}

// The run's two sides in a set of their own, connected; false when a
// database cannot be connected (Connect has said which).
bool ConnectSides(const RunJournal& journal, DatabaseSet& set, ArchiveDbPair*& source,
                  ArchiveDbPair*& target) {
    const bool archiveIsSource =
        !journal.sourceFiles.empty() &&
        journal.sourceFiles.front().rfind(set.Archive.FileName + ".", 0) == 0;
    source = archiveIsSource ? set.ArchiveList : set.VelundaList;
    target = journal.kind == RunKind::Delete ? nullptr
             : archiveIsSource               ? set.VelundaList
                                             : set.ArchiveList;
    bool ok = true;
    for (ArchiveDbPair* list : {source, target})
        for (ArchiveDbPair* db = list; db; db = db->Next)
            if (!Connect(*db)) ok = false;
    return ok;
}

void Disconnect(DatabaseSet& set) {
    for (ArchiveDbPair& db : set.Velunda) db.Connection.Disconnect();
    set.Archive.Connection.Disconnect();
}

// A commit sequence that was cut short, or one that an earlier start could
// not finish: what the journal and the databases hold decides.
void FinishCommitSequence(RunJournal& journal, const std::string& found) {
    DatabaseSet set;
    ArchiveDbPair *source = nullptr, *target = nullptr;
    if (!ConnectSides(journal, set, source, target)) {
        Disconnect(set);
        Report(found,
               "Der Vorgang war beim Speichern unterbrochen und kann jetzt nicht zu Ende geführt "
               "werden, weil nicht alle Datenbanken erreichbar sind. " +
                   RetriedAtNextStart());
        return;
    }
    Resolution result = RunResolution(journal, source, target).Resolve();
    // Taken back to the end before an earlier start could record it.
    if (result == Resolution::NothingCommitted && journal.backward) result = Resolution::Backward;
    switch (result) {
        case Resolution::Forward:
            if (journal.kind != RunKind::Restore) AnnounceDeletion(source);
            ReportLateRows(journal.kind, source, journal.pids, false);
            break;
        case Resolution::Backward:
            if (journal.kind == RunKind::Restore) AnnounceDeletion(target);
            ReportLateRows(journal.kind, target, journal.pids, true);
            break;
        default:
            break;
    }
    Disconnect(set);
    switch (result) {
        case Resolution::Forward:
            journal.stage = RunStage::Committed;
            EndWith(journal, found,
                    "Der Vorgang war beim Speichern unterbrochen und wurde zu Ende geführt");
            return;
        case Resolution::Backward:
            journal.stage = RunStage::RolledBack;
            EndWith(journal, found,
                    "Der Vorgang war beim Speichern unterbrochen und konnte nicht zu Ende geführt "
                    "werden, weil seine Einträge in " +
                        source->DisplayName +
                        " seither geändert wurden (oben). Er wurde zurückgenommen: die Patienten "
                        "sind wieder ganz in " +
                        source->DisplayName + ", mit allem, was seither dort gespeichert wurde");
            return;
        case Resolution::NothingCommitted:
            journal.stage = RunStage::Running;
            EndWith(journal, found,
                    "Der Vorgang wurde abgebrochen, bevor er gespeichert war. Die Datenbanken "
                    "haben ihn verworfen und bleiben, wie sie sind, mit allem, was seither darin "
                    "gespeichert wurde");
            return;
        case Resolution::Stopped:
            journal.SetStage(RunStage::Committing);
            Report(found,
                   "Der Vorgang war beim Speichern unterbrochen und kann jetzt nicht zu Ende "
                   "geführt werden (oben). " +
                       RetriedAtNextStart());
            return;
        case Resolution::Undecided:
            journal.SetStage(RunStage::Undecided);
            Report(found,
                   std::string("Der Vorgang war beim Speichern unterbrochen und kann weder zu Ende "
                               "geführt noch zurückgenommen werden, weil die Datenbanken nicht "
                               "mehr den Stand des Vorgangs haben (oben). Tamaro ändert nichts "
                               "daran. ") +
                       AdministratorText());
            return;
    }
}

// Opens a database of the practice by its file name alone, without a line
// in the log; false when it cannot be opened.
bool Opens(const std::string& file, ArchiveDbPair& probe) {
    const size_t dot = file.rfind('.');
    probe.FileName = file.substr(0, dot);
    probe.Extension = dot == std::string::npos ? "" : file.substr(dot);
    // One try: a start does not wait two minutes for a database.
    const std::string connStr = KindOfExtension(probe.Extension) == DatabaseKind::Firebird
                                    ? FirebirdConnectionString(probe.FileName)
                                    : AccessConnectionString(probe.FileName);
    return probe.Connection.OpenConnection(connStr);
}

// The backups a roll-back could not do without: a database that opens now
// has discarded the run's changes by itself, and keeps everything saved
// since; one that still cannot be opened gets its backup where that is safe.
void PutBackPending(RunJournal& journal, const std::string& found) {
    std::vector<std::string> left;
    bool putBack = false;
    for (const std::string& file : journal.pending) {
        ArchiveDbPair probe;
        if (Opens(file, probe)) {
            probe.Connection.Disconnect();
            continue;
        }
        if (PutBackIfSafe(journal, file))
            putBack = true;
        else
            left.push_back(file);
    }
    journal.pending = left;
    if (!left.empty()) {
        journal.Save();
        std::string files;
        for (const std::string& f : left) files += (files.empty() ? "" : ", ") + PathOf(f) + ".bak";
        Report(found, "Die Datenbank kann noch nicht geöffnet werden, und ihre Datensicherung (" +
                          files +
                          ") kann nicht sicher zurückgelegt werden (oben). " +
                          RunsLockedUntil("die Datenbank wieder geöffnet werden kann oder ein "
                                          "Administrator sie aus der Datensicherung zurückgelegt "
                                          "und die Journal-Datei " +
                                          RunJournal::Path() + " entfernt hat"));
        return;
    }
    journal.stage = RunStage::RolledBack;
    EndWith(journal, found,
            putBack ? "Die Datenbank wurde aus der Datensicherung wiederhergestellt (Stand vor dem "
                      "Vorgang)"
                    : "Die Datenbanken haben den Vorgang verworfen und bleiben, wie sie sind, mit "
                      "allem, was seither darin gespeichert wurde");
}

// Whether anybody else may be writing to the archive database: its other
// connections (Firebird: read without error and none found) or the other
// processes holding its file (Access kind). why receives the reason when it
// may be.
bool NobodyElseUses(const std::string& file, std::string& why) {
    ArchiveDbPair probe;
    if (KindOfFile(file) == DatabaseKind::Firebird) {
        if (!Opens(file, probe)) {
            why = "die Datenbank ist nicht erreichbar";
            return false;
        }
        std::vector<std::string> found;
        std::string error;
        const bool read = OtherAttachments(probe, found, error);
        probe.Connection.Disconnect();
        if (!read) {
            why = "ihre Verbindungen können nicht gelesen werden (" + error + ")";
            return false;
        }
        if (!found.empty()) {
            why = "sie wird von einer anderen Verbindung benutzt (" + found.front() + ")";
            return false;
        }
        return true;
    }
    std::vector<std::string> holders;
    std::string error;
    if (!OtherHoldersOfFile(PathOf(file), holders, error)) {
        why = error;
        return false;
    }
    if (!holders.empty()) {
        why = "sie ist noch geöffnet von " + holders.front();
        return false;
    }
    return true;
}

// An interrupted maintenance of the archive at start: the archive goes back
// to its state before, and the start runs the maintenance again. Its
// statements change the schema, which the engines do not roll back as a
// whole: the backup is the way back here.
void RecoverMaintenance(RunJournal& journal, const std::string& found) {
    if (journal.stage == RunStage::Backup || journal.stage == RunStage::Committed ||
        journal.stage == RunStage::CleanUp) {
        EndWith(journal, found, "Die Archivdatenbank war unverändert oder fertig gewartet");
        return;
    }
    const std::string file = journal.sourceFiles.empty() ? "" : journal.sourceFiles.front();
    const BackupRecord* record = journal.BackupOf(file);
    std::string why;
    if (!NobodyElseUses(file, why)) {
        journal.SetStage(RunStage::Failed);
        Report(found,
               "Die Archivdatenbank kann jetzt nicht aus der Datensicherung "
               "wiederhergestellt werden: " +
                   why +
                   ". " + RetriedAtNextStart());
        return;
    }
    const PutBack result = record ? PutBackFile(PathOf(file), *record) : PutBack::Missing;
    if (result == PutBack::Missing || result == PutBack::Damaged) {
        // Without the backup the half-done maintenance cannot be undone, and
        // no later start can do better: an administrator must decide.
        journal.SetStage(RunStage::Undecided);
        Report(found,
               "Die Datensicherung " + PathOf(file) + ".bak " +
                   (result == PutBack::Missing ? "fehlt" : "ist beschädigt") +
                   ", daher kann die unterbrochene Wartung der Archivdatenbank nicht "
                   "zurückgenommen werden; die Archivdatenbank ist womöglich nur zum Teil "
                   "gewartet. Bitte legen Sie die Archivdatenbank aus der Sicherung der Praxis "
                   "zurück (Stand vor der Wartung) und entfernen Sie danach die Journal-Datei " +
                   RunJournal::Path() +
                   "; Tamaro wartet sie beim nächsten Start erneut. Bis dahin sind weitere "
                   "Vorgänge gesperrt.");
        return;
    }
    if (result == PutBack::Failed) {
        journal.SetStage(RunStage::Failed);
        Report(found,
               "Die Archivdatenbank konnte nicht aus der Datensicherung wiederhergestellt "
               "werden (oben). " +
                   RetriedAtNextStart());
        return;
    }
    EndWith(journal, found,
            "Die Archivdatenbank wurde aus der Datensicherung wiederhergestellt (Stand vor der "
            "Wartung)",
            "die Wartung wird wiederholt.");
}

}  // namespace

void RecoverInterruptedRun() {
    if (DatabaseDir.empty()) return;
    if (!RunJournal::Exists()) {
        // A journal that never got its first write: no backup was made.
        ::unlink(fspath::ToFileSystem(RunJournal::Path() + ".new").c_str());
        // The lock file of a run that ended without letting go of it; taking
        // and releasing the lock removes it unless another run holds it.
        if (runfile::NameExists(RunLock::Path())) RunLock().Take();
        return;
    }
    RunLock lock;
    switch (lock.Take()) {
        case RunLock::Result::Taken:
            break;
        case RunLock::Result::Busy:
            AppendLog("• Auf diesen Datenbanken läuft gerade ein Vorgang (" + lock.Holder() + ").",
                      ColourRed, LogNote);
            return;
        case RunLock::Result::Failed:
            AppendLog(
                "• Ein unterbrochener Vorgang kann nicht abgeschlossen werden: die Sperrdatei " +
                    RunLock::Path() + " kann nicht angelegt werden (" + lock.Error() + ").",
                ColourRed);
            return;
    }
    RunJournal journal;
    switch (journal.Load()) {
        case RunJournal::LoadResult::Missing:
            return;  // its run ended while this start waited for the lock
        case RunJournal::LoadResult::Unreadable:
            AppendLog("• Die Journal-Datei " + RunJournal::Path() +
                          " eines unterbrochenen Vorgangs ist unlesbar oder stammt von einer "
                          "älteren Version. Tamaro kann den Vorgang nicht selbst abschließen. "
                          "Bitte prüfen Sie die Datenbanken und ihre Datensicherungen (*.bak) und " +
                          RunsLockedTillThen("entfernen Sie danach die Journal-Datei"),
                      ColourRed);
            WriteAuditEntry(2, "Unterbrochener Vorgang: Journal-Datei unlesbar.");
            return;
        case RunJournal::LoadResult::Loaded:
            break;
    }
    const std::string found = journal.Describe();
    AppendLog("• Unterbrochener Vorgang gefunden: " + found + ".", ColourRed);
    if (journal.kind == RunKind::Maintenance) {
        RecoverMaintenance(journal, found);
        return;
    }
    switch (journal.stage) {
        case RunStage::Backup:
            EndWith(journal, found,
                    "Die Datensicherung war unvollständig, die Datenbanken sind unverändert",
                    "die Teilsicherung wurde gelöscht.");
            return;
        case RunStage::Committing:
            // A journal of an earlier version names no database about to
            // commit: with none committed, nothing was.
            if (!journal.committed.empty() || !journal.committing.empty()) {
                FinishCommitSequence(journal, found);
                return;
            }
            [[fallthrough]];
        case RunStage::Running:
            EndWith(journal, found,
                    "Der Vorgang wurde abgebrochen, bevor er gespeichert war. Die Datenbanken "
                    "haben ihn verworfen und bleiben, wie sie sind, mit allem, was seither darin "
                    "gespeichert wurde");
            return;
        case RunStage::Undecided:
            // Checked again: the databases may hold the run's state again,
            // or an administrator has put them back.
            FinishCommitSequence(journal, found);
            return;
        case RunStage::Committed:
            EndWith(journal, found, "Der Vorgang war abgeschlossen",
                    "die verbliebene Datensicherung wurde gelöscht.");
            return;
        case RunStage::CleanUp:
            EndWith(journal, found, "Der Vorgang war abgeschlossen",
                    "die verbliebenen Dateien wurden gelöscht.");
            return;
        case RunStage::Unchanged:
        case RunStage::RolledBack:
            EndWith(journal, found,
                    "Die Datenbanken waren unverändert oder hatten den Vorgang schon verworfen");
            return;
        case RunStage::Failed:
            PutBackPending(journal, found);
            return;
    }
}
