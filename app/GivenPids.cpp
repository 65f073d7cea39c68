#include "app/GivenPids.h"

#include <set>
#include <unordered_set>

#include "app/PatientList.h"
#include "archive/rows/PatientRows.h"
#include "archive/rows/PidList.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "core/WindowServices.h"
#include "db/ArchiveDbPair.h"

namespace {

std::string JoinIds(const std::vector<int32_t>& ids) {
    std::string text;
    for (int32_t id : ids) text += (text.empty() ? "" : ", ") + std::to_string(id);
    return text;
}

// The ids of pids that have a row in "patienten" of the database; false when
// it is not connected or a query failed (reported in red).
bool FindPatients(ArchiveDbPair& db, const std::vector<int32_t>& pids, std::set<int32_t>& found) {
    std::string error;
    if (!db.Connection.IsOpen())
        error = db.DisplayName + " ist nicht verbunden.";
    else if (FindPatientRecords(db, SplitPidList(JoinPids(pids)), found, &error))
        return true;
    AppendLog("Fehler beim Prüfen der Patientennummern: " + error, ColourRed);
    return false;
}

// The refusal's line for ids that the side does not hold.
std::string MissingLine(const ArchiveDbPair& source, const std::vector<int32_t>& missing) {
    return std::string("\n• nicht ") +
           (source.DisplayName == "Archiv" ? "im Archiv" : "in Velunda") +
           " vorhanden: " + JoinIds(missing);
}

}  // namespace

bool ParsePidList(const std::string& text, std::vector<int32_t>& pids) {
    pids.clear();
    for (const std::string& part : PidListItems(text)) {
        int32_t pid = 0;
        if (!ParsePid(part, pid)) {
            pids.clear();
            return false;
        }
        pids.push_back(pid);
    }
    return !pids.empty();
}

std::string JoinPids(const std::vector<int32_t>& pids) {
    std::string text;
    for (int32_t id : pids) {
        if (!text.empty()) text += ',';
        text += std::to_string(id);
    }
    return text;
}

bool AdmitGivenPids(ArchiveDbPair* source, bool openBusiness, const std::vector<int32_t>& pids,
                    const std::string& participle) {
    std::vector<int32_t> twice, missing, hidden;
    std::set<int32_t> seen, reported;
    for (int32_t pid : pids)
        if (!seen.insert(pid).second && reported.insert(pid).second) twice.push_back(pid);

    std::set<int32_t> found;
    if (!FindPatients(*source, pids, found)) return false;
    std::unordered_set<int32_t> open;
    if (openBusiness && !CollectOpenBusiness(source, open)) {
        ShowWarning(
            "Die Patienten konnten nicht vollständig auf offene Leistungen, Rechnungen, eDokus, "
            "leere Scheine und Kassenbucheinträge geprüft werden (siehe Verlauf).\n"
            "Der Vorgang wird nicht gestartet.");
        return false;
    }
    std::set<int32_t> listed;
    for (int32_t pid : pids) {
        if (!listed.insert(pid).second) continue;
        if (!found.count(pid))
            missing.push_back(pid);
        else if (open.count(pid))
            hidden.push_back(pid);
    }
    if (twice.empty() && missing.empty() && hidden.empty()) return true;

    std::string text = "Diese Patienten können nicht " + participle + " werden:";
    if (!twice.empty()) text += "\n• mehrfach angegeben: " + JoinIds(twice);
    if (!missing.empty()) text += MissingLine(*source, missing);
    if (!hidden.empty())
        text +=
            "\n• mit offenen Leistungen, Rechnungen, eDokus, leeren Scheinen oder "
            "Kassenbucheinträgen: " +
            JoinIds(hidden);
    ShowWarning(text + "\nDer Vorgang wird nicht gestartet.");
    return false;
}

bool AdmitShownPatient(ArchiveDbPair* source, int32_t pid) {
    std::set<int32_t> found;
    if (!FindPatients(*source, {pid}, found)) return false;
    if (found.count(pid)) return true;
    ShowMessage("Dieser Patient kann nicht angezeigt werden:" + MissingLine(*source, {pid}));
    return false;
}
