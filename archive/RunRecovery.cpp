#include "archive/RunRecovery.h"

#include <unistd.h>

#include <cstdio>
#include <vector>

#include "archive/DatabaseBackup.h"
#include "archive/DeletePatients.h"
#include "archive/OtherAttachments.h"
#include "archive/RunForward.h"
#include "archive/RunJournal.h"
#include "archive/RunLock.h"
#include "core/FsPath.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "db/DatabaseKind.h"
#include "db/DatabaseSet.h"
#include "platform/DurableFile.h"
#include "platform/RunFile.h"
#include "users/AuditLog.h"

namespace {

std::string PathOf(const std::string& file) {
    return DatabaseDir + "/" + file;
}

// Removes the backups the journal names (and put-back copies an earlier
// version of the program may have left), then the journal itself.
void RemoveBackupsAndJournal(const RunJournal& journal, const std::vector<std::string>& keep = {}) {
    for (const std::string& file : journal.Files()) {
        bool kept = false;
        for (const std::string& k : keep) kept = kept || k == file;
        std::remove(fspath::ToFileSystem(PathOf(file) + ".restore").c_str());
        if (!kept) std::remove(fspath::ToFileSystem(PathOf(file) + ".bak").c_str());
    }
    SyncFolder(DatabaseDir);
    RunJournal::Remove();
}

void Report(const std::string& found, const std::string& done) {
    AppendLog("• " + done, ColourRed);
    WriteAuditEntry(2, "Unterbrochener Vorgang (" + found + "): " + done);
}

const char* kAdministrator =
    "Weitere Vorgänge sind gesperrt, bis ein Administrator den Datenbestand geprüft (tamaro "
    "--headless --check) und die Journal-Datei entfernt hat.";

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

void FinishCommitSequence(RunJournal& journal, const std::string& found) {
    DatabaseSet set;
    ArchiveDbPair *source = nullptr, *target = nullptr;
    if (!ConnectSides(journal, set, source, target)) {
        Disconnect(set);
        Report(found,
               "Der Vorgang war beim Speichern unterbrochen und kann jetzt nicht zu Ende geführt "
               "werden, weil nicht alle Datenbanken erreichbar sind. Tamaro versucht es beim "
               "nächsten Start erneut; bis dahin sind weitere Vorgänge gesperrt.");
        return;
    }
    AppendLog("• Der Vorgang wird zu Ende geführt...");
    const bool done = FinishForward(journal, source, target);
    if (done && journal.kind != RunKind::Restore) AnnounceDeletion(source);
    Disconnect(set);
    if (!done) {
        journal.SetStage(RunStage::Undecided);
        Report(found,
               std::string("Der Vorgang war beim Speichern unterbrochen und kann nicht zu Ende "
                           "geführt werden, weil die Datenbanken nicht mehr den Stand des "
                           "Vorgangs haben (oben). Tamaro ändert nichts daran. ") +
                   kAdministrator);
        return;
    }
    journal.SetStage(RunStage::Committed);
    RemoveBackupsAndJournal(journal);
    Report(found,
           "Der Vorgang war beim Speichern unterbrochen und wurde zu Ende geführt; die "
           "Datensicherung wurde gelöscht.");
}

// Puts the files back from their backups where a file is not used by
// another connection and its backup is the one made; the files that could
// not be put back.
std::vector<std::string> PutBackWhereSafe(const RunJournal& journal,
                                          const std::vector<std::string>& files) {
    std::vector<std::string> left;
    for (const std::string& file : files) {
        const BackupRecord* record = journal.BackupOf(file);
        ArchiveDbPair probe;
        const size_t dot = file.rfind('.');
        probe.FileName = file.substr(0, dot);
        bool held = false;
        if (Connect(probe)) held = UsedByOthers(probe);
        probe.Connection.Disconnect();
        if (held) {
            AppendLog("• " + file + " wird von einer anderen Verbindung benutzt.", ColourRed);
            left.push_back(file);
            continue;
        }
        const PutBack result = record ? PutBackFile(PathOf(file), *record) : PutBack::Missing;
        if (result != PutBack::Done && result != PutBack::AlreadyBack) left.push_back(file);
    }
    return left;
}

// The put-backs a roll-back could not do, done now.
void PutBackPending(RunJournal& journal, const std::string& found) {
    const std::vector<std::string> left = PutBackWhereSafe(journal, journal.pending);
    journal.pending = left;
    if (!left.empty()) {
        journal.Save();
        Report(found,
               "Die Wiederherstellung ist fehlgeschlagen. Weitere Vorgänge sind gesperrt, bis die "
               "Datenbanken wiederhergestellt sind; Tamaro versucht es beim nächsten Start "
               "erneut.");
        return;
    }
    journal.SetStage(RunStage::RolledBack);
    RemoveBackupsAndJournal(journal);
    Report(found,
           "Die Datenbanken wurden aus der Datensicherung wiederhergestellt (Stand vor dem "
           "Vorgang).");
}

// An interrupted maintenance of the archive at start: the archive goes back
// to its state before, and the start runs the maintenance again.
void RecoverMaintenance(RunJournal& journal, const std::string& found) {
    if (journal.stage == RunStage::Backup || journal.stage == RunStage::Committed) {
        RemoveBackupsAndJournal(journal);
        Report(found,
               "Die Archivdatenbank war unverändert oder fertig gewartet; die Datensicherung "
               "wurde gelöscht.");
        return;
    }
    journal.pending = PutBackWhereSafe(journal, journal.sourceFiles);
    if (!journal.pending.empty()) {
        journal.SetStage(RunStage::Failed);
        Report(found,
               "Die Archivdatenbank konnte nicht aus der Datensicherung wiederhergestellt "
               "werden. Weitere Vorgänge sind gesperrt; Tamaro versucht es beim nächsten Start "
               "erneut.");
        return;
    }
    RemoveBackupsAndJournal(journal);
    Report(found,
           "Die Archivdatenbank wurde aus der Datensicherung wiederhergestellt (Stand vor der "
           "Wartung); die Wartung wird wiederholt.");
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
                          "Bitte prüfen Sie die Datenbanken und ihre Datensicherungen (*.bak) und "
                          "entfernen Sie danach die Journal-Datei; bis dahin sind weitere Vorgänge "
                          "gesperrt.",
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
            RemoveBackupsAndJournal(journal);
            Report(found,
                   "Die Datensicherung war unvollständig, die Datenbanken sind unverändert; die "
                   "Teilsicherung wurde gelöscht.");
            return;
        case RunStage::Committing:
            if (!journal.committed.empty()) {
                FinishCommitSequence(journal, found);
                return;
            }
            [[fallthrough]];
        case RunStage::Running:
            RemoveBackupsAndJournal(journal);
            Report(found,
                   "Der Vorgang wurde abgebrochen, bevor er gespeichert war. Die Datenbanken haben "
                   "ihn verworfen und bleiben, wie sie sind, mit allem, was seither darin "
                   "gespeichert wurde; die Datensicherung wurde gelöscht.");
            return;
        case RunStage::Committed:
            RemoveBackupsAndJournal(journal);
            Report(found,
                   "Der Vorgang war abgeschlossen; die verbliebene Datensicherung wurde gelöscht.");
            return;
        case RunStage::Unchanged:
        case RunStage::RolledBack:
            RemoveBackupsAndJournal(journal);
            Report(found,
                   "Die Datenbanken waren unverändert oder schon wiederhergestellt; die "
                   "Datensicherung wurde gelöscht.");
            return;
        case RunStage::Failed:
            PutBackPending(journal, found);
            return;
        case RunStage::Undecided:
            Report(found,
                   std::string("Der Vorgang war beim Speichern unterbrochen und konnte nicht zu "
                               "Ende geführt werden. ") +
                       kAdministrator);
            return;
    }
}
