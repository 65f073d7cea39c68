#include "archive/DeletePatientsRun.h"

#include "archive/DeletePatients.h"
#include "archive/RunSafety.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "core/WindowServices.h"
#include "db/DatabaseSet.h"

bool DeletePatientsRun(DatabaseSet& set, const std::string& pidList) {
    // The side the run was started on, whatever the window shows meanwhile.
    ArchiveDbPair* const source = set.SourceList;
    RunSafety safety(RunKind::Delete, source, nullptr, pidList);
    if (!safety.Admit()) return false;

    const uint64_t start = TickCount();
    WaitCursor cursor;
    AppendLog("Patienten löschen aus " + source->DisplayName + "...", ColourBlue);
    AppendLog("• Datensicherung...");
    bool ok = false;
    if (!safety.Backup()) {
        safety.Discard();
    } else {
        AppendLog("• Patienten löschen...");
        if (DeletePatients(source, pidList) && safety.Commit()) {
            AppendLog("• Datensicherung löschen...");
            safety.Finish();
            ok = true;
        } else {
            AppendLog("• Daten wieder herstellen...");
            safety.RollBack();
        }
    }
    LogReady(start);
    return ok;
}
