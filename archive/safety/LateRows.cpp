#include "archive/safety/LateRows.h"

#include <map>
#include <vector>

#include "archive/rows/PatientRows.h"
#include "archive/rows/PidList.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "db/ArchiveDbPair.h"

bool ReportLateRows(RunKind kind, ArchiveDbPair* side, const std::string& pidList, bool undone) {
    if (!side) return true;
    const std::vector<std::string> parts = SplitPidList(pidList);
    std::vector<std::string> lines;
    for (ArchiveDbPair* db = side; db; db = db->Next) {
        for (const std::string& table : SplitTableList(db->Tables)) {
            std::map<int64_t, int64_t> rows;
            std::string error;
            if (!CountRowsPerPatient(*db, table, parts, rows, &error)) {
                lines.push_back("• " + db->DisplayName + "." + table + ": nicht lesbar (" + error +
                                ")");
                continue;
            }
            for (const auto& [pid, n] : rows)
                lines.push_back("• " + db->DisplayName + "." + table + ", Patient " +
                                std::to_string(pid) + ": " + EntriesText(n));
        }
    }
    if (lines.empty()) return true;
    const std::string saved =
        "Während des Vorgangs hat ein anderes Programm Einträge dieser "
        "Patienten in " +
        side->DisplayName + " gespeichert; ";
    const char* done = kind == RunKind::Archive   ? "archiviert"
                       : kind == RunKind::Restore ? "restauriert"
                                                  : "gelöscht";
    AppendLog(saved + (undone ? std::string("der Vorgang wurde zurückgenommen, sie sind dort "
                                            "geblieben:")
                              : std::string("sie sind nicht ") + done + ":"),
              ColourRed);
    for (const std::string& line : lines) AppendLog(line, ColourRed);
    AppendLog(std::string("Bitte prüfen Sie den Datenbestand (tamaro --headless --check) und ") +
                  (undone ? "löschen Sie diese Einträge oder übernehmen Sie sie von Hand."
                   : kind == RunKind::Delete
                       ? "löschen Sie diese Einträge."
                       : "restaurieren Sie die Patienten oder löschen Sie diese Einträge."),
              ColourRed);
    return false;
}
