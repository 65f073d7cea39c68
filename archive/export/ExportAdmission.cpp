#include "archive/export/ExportAdmission.h"

#include <map>
#include <set>
#include <string>

#include "archive/rows/PatientRows.h"
#include "archive/rows/PidList.h"
#include "archive/safety/RunJournal.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "core/WindowServices.h"
#include "db/ArchiveDbPair.h"

namespace {

const char* kNothingExported = "Es wird nichts exportiert.";

std::string Joined(const std::set<int32_t>& ids) {
    std::string text;
    for (int32_t id : ids) text += (text.empty() ? "" : ", ") + std::to_string(id);
    return text;
}

std::string ListOf(const std::set<int32_t>& ids) {
    std::string list;
    for (int32_t id : ids) list += (list.empty() ? "" : ",") + std::to_string(id);
    return list;
}

// "im Archiv", "in Velunda".
std::string InSide(const ArchiveDbPair& side) {
    return side.DisplayName == "Archiv" ? "im Archiv" : "in " + side.DisplayName;
}

bool Connected(ArchiveDbPair* side) {
    for (ArchiveDbPair* db = side; db; db = db->Next) {
        if (db->Connection.IsOpen()) continue;
        AppendLog("Fehler beim Export: " + db->DisplayName + " ist nicht verbunden.", ColourRed);
        return false;
    }
    return true;
}

// The ids that have rows in any table of the side; false when a count failed.
bool WithRows(ArchiveDbPair* side, const std::set<int32_t>& ids, std::set<int32_t>& found) {
    const std::vector<std::string> parts = SplitPidList(ListOf(ids));
    for (ArchiveDbPair* db = side; db; db = db->Next) {
        for (const std::string& table : SplitTableList(db->Tables)) {
            std::map<int64_t, int64_t> rows;
            std::string error;
            if (!CountRowsPerPatient(*db, table, parts, rows, &error)) {
                AppendLog("Fehler beim Prüfen von " + db->DisplayName + "." + table + ": " + error,
                          ColourRed);
                return false;
            }
            for (const auto& [pid, n] : rows)
                if (n > 0) found.insert(int32_t(pid));
        }
    }
    return true;
}

}  // namespace

bool AdmitExport(ArchiveDbPair* source, ArchiveDbPair* other, const std::vector<int32_t>& pids) {
    if (!Connected(source) || !Connected(other)) return false;

    std::set<int32_t> ids, twice, missing, both, journaled;
    for (int32_t pid : pids)
        if (!ids.insert(pid).second) twice.insert(pid);

    RunJournal journal;
    if (RunJournal::Exists()) {
        if (journal.Load() == RunJournal::LoadResult::Unreadable) {
            ShowWarning(
                "Ein früherer Vorgang ist nicht abgeschlossen, und Tamaro kann nicht "
                "lesen, welche Patienten er betrifft (" +
                RunJournal::Path() + ").\n" + kNothingExported);
            return false;
        }
        if (journal.kind == RunKind::Maintenance && source->DisplayName == "Archiv") {
            ShowWarning("Eine Wartung der Archivdatenbank ist nicht abgeschlossen (" +
                        journal.Describe() + ").\n" + kNothingExported);
            return false;
        }
        for (const std::string& item : PidListItems(journal.pids)) {
            int32_t pid = 0;
            if (ParsePid(item, pid) && ids.count(pid)) journaled.insert(pid);
        }
    }

    std::set<int32_t> present, elsewhere;
    std::string error;
    if (!FindPatientRecords(*source, SplitPidList(ListOf(ids)), present, &error)) {
        AppendLog("Fehler beim Prüfen der Patientennummern: " + error, ColourRed);
        return false;
    }
    if (!WithRows(other, ids, elsewhere)) return false;
    for (int32_t pid : ids)
        if (!present.count(pid))
            missing.insert(pid);
        else if (elsewhere.count(pid))
            both.insert(pid);
    if (twice.empty() && missing.empty() && both.empty() && journaled.empty()) return true;

    std::string text = "Diese Patienten können nicht exportiert werden:";
    if (!twice.empty()) text += "\n• mehrfach angegeben: " + Joined(twice);
    if (!missing.empty()) text += "\n• nicht " + InSide(*source) + " vorhanden: " + Joined(missing);
    if (!both.empty())
        text += "\n• haben Einträge " + InSide(*source) + " und " + InSide(*other) +
                " (Datenbestand prüfen zeigt, welche): " + Joined(both);
    if (!journaled.empty())
        text += "\n• gehören zu einem nicht abgeschlossenen Vorgang (" + journal.Describe() +
                "): " + Joined(journaled);
    ShowWarning(text + "\n" + kNothingExported);
    return false;
}
