#include "archive/safety/RunGate.h"

#include <vector>

#include "archive/safety/OtherAttachments.h"
#include "archive/safety/RunJournal.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "core/WindowServices.h"
#include "db/ArchiveDbPair.h"

namespace {

// The refusal while an interrupted run's journal is unresolved.
std::string UnfinishedRunText() {
    RunJournal found;
    const bool loaded = found.Load() == RunJournal::LoadResult::Loaded;
    if (loaded && found.stage == RunStage::Undecided && found.kind == RunKind::Maintenance)
        return "Ein früherer Vorgang ist nicht abgeschlossen (" + found.Describe() +
               "), und seine Datensicherung fehlt oder ist beschädigt.\n" +
               RunsLockedUntil("ein Administrator die Archivdatenbank aus der Sicherung der "
                               "Praxis zurückgelegt und die Journal-Datei entfernt hat");
    if (loaded && found.stage == RunStage::Undecided)
        return "Ein früherer Vorgang ist nicht abgeschlossen (" + found.Describe() +
               "), und die Datenbanken haben weder den Stand vor noch den nach dem Vorgang.\n" +
               RunsLockedUntil("ein Administrator den Datenbestand geprüft und die Journal-Datei "
                               "entfernt hat oder die Datenbanken wieder einen der beiden Stände "
                               "haben (Tamaro prüft es bei jedem Start)");
    if (loaded)
        return "Ein früherer Vorgang ist nicht abgeschlossen (" + found.Describe() +
               ").\n" + RunsLockedUntil("Tamaro ihn beim nächsten Start abgeschlossen hat");
    return "Ein früherer Vorgang ist nicht abgeschlossen, und Tamaro kann ihn nicht selbst "
           "abschließen (" +
           RunJournal::Path() +
           ").\n" +
           RunsLockedUntil("ein Administrator die Datenbanken geprüft und die Journal-Datei "
                           "entfernt hat");
}

// True when the databases are used by no other connection (Firebird).
bool NoOtherConnections(ArchiveDbPair* source, ArchiveDbPair* target) {
    std::vector<std::string> found;
    for (ArchiveDbPair* list : {source, target}) {
        for (ArchiveDbPair* db = list; db; db = db->Next) {
            std::string error;
            if (!OtherAttachments(*db, found, error))
                AppendLog("Die Verbindungen zu " + db->File() +
                              " konnten nicht gelesen werden: " + error,
                          ColourRed);
        }
    }
    if (found.empty()) return true;
    std::string text = "Die Datenbanken werden noch von anderen Verbindungen benutzt:\n";
    for (const std::string& line : found) text += line + "\n";
    ShowMessage(text + "Bitte beenden Sie diese Programme. Der Vorgang wird nicht gestartet.");
    return false;
}

}  // namespace

bool RunGate::AdmitRun(ArchiveDbPair* source, ArchiveDbPair* target) {
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
    // The backups of an interrupted run may be all that is left of its
    // databases' earlier state: no run may overwrite them.
    if (RunJournal::Exists()) {
        const std::string text = UnfinishedRunText();
        lock_.Release();
        ShowMessage(text);
        return false;
    }
    if (!NoOtherConnections(source, target)) {
        lock_.Release();
        return false;
    }
    return true;
}

bool RunGate::AdmitReader() {
    if (lock_.Take() != RunLock::Result::Busy) return true;
    ShowMessage(RunLock::BusyText(lock_.Holder()));
    return false;
}
