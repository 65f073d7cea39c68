#include "archive/runs/DeletePatientsRun.h"

#include "archive/rows/DeletePatients.h"
#include "archive/rows/PidList.h"
#include "archive/rows/TableCopy.h"
#include "archive/runs/RunProgressCounter.h"
#include "archive/safety/RunSafety.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "core/WindowServices.h"
#include "db/ArchiveDbPair.h"
#include "db/DatabaseSet.h"

namespace {

// The fingerprint of every table's rows of the patients, read inside the
// run's transactions before anything is deleted: the journal keeps them, so
// that an interrupted commit sequence is finished only over these rows.
bool PrintRows(ArchiveDbPair* list, const std::vector<std::string>& parts,
               std::vector<TableCount>& printed, RunProgressCounter& progress) {
    TableCopy reader(parts, nullptr);
    for (ArchiveDbPair* db = list; db; db = db->Next) {
        for (const std::string& table : SplitTableList(db->Tables)) {
            RowsPrint print;
            std::string error;
            if (!reader.Print(*db, table, *db, print, nullptr, &error)) {
                AppendLog("Fehler beim Lesen von " + db->DisplayName + "." + table + ": " + error,
                          ColourRed);
                return false;
            }
            printed.push_back({db->File(), table, print.rows, print.sum});
            progress.TableRead(print.rows);
        }
    }
    return true;
}

}  // namespace

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
        const std::vector<std::string> parts = SplitPidList(pidList);
        RunProgressCounter progress(RunKind::Delete);
        progress.Start(source);
        std::vector<TableCount> printed, deleted;
        RunSafety::Outcome outcome = RunSafety::Outcome::NothingCommitted;
        bool changed = false;
        if (PrintRows(source, parts, printed, progress)) {
            AppendLog("• Patienten löschen...");
            DeleteOptions options;
            options.deleted = &deleted;
            options.announce = false;
            options.afterTable = [&progress](int64_t rows) { return progress.Deleted(rows); };
            changed = true;
            // A row another program added after the reading would be
            // deleted unrecorded.
            if (DeletePatients(source, pidList, options) &&
                DeletedAsCounted(source, deleted, printed, "gelesen") && !StopRequestedDuringRun())
                outcome = safety.Commit(printed);
        }
        progress.End();
        if (outcome == RunSafety::Outcome::Committed) {
            AnnounceDeletion(source);
            AppendLog("• Datensicherung löschen...");
            safety.Finish();
            ok = true;
        } else if (outcome == RunSafety::Outcome::NothingCommitted && changed) {
            AppendLog("• Daten wieder herstellen...");
            safety.RollBack();
        } else if (outcome == RunSafety::Outcome::NothingCommitted) {
            AppendLog("• Datensicherung löschen...");
            safety.Discard();
        }
    }
    LogReady(start);
    return ok;
}
