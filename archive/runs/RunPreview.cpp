#include "archive/runs/RunPreview.h"

#include <algorithm>

#include "archive/rows/PatientRows.h"
#include "archive/rows/PidList.h"
#include "archive/safety/RunSafety.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "core/WindowServices.h"
#include "db/ArchiveDbPair.h"
#include "db/DatabaseSet.h"

namespace {

// The rows of the patients in one table, counted as the run counts them;
// false (red line, continuing the table's line) when a count failed.
bool CountRows(ArchiveDbPair& db, const std::string& table, const std::vector<std::string>& parts,
               int64_t& rows) {
    std::string error;
    if (CountPatientRows(db, table, parts, rows, &error)) return true;
    AppendLog("\r\nFehler beim Zählen: " + error, ColourRed);
    return false;
}

std::string Heading(RunKind kind, ArchiveDbPair* source, ArchiveDbPair* target, int patients) {
    const std::string count = " (" + std::to_string(patients) + " Patienten)";
    if (kind == RunKind::Delete)
        return "Vorschau: Patienten löschen aus " + source->DisplayName + count;
    return "Vorschau: Datentransfer " + source->DisplayName + " -> " + target->DisplayName + count;
}

}  // namespace

const char* RunParticiple(RunKind kind) {
    switch (kind) {
        case RunKind::Archive:
            return "archiviert";
        case RunKind::Restore:
            return "restauriert";
        case RunKind::Delete:
        case RunKind::Maintenance:
            break;
    }
    return "gelöscht";
}

bool PreviewRun(DatabaseSet& set, RunKind kind, const std::string& pidList, RunPlan& plan) {
    plan = RunPlan();
    // The sides the run would be started with.
    ArchiveDbPair* const source = set.SourceList;
    ArchiveDbPair* const target = kind == RunKind::Delete ? nullptr : set.TargetList;
    // The run's own admission: the preview refuses what the run would.
    RunSafety admission(kind, source, target, pidList);
    if (!admission.Admit()) return false;

    const uint64_t start = TickCount();
    WaitCursor cursor;
    const std::vector<std::string> parts = SplitPidList(pidList);
    plan.patients = int(PidCount(pidList));
    AppendLog(Heading(kind, source, target, plan.patients), ColourBlue);

    bool complete = true;
    for (ArchiveDbPair* db = source; db; db = db->Next) {
        for (const std::string& table : SplitTableList(db->Tables)) {
            // The run stops at a table the other side does not hold.
            if (target && !FindDatabaseForTable(target, table)) {
                AppendLog("Tabelle " + table + " in " + target->DisplayName + " nicht gefunden.",
                          ColourRed);
                complete = false;
                continue;
            }
            AppendLog("• " + db->DisplayName + "." + table, 0, LogNoLineEnd);
            int64_t rows = 0;
            if (!CountRows(*db, table, parts, rows)) {
                complete = false;
                continue;
            }
            AppendLog(" (" + std::to_string(rows) + " Einträge)", ColourCount);
            plan.tables.push_back({db->DisplayName, table, rows});
            plan.total += rows;
        }
    }
    AppendLog("Gesamt: " + std::to_string(plan.total) + " Einträge würden " + RunParticiple(kind) +
                  " werden; es wurde nichts geändert.",
              ColourCount);
    LogReady(start);
    return complete;
}
