#include "archive/RunRecovery.h"

#include <sys/stat.h>

#include <cstdio>
#include <vector>

#include "archive/DatabaseBackup.h"
#include "archive/RunJournal.h"
#include "archive/RunLock.h"
#include "core/FsPath.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "platform/DurableFile.h"
#include "users/AuditLog.h"

namespace {

std::vector<std::string> Paths(const RunJournal& journal) {
    std::vector<std::string> paths;
    for (const std::string& name : journal.Files()) paths.push_back(DatabaseDir + "/" + name);
    return paths;
}

// Removes the backups (and put-back copies) the journal names, then the
// journal itself.
void RemoveBackupsAndJournal(const RunJournal& journal) {
    for (const std::string& path : Paths(journal)) {
        std::remove(fspath::ToFileSystem(path + ".restore").c_str());
        std::remove(fspath::ToFileSystem(path + ".bak").c_str());
    }
    SyncFolder(DatabaseDir);
    RunJournal::Remove();
}

void Report(const std::string& found, const std::string& done) {
    AppendLog("• " + done, ColourRed);
    WriteAuditEntry(2, "Unterbrochener Vorgang (" + found + "): " + done);
}

}  // namespace

void RecoverInterruptedRun() {
    if (DatabaseDir.empty()) return;
    if (!RunJournal::Exists()) {
        // A journal that never got its first write: no backup was made.
        std::remove(fspath::ToFileSystem(RunJournal::Path() + ".new").c_str());
        // The lock file of a run that ended without letting go of it; taking
        // and releasing the lock removes it unless another run holds it.
        struct stat st {};
        if (stat(fspath::ToFileSystem(RunLock::Path()).c_str(), &st) == 0) RunLock().Take();
        return;
    }
    RunLock lock;
    switch (lock.Take()) {
        case RunLock::Result::Taken:
            break;
        case RunLock::Result::Busy:
            AppendLog("• Auf diesen Datenbanken läuft gerade ein Vorgang (" + lock.Holder() + ").",
                      ColourRed);
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
                          " eines unterbrochenen Vorgangs ist unlesbar. Bitte prüfen Sie die "
                          "Datenbanken und ihre Datensicherungen (*.bak) und löschen Sie danach "
                          "die Journal-Datei.",
                      ColourRed);
            WriteAuditEntry(2, "Unterbrochener Vorgang: Journal-Datei unlesbar.");
            return;
        case RunJournal::LoadResult::Loaded:
            break;
    }
    const std::string found = journal.Describe();
    AppendLog("• Unterbrochener Vorgang gefunden: " + found + ".", ColourRed);
    switch (journal.stage) {
        case RunStage::Backup:
            RemoveBackupsAndJournal(journal);
            Report(found,
                   "Die Datensicherung war unvollständig, die Datenbanken sind unverändert; die "
                   "Teilsicherung wurde gelöscht.");
            return;
        case RunStage::Committed:
            RemoveBackupsAndJournal(journal);
            Report(found,
                   "Der Vorgang war abgeschlossen; die verbliebene Datensicherung wurde gelöscht.");
            return;
        case RunStage::Unchanged:
        case RunStage::Restored:
            RemoveBackupsAndJournal(journal);
            Report(found,
                   "Die Datenbanken waren unverändert oder schon wiederhergestellt; die "
                   "Datensicherung wurde gelöscht.");
            return;
        case RunStage::Changing:
        case RunStage::Failed:
            break;
    }
    if (!PutBackFiles(Paths(journal))) {
        journal.SetStage(RunStage::Failed);
        Report(
            found,
            "Die Wiederherstellung ist fehlgeschlagen. Weitere Vorgänge sind gesperrt, bis die "
            "Datenbanken wiederhergestellt sind; Tamaro versucht es beim nächsten Start erneut.");
        return;
    }
    if (journal.SetStage(RunStage::Restored)) RemoveBackupsAndJournal(journal);
    Report(found,
           "Die Datenbanken wurden aus der Datensicherung wiederhergestellt (Stand vor dem "
           "Vorgang).");
}
