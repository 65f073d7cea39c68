#include "archive/runs/TransferPatients.h"

#include <ctime>
#include <vector>

#include "archive/rows/DeletePatients.h"
#include "archive/rows/PidList.h"
#include "archive/rows/RunCheckpoint.h"
#include "archive/rows/StatementObserver.h"
#include "archive/rows/TableCopy.h"
#include "archive/runs/ArchiveHistory.h"
#include "archive/runs/RunProgressCounter.h"
#include "archive/safety/RunSafety.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "core/RunProgress.h"
#include "core/WindowServices.h"
#include "db/ArchiveDbPair.h"
#include "db/DatabaseSet.h"
#include "db/ODBCStmt.h"
#include "db/OdbcResult.h"
#include "users/AuditLog.h"

namespace {

class TransferRun {
  public:
    // The run keeps the two sides it was started with: the window may switch
    // its view while the run lets it process messages.
    TransferRun(DatabaseSet& set, IComboBox& history, const std::string& pidList)
        : set_(set),
          source_(set.SourceList),
          target_(set.TargetList),
          history_(history),
          pidList_(pidList),
          pidParts_(SplitPidList(pidList)),
          archiving_(source_ == set.VelundaList),
          progress_(archiving_ ? RunKind::Archive : RunKind::Restore) {}

    // True when the run succeeded.
    bool Run();

  private:
    // Copies every table of the source; false when the run failed.
    bool CopyTables(TableCopy& copy);
    // Deletes in the source and compares each table's count with its copy.
    bool DeleteInSource();
    // Stores the archiving run in the history; false when the row could not
    // be written (logged in red).
    bool WriteHistory();

    DatabaseSet& set_;
    ArchiveDbPair* const source_;
    ArchiveDbPair* const target_;
    IComboBox& history_;
    const std::string& pidList_;
    std::vector<std::string> pidParts_;
    const bool archiving_;
    RunProgressCounter progress_;
    std::vector<TableCount> copied_;
};

bool TransferRun::Run() {
    RunSafety safety(archiving_ ? RunKind::Archive : RunKind::Restore, source_, target_, pidList_);
    if (!safety.Admit()) return false;

    const uint64_t start = TickCount();
    WaitCursor cursor;
    AppendLog("Datentransfer " + source_->DisplayName + " -> " + target_->DisplayName + "...",
              ColourBlue);

    AppendLog("• Datensicherung...");
    bool ok = safety.Backup() && safety.Begin();
    if (ok) progress_.Start(source_);
    TableCopy copy(pidParts_, [this] { return progress_.RowRead(); });
    ok = ok && CopyTables(copy);
    ok = ok && DeleteInSource();

    bool historyWritten = true, historyTried = false;
    if (ok && archiving_) {
        historyTried = true;
        historyWritten = WriteHistory();
        RunCheckpoint("history");
    }
    ok = ok && !StopRequestedDuringRun();

    RunSafety::Outcome outcome = RunSafety::Outcome::NothingCommitted;
    if (ok) outcome = safety.Commit(copied_);
    progress_.End();
    if (outcome == RunSafety::Outcome::Interrupted) {
        LogReady(start);
        return false;
    }
    if (outcome != RunSafety::Outcome::Committed && (copy.RowsInserted() || historyTried)) {
        AppendLog("• Daten wieder herstellen...");
        safety.RollBack();
    } else if (outcome != RunSafety::Outcome::Committed) {
        AppendLog("• Datensicherung löschen...");
        safety.Discard();
    } else {
        // The other programs hear of the deletion once it is committed.
        if (archiving_) AnnounceDeletion(source_);
        if (archiving_) {
            FillArcHist(*target_, history_);
            WriteAuditEntry(2, "Patienten erfolgreich archiviert.");
            // The missing history row is a program event of its own, beside
            // the run's result that filters of the audit table look for.
            if (!historyWritten)
                WriteAuditEntry(1, "Archivierung von " + std::to_string(PidCount(pidList_)) +
                                       " Patienten nicht in der History gespeichert.");
        } else {
            WriteAuditEntry(2, "Patienten erfolgreich restauriert.");
        }
        AppendLog("• Datensicherung löschen...");
        safety.Finish();
    }
    LogReady(start);
    return outcome == RunSafety::Outcome::Committed;
}

bool TransferRun::CopyTables(TableCopy& copy) {
    for (ArchiveDbPair* db = source_; db; db = db->Next) {
        for (const std::string& table : SplitTableList(db->Tables)) {
            int64_t rows = 0;
            RowsPrint print;
            if (!copy.Copy(*db, table, target_, rows, &print)) {
                StopRequestedDuringRun();
                return false;
            }
            copied_.push_back({db->File(), table, rows, print.sum});
            progress_.TableRead(rows);
            if (copy.RowsInserted()) RunCheckpoint("inserts");
        }
    }
    return true;
}

bool TransferRun::DeleteInSource() {
    AppendLog("• Daten aus Quelle löschen");
    std::vector<TableCount> deleted;
    DeleteOptions options;
    options.deleted = &deleted;
    options.announce = false;
    options.afterTable = [this](int64_t rows) { return progress_.Deleted(rows); };
    if (!DeletePatients(source_, pidList_, options)) {
        StopRequestedDuringRun();
        return false;
    }
    // A row another program added after the copy would be deleted uncopied.
    return DeletedAsCounted(source_, deleted, copied_, "kopiert");
}

bool TransferRun::WriteHistory() {
    ODBCStmt stmt(target_->Connection);
    AppendLog("• Vorgang in History speichern...");
    const int32_t now = int32_t(uint32_t(uint64_t(std::time(nullptr))));
    const std::string sql = "insert into archist (datum,pidlist) values(" + std::to_string(now) +
                            ",'" + pidList_ + "')";
    ObserveStatement(*target_, sql);
    if (SqlExecuted(stmt.Execute(sql))) return true;
    // The run stands, but a lost history row is no ordinary line.
    AppendLog(
        "Fehler beim Aktualisieren der History: " + target_->Connection.GetErrorText(stmt.Handle()),
        ColourRed);
    return false;
}

}  // namespace

bool TransferPatients(DatabaseSet& set, IComboBox& history, const std::string& pidList) {
    return TransferRun(set, history, pidList).Run();
}
