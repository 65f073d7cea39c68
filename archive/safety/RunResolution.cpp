#include "archive/safety/RunResolution.h"

#include <algorithm>

#include "archive/rows/DeletePatients.h"
#include "archive/rows/PidList.h"
#include "archive/rows/RunCheckpoint.h"
#include "archive/rows/StatementObserver.h"
#include "archive/rows/TableCopy.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "db/ArchiveDbPair.h"
#include "db/DatabaseSet.h"
#include "db/ODBCStmt.h"
#include "db/OdbcResult.h"

namespace {

// A database whose tables keep changing under the decision is left to the
// next start after this many decisions.
constexpr int kMostDecisions = 5;

const TableCount* Expected(const RunJournal& journal, const std::string& file,
                           const std::string& table) {
    for (const TableCount& c : journal.counts)
        if (c.file == file && c.table == table) return &c;
    return nullptr;
}

// Whether db answers a statement: a connection that a server restart broke
// still counts as open until it is used.
bool Answers(ArchiveDbPair& db) {
    if (!db.Connection.IsOpen()) return false;
    const std::vector<std::string> tables = SplitTableList(db.Tables);
    if (tables.empty()) return true;
    ODBCStmt probe(db.Connection);
    return SqlExecuted(probe.Execute("select count(*) from " + tables.front() + " where 1=0"));
}

// The patients' rows deleted from db alone, in its open transaction and
// without the run's heading lines; deleted gets the rows of each table.
bool DeleteInOne(ArchiveDbPair& db, const std::string& pids, std::vector<TableCount>& deleted) {
    DeleteOptions options;
    options.deleted = &deleted;
    options.announce = false;
    options.singleDatabase = true;
    return DeletePatients(&db, pids, options);
}

// The part of the run that falls to db, done again in a transaction of its
// own (already begun): a target database gets its tables copied from the
// source, a source database loses the run's rows. False when a step fails
// or the rows differ from the journal (both said in red).
bool Redo(const RunJournal& journal, ArchiveDbPair& db, bool isTarget, ArchiveDbPair* source,
          ArchiveDbPair* target) {
    const std::vector<std::string> parts = SplitPidList(journal.pids);
    if (isTarget) {
        TableCopy copy(parts, nullptr);
        for (ArchiveDbPair* from = source; from; from = from->Next) {
            for (const std::string& table : SplitTableList(from->Tables)) {
                if (FindDatabaseForTable(target, table) != &db) continue;
                const TableCount* expected = Expected(journal, from->File(), table);
                int64_t rows = 0;
                RowsPrint print;
                if (!copy.Copy(*from, table, target, rows, &print)) return false;
                if (!expected || !expected->print ||
                    print != RowsPrint{expected->rows, *expected->print}) {
                    AppendLog("• " + db.DisplayName + "." + table + ": " + EntriesText(rows) +
                                  " kopiert, nicht die des Vorgangs",
                              ColourRed);
                    return false;
                }
            }
        }
        return true;
    }
    std::vector<TableCount> deleted;
    if (!DeleteInOne(db, journal.pids, deleted)) return false;
    for (const TableCount& c : deleted) {
        const TableCount* expected = Expected(journal, c.file, c.table);
        const int64_t want = expected ? expected->rows : -1;
        if (c.rows == want) continue;
        AppendLog("• " + db.DisplayName + "." + c.table + ": " + std::to_string(c.rows) +
                      " statt " + EntriesText(want < 0 ? 0 : want) + " gelöscht",
                  ColourRed);
        return false;
    }
    return true;
}

// The transaction of db ends; a connection that broke meanwhile is left to
// the next round trip.
void RollBack(ArchiveDbPair& db) {
    if (db.Connection.InTransaction()) db.Connection.EndTransaction(false);
}

}  // namespace

RunResolution::RunResolution(RunJournal& journal, ArchiveDbPair* source, ArchiveDbPair* target)
    : journal_(journal), source_(source), target_(target), tables_(journal, source, target) {}

bool RunResolution::Reachable(ShortFaultRetry& retry) {
    for (ArchiveDbPair* list : {target_, source_})
        for (ArchiveDbPair* db = list; db; db = db->Next)
            if (!Answers(*db) && !Reconnect(*db, retry)) return false;
    return true;
}

bool RunResolution::ReadAll(ShortFaultRetry& retry) {
    while (true) {
        std::string error;
        ArchiveDbPair* unread = nullptr;
        for (ArchiveDbPair* list : {target_, source_})
            for (ArchiveDbPair* db = list; db && !unread; db = db->Next)
                if (!tables_.Read(*db, &error)) unread = db;
        if (!unread) return true;
        // Unread is unknown, never different: tried again, reconnected.
        if (!retry.Wait(unread->File(), "Nicht lesbar (" + error + ").")) {
            AppendLog("• " + error, ColourRed);
            return false;
        }
        if (!Reachable(retry)) return false;
    }
}

bool RunResolution::Classify(std::vector<Database>& dbs) {
    dbs.clear();
    for (const std::string& file : journal_.CommitOrder()) {
        Database d;
        d.db = tables_.Find(file);
        if (!d.db) {
            AppendLog("• " + file + " ist nicht verbunden.", ColourRed);
            return false;
        }
        d.isTarget = tables_.IsTarget(*d.db);
        d.rows = tables_.HasRunRows(*d.db);
        if (!d.rows) {
            // Nothing of the run there: done either way.
            d.committed = true;
        } else if (file == journal_.committing) {
            // Whether the commit announced last arrived, the tables tell: a
            // commit changes every table at once, so a table that holds
            // exactly the run's rows, or none of them, shows it; a table
            // another program has changed since shows nothing. Tables that
            // say both, or none that says anything, leave it open.
            bool run = false, none = false;
            for (const RunTable& t : *tables_.TablesOf(*d.db)) {
                if (!t.expected || t.expected->rows == 0) continue;
                if (t.HoldsRun())
                    run = true;
                else if (t.HoldsNone())
                    none = true;
            }
            if (run == none)
                d.ambiguous = true;
            else
                d.committed = d.isTarget ? run : none;
        } else {
            d.committed = journal_.IsCommitted(file);
        }
        dbs.push_back(d);
    }
    return true;
}

std::map<const ArchiveDbPair*, bool> RunResolution::ExpectRun(
    const std::vector<Database>& dbs) const {
    // A committed target is to hold the copies, a source not committed the rows.
    std::map<const ArchiveDbPair*, bool> expect;
    for (const Database& d : dbs) expect[d.db] = !d.ambiguous && d.isTarget == d.committed;
    return expect;
}

void RunResolution::NameDifferences(const std::vector<Database>& dbs, bool forwardOnly) {
    const auto expect = ExpectRun(dbs);
    for (const Database& d : dbs) {
        if (d.ambiguous) {
            AppendLog("• " + d.db->File() +
                          " sollte gerade speichern und hat weder den Stand vor noch den nach "
                          "dem Vorgang:",
                      ColourRed);
            tables_.NameDifferences(*d.db, expect);
        } else if (expect.at(d.db) && !tables_.HoldsRun(*d.db) && (!forwardOnly || !d.isTarget)) {
            tables_.NameDifferences(*d.db, expect);
        } else if (!forwardOnly && !d.isTarget && d.committed && d.rows) {
            AppendLog("• " + d.db->DisplayName + " (" + d.db->File() +
                          ") hat die Einträge des Vorgangs schon gelöscht.",
                      ColourRed);
        }
    }
}

Resolution RunResolution::Resolve() {
    for (int decision = 0; decision < kMostDecisions; ++decision) {
        ShortFaultRetry retry(journal_.kind);
        if (!Reachable(retry) || !ReadAll(retry)) return Resolution::Stopped;
        std::vector<Database> dbs;
        if (!Classify(dbs)) return Resolution::Stopped;
        bool ambiguous = false, anyCommitted = false, sourceGone = false, targetsKept = true,
             sourcesKept = true;
        for (const Database& d : dbs) {
            ambiguous = ambiguous || d.ambiguous;
            if (!d.rows || d.ambiguous) continue;
            anyCommitted = anyCommitted || d.committed;
            if (d.isTarget && d.committed) targetsKept = targetsKept && tables_.HoldsRun(*d.db);
            if (!d.isTarget && !d.committed) sourcesKept = sourcesKept && tables_.HoldsRun(*d.db);
            if (!d.isTarget && d.committed) sourceGone = true;
        }
        if (!ambiguous && !anyCommitted) return Resolution::NothingCommitted;
        const bool forward = !ambiguous && targetsKept && sourcesKept;
        const bool backward = !ambiguous && target_ && targetsKept && !sourceGone;
        // A run already on its way back goes on back while it can.
        const bool goBack = backward && (journal_.backward || !forward);
        Step step;
        if (goBack) {
            if (!journal_.backward) {
                // What stands in the way of finishing the run.
                NameDifferences(dbs, true);
                AppendLog("• Der Vorgang wird zurückgenommen...");
            }
            step = Backward(dbs);
            if (step == Step::Done) return Resolution::Backward;
        } else if (forward) {
            if (decision == 0) AppendLog("• Der Vorgang wird zu Ende geführt...");
            step = Forward(dbs);
            if (step == Step::Done) return Resolution::Forward;
        } else {
            NameDifferences(dbs, false);
            return Resolution::Undecided;
        }
        if (step == Step::Stop) return Resolution::Stopped;
    }
    AppendLog("• Die Datenbanken des Vorgangs ändern sich fortwährend.", ColourRed);
    return Resolution::Stopped;
}

RunResolution::Step RunResolution::Forward(std::vector<Database>& dbs) {
    for (Database& d : dbs) {
        const std::string file = d.db->File();
        if (d.committed) {
            if (!journal_.IsCommitted(file)) journal_.committed.push_back(file);
            continue;
        }
        ShortFaultRetry retry(journal_.kind);
        while (true) {
            if (!RecordCommitting(journal_, file)) return Step::Stop;
            if (!d.db->Connection.BeginTransaction()) {
                AppendLog("• " + file + ": " + d.db->Connection.GetErrorText(nullptr), ColourRed);
                return Step::Stop;
            }
            // Checked again inside the transaction, which keeps the tables as
            // they are read until it ends: a source must still hold the run's
            // rows, a target what it held at the decision.
            const std::vector<RunTable> decided =
                tables_.TablesOf(*d.db) ? *tables_.TablesOf(*d.db) : std::vector<RunTable>();
            std::string error;
            bool same = tables_.Read(*d.db, &error);
            if (same && d.isTarget) {
                const std::vector<RunTable>& now = *tables_.TablesOf(*d.db);
                for (size_t i = 0; i < now.size() && same; ++i)
                    same = i < decided.size() && now[i].total == decided[i].total;
            } else if (same) {
                same = tables_.HoldsRun(*d.db);
            }
            if (!same) {
                RollBack(*d.db);
                return Step::Again;
            }
            if (!Redo(journal_, *d.db, d.isTarget, source_, target_)) {
                std::string state;
                const std::string error = d.db->Connection.GetErrorText(nullptr, &state);
                RollBack(*d.db);
                if (IsShortFault(state) && retry.Wait(file, "Fehler (" + error + ").") &&
                    Reconnect(*d.db, retry))
                    continue;
                return Step::Stop;
            }
            const CommitResult result = CommitWithRetry(*d.db, retry);
            if (result == CommitResult::Refused) return Step::Stop;
            // Lost: connected again, its tables tell whether it arrived.
            if (result == CommitResult::Lost)
                return Reconnect(*d.db, retry) ? Step::Again : Step::Stop;
            break;
        }
        journal_.committed.push_back(file);
        journal_.committing.clear();
        d.committed = true;
        RunCheckpoint("commit");
    }
    journal_.committing.clear();
    return Step::Done;
}

bool RunResolution::Undo(ArchiveDbPair& db) {
    std::vector<TableCount> deleted;
    if (!DeleteInOne(db, journal_.pids, deleted)) return false;
    const std::vector<RunTable>* tables = tables_.TablesOf(db);
    for (const TableCount& c : deleted) {
        int64_t want = 0;
        if (tables)
            for (const RunTable& t : *tables)
                if (t.table == c.table && t.expected) want = t.expected->rows;
        if (c.rows == want) continue;
        AppendLog("• " + db.DisplayName + "." + c.table + ": " + std::to_string(c.rows) +
                      " statt " + EntriesText(want) + " gelöscht",
                  ColourRed);
        return false;
    }
    if (journal_.kind != RunKind::Archive || &db != target_) return true;
    // The archive's history row of this run goes with its copies.
    ODBCStmt history(db.Connection);
    const std::string sql = "delete from archist where pidlist = '" + journal_.pids +
                            "' and datum >= " + std::to_string(journal_.started);
    ObserveStatement(db, sql);
    if (SqlExecuted(history.Execute(sql))) return true;
    AppendLog(
        "Fehler beim Löschen:\r\n" + sql + "\r\n" + db.Connection.GetErrorText(history.Handle()),
        ColourRed);
    return false;
}

RunResolution::Step RunResolution::Backward(std::vector<Database>& dbs) {
    journal_.backward = true;
    for (auto d = dbs.rbegin(); d != dbs.rend(); ++d) {
        if (!d->isTarget || !d->committed || !d->rows) continue;
        const std::string file = d->db->File();
        ShortFaultRetry retry(journal_.kind);
        while (true) {
            if (!journal_.IsCommitted(file)) journal_.committed.push_back(file);
            if (!RecordCommitting(journal_, file)) return Step::Stop;
            if (!d->db->Connection.BeginTransaction()) {
                AppendLog("• " + file + ": " + d->db->Connection.GetErrorText(nullptr), ColourRed);
                return Step::Stop;
            }
            std::string error;
            if (!tables_.Read(*d->db, &error) || !tables_.HoldsRun(*d->db)) {
                RollBack(*d->db);
                return Step::Again;
            }
            if (!Undo(*d->db)) {
                std::string state;
                const std::string error = d->db->Connection.GetErrorText(nullptr, &state);
                RollBack(*d->db);
                if (IsShortFault(state) && retry.Wait(file, "Fehler (" + error + ").") &&
                    Reconnect(*d->db, retry))
                    continue;
                return Step::Stop;
            }
            const CommitResult result = CommitWithRetry(*d->db, retry);
            if (result == CommitResult::Refused) return Step::Stop;
            if (result == CommitResult::Lost)
                return Reconnect(*d->db, retry) ? Step::Again : Step::Stop;
            break;
        }
        journal_.committed.erase(
            std::remove(journal_.committed.begin(), journal_.committed.end(), file),
            journal_.committed.end());
        journal_.committing.clear();
        d->committed = false;
        RunCheckpoint("undo");
    }
    journal_.committing.clear();
    return Step::Done;
}
