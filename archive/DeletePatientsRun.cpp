#include "archive/DeletePatientsRun.h"

#include "archive/DeletePatients.h"
#include "archive/PidList.h"
#include "archive/RunProgressCounter.h"
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
    if (!safety.Backup() || !safety.Begin()) {
        safety.Discard();
    } else {
        RunProgressCounter progress(RunKind::Delete);
        progress.CountRows(source, SplitPidList(pidList), 1);
        AppendLog("• Patienten löschen...");
        std::vector<TableCount> deleted;
        DeleteOptions options;
        options.deleted = &deleted;
        options.announce = false;
        options.afterTable = [&progress](int64_t rows) { return progress.Step(rows); };
        RunSafety::Outcome outcome = RunSafety::Outcome::NothingCommitted;
        if (DeletePatients(source, pidList, options) && !StopRequestedDuringRun())
            outcome = safety.Commit(deleted);
        progress.End();
        if (outcome == RunSafety::Outcome::Committed) {
            AnnounceDeletion(source);
            AppendLog("• Datensicherung löschen...");
            safety.Finish();
            ok = true;
        } else if (outcome == RunSafety::Outcome::NothingCommitted) {
            AppendLog("• Daten wieder herstellen...");
            safety.RollBack();
        }
    }
    LogReady(start);
    return ok;
}
