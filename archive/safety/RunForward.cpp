#include "archive/safety/RunForward.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "archive/rows/RunCheckpoint.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "core/RunProgress.h"
#include "db/ArchiveDbPair.h"
#include "db/DatabaseKind.h"

namespace {

std::string Seconds(int s) {
    return std::to_string(s) + " s";
}

}  // namespace

bool IsShortFault(const std::string& state) {
    return state.rfind("08", 0) == 0 || state == "40001" || state == "HYT00" || state == "HYT01";
}

bool ShortFaultRetry::Wait(const std::string& file, const std::string& reason) {
    constexpr uint64_t kBudgetMs = 120 * 1000;
    const uint64_t now = TickCount();
    if (first_ == 0) first_ = now == 0 ? 1 : now;
    const int pause = std::min(30, 1 << std::min(tries_, 5));
    if (now - first_ + uint64_t(pause) * 1000 > kBudgetMs) return false;
    ++tries_;
    AppendLog("• " + file + ": " + reason + " Neuer Versuch in " + Seconds(pause) + ".");
    // The wait keeps the progress display alive, which lets the window paint.
    for (int left = pause * 10; left > 0; --left) {
        if (left % 10 == 0)
            ReportRunWait(verb_ + ": warte auf " + file + ", neuer Versuch in " +
                          Seconds(left / 10));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

CommitResult CommitWithRetry(ArchiveDbPair& db, ShortFaultRetry& retry) {
    bool failed = false;
    while (true) {
        if (db.Connection.TryCommit()) {
            // A driver may have let go of a transaction whose commit failed
            // and then report a later commit of nothing as done: after a
            // failed try only the tables can say whether it committed.
            if (!failed) return CommitResult::Committed;
            db.Connection.Disconnect();
            return CommitResult::Lost;
        }
        failed = true;
        const std::string state = db.Connection.TransactionState();
        const std::string error = db.Connection.TransactionError();
        if (state.rfind("08", 0) == 0) {
            // The transaction went with the connection; whether its commit
            // arrived first, the tables tell.
            AppendLog("• " + db.File() + ": Verbindung beim Speichern verloren (" + error + ").");
            db.Connection.Disconnect();
            return CommitResult::Lost;
        }
        if (!IsShortFault(state) ||
            !retry.Wait(db.File(), "Speichern nicht möglich (" + error + ").")) {
            AppendLog("Fehler beim Speichern der Änderungen in " + db.File() + ": " + error,
                      ColourRed);
            // Refused for good: what is left of the transaction is rolled back.
            db.Connection.EndTransaction(false);
            return CommitResult::Refused;
        }
    }
}

bool Reconnect(ArchiveDbPair& db, ShortFaultRetry& retry) {
    while (true) {
        db.Connection.Disconnect();
        const std::string connStr = KindOfExtension(db.Extension) == DatabaseKind::Firebird
                                        ? FirebirdConnectionString(db.FileName)
                                        : AccessConnectionString(db.FileName);
        if (db.Connection.OpenConnection(connStr)) return true;
        if (!retry.Wait(db.File(), "Keine Verbindung.")) {
            AppendLog("• " + db.File() + " ist nicht erreichbar.", ColourRed);
            return false;
        }
    }
}

bool RecordCommitting(RunJournal& journal, const std::string& file) {
    journal.committing = file;
    RunCheckpoint("precommit");
    if (journal.Save()) return true;
    journal.committing.clear();
    AppendLog("Fehler beim Schreiben der Journal-Datei " + RunJournal::Path(), ColourRed);
    return false;
}
