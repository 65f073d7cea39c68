#include "archive/safety/RunForward.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <optional>
#include <thread>
#include <vector>

#include "archive/rows/DeletePatients.h"
#include "archive/rows/PidList.h"
#include "archive/rows/RowPrint.h"
#include "archive/rows/RunCheckpoint.h"
#include "archive/rows/TableCopy.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "core/RunProgress.h"
#include "db/ArchiveDbPair.h"
#include "db/DatabaseKind.h"
#include "db/DatabaseSet.h"

namespace {

ArchiveDbPair* Find(ArchiveDbPair* list, const std::string& file) {
    for (ArchiveDbPair* db = list; db; db = db->Next)
        if (db->File() == file) return db;
    return nullptr;
}

const TableCount* Expected(const RunJournal& journal, const std::string& file,
                           const std::string& table) {
    for (const TableCount& c : journal.counts)
        if (c.file == file && c.table == table) return &c;
    return nullptr;
}

// "1 Eintrag", "3 Einträge"
std::string Entries(int64_t n) {
    return std::to_string(n) + (n == 1 ? " Eintrag" : " Einträge");
}

// What a table holds of the run's patients, read as a copy would read it.
struct Reading {
    bool ok = false;
    RowsPrint total;
    std::map<int64_t, RowsPrint> perPatient;
    std::string error;
};

Reading Read(ArchiveDbPair& db, const std::string& table, const std::vector<std::string>& parts) {
    Reading r;
    TableCopy reader(parts, nullptr);
    // Both sides of a run are of one kind: their literals are alike.
    r.ok = reader.Print(db, table, db, r.total, &r.perPatient, &r.error);
    return r;
}

// One table of the run as one side holds it, and the same table on the
// other side, where the journal's fingerprint belongs to it.
struct TablePair {
    ArchiveDbPair* from = nullptr;  // source database of the table
    std::string table;
    const TableCount* expected = nullptr;
};

class Checker {
  public:
    Checker(const RunJournal& journal, ArchiveDbPair* source, ArchiveDbPair* target)
        : journal_(journal), source_(source), target_(target), parts_(SplitPidList(journal.pids)) {}

    DbState StateOf(ArchiveDbPair& db) {
        const bool isTarget = Find(target_, db.File()) == &db;
        std::vector<TablePair> tables;
        if (isTarget) {
            for (ArchiveDbPair* from = source_; from; from = from->Next)
                for (const std::string& table : SplitTableList(from->Tables))
                    if (FindDatabaseForTable(target_, table) == &db)
                        tables.push_back({from, table, Expected(journal_, from->File(), table)});
        } else {
            for (const std::string& table : SplitTableList(db.Tables))
                tables.push_back({&db, table, Expected(journal_, db.File(), table)});
        }
        struct Found {
            const TablePair* pair;
            Reading reading;
            bool before, after;
        };
        std::vector<Found> found;
        bool allBefore = true, allAfter = true, readable = true;
        for (const TablePair& t : tables) {
            Found f{&t, Read(db, t.table, parts_), false, false};
            if (!f.reading.ok) {
                AppendLog("• " + db.DisplayName + "." + t.table + ": nicht lesbar (" +
                              f.reading.error + ")",
                          ColourRed);
                readable = false;
                continue;
            }
            if (!t.expected || !t.expected->print) {
                AppendLog("• " + db.DisplayName + "." + t.table +
                              ": die Journal-Datei enthält keine Prüfsumme der Einträge.",
                          ColourRed);
                readable = false;
                continue;
            }
            const RowsPrint journalPrint{t.expected->rows, *t.expected->print};
            const RowsPrint none;
            f.before = f.reading.total == (isTarget ? none : journalPrint);
            f.after = f.reading.total == (isTarget ? journalPrint : none);
            allBefore = allBefore && f.before;
            allAfter = allAfter && f.after;
            found.push_back(std::move(f));
        }
        if (!readable) return DbState::Differs;
        // A database without rows of the run is both: nothing to do there,
        // and nothing to tell whether it committed.
        if (allAfter && allBefore) return DbState::Untouched;
        if (allAfter) return DbState::After;
        if (allBefore) return DbState::Before;
        // Which state the database is nearer to decides what a table is
        // compared with: the tables that fit neither are named, and in a
        // mix of both those that fit the rarer one.
        size_t before = 0;
        for (const Found& f : found) before += f.before && !f.after ? 1 : 0;
        const bool nearBefore = 2 * before >= found.size();
        for (const Found& f : found) {
            if (nearBefore ? f.before : f.after) continue;
            Name(db, isTarget, *f.pair, f.reading, nearBefore);
        }
        return DbState::Differs;
    }

  private:
    // Names what table of db holds that it should not: patient by patient
    // against the other side where that holds the journal's rows, else the
    // table's figures against the journal.
    void Name(ArchiveDbPair& db, bool isTarget, const TablePair& t, const Reading& here,
              bool wantBefore) {
        const RowsPrint journalPrint{t.expected->rows, *t.expected->print};
        // The state the table was to be in: the journal's rows, or none.
        const bool wantRows = isTarget != wantBefore;
        ArchiveDbPair* other = isTarget ? t.from : FindDatabaseForTable(target_, t.table);
        if (wantRows && other) {
            const Reading there = Read(*other, t.table, parts_);
            if (there.ok && there.total == journalPrint) {
                std::vector<int64_t> pids;
                for (const auto& [pid, p] : here.perPatient) pids.push_back(pid);
                for (const auto& [pid, p] : there.perPatient) pids.push_back(pid);
                std::sort(pids.begin(), pids.end());
                pids.erase(std::unique(pids.begin(), pids.end()), pids.end());
                bool named = false;
                for (int64_t pid : pids) {
                    const auto h = here.perPatient.find(pid);
                    const auto o = there.perPatient.find(pid);
                    const RowsPrint a = h == here.perPatient.end() ? RowsPrint() : h->second;
                    const RowsPrint b = o == there.perPatient.end() ? RowsPrint() : o->second;
                    if (a == b) continue;
                    AppendLog(
                        "• " + db.DisplayName + "." + t.table + ", Patient " + std::to_string(pid) +
                            ": " +
                            (a.rows != b.rows ? std::to_string(a.rows) + " statt " + Entries(b.rows)
                                              : Entries(a.rows) + " mit anderem Inhalt als " +
                                                    "in " + other->DisplayName),
                        ColourRed);
                    named = true;
                }
                if (named) return;
            }
        }
        const RowsPrint want = wantRows ? journalPrint : RowsPrint();
        if (here.total.rows != want.rows)
            AppendLog("• " + db.DisplayName + "." + t.table + ": " +
                          std::to_string(here.total.rows) + " statt " + Entries(want.rows) +
                          " der Patienten",
                      ColourRed);
        else
            AppendLog("• " + db.DisplayName + "." + t.table + ": " + Entries(here.total.rows) +
                          " der Patienten mit anderem Inhalt",
                      ColourRed);
    }

    const RunJournal& journal_;
    ArchiveDbPair* source_;
    ArchiveDbPair* target_;
    std::vector<std::string> parts_;
};

// The part of the run that falls to db, done again in a transaction of its
// own (already begun): a target database gets its tables copied from the
// source, a source database loses the run's rows. False when a step fails
// or the rows differ from the journal's (both said in red).
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
                    AppendLog("• " + db.DisplayName + "." + table + ": " + Entries(rows) +
                                  " kopiert, nicht die des Vorgangs",
                              ColourRed);
                    return false;
                }
            }
        }
        return true;
    }
    std::vector<TableCount> deleted;
    DeleteOptions options;
    options.deleted = &deleted;
    options.announce = false;
    options.singleDatabase = true;
    if (!DeletePatients(&db, journal.pids, options)) return false;
    for (const TableCount& c : deleted) {
        const TableCount* expected = Expected(journal, c.file, c.table);
        const int64_t want = expected ? expected->rows : -1;
        if (c.rows == want) continue;
        AppendLog("• " + db.DisplayName + "." + c.table + ": " + std::to_string(c.rows) +
                      " statt " + Entries(want < 0 ? 0 : want) + " gelöscht",
                  ColourRed);
        return false;
    }
    return true;
}

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

DbState DatabaseState(const RunJournal& journal, ArchiveDbPair& db, ArchiveDbPair* source,
                      ArchiveDbPair* target) {
    return Checker(journal, source, target).StateOf(db);
}

ForwardResult FinishForward(RunJournal& journal, ArchiveDbPair* source, ArchiveDbPair* target) {
    Checker checker(journal, source, target);
    struct Entry {
        ArchiveDbPair* db;
        bool isTarget;
        DbState state;
    };
    std::vector<Entry> entries;
    bool anyAfter = false, differs = false, sourceDone = false, targetOpen = false;
    for (const std::string& file : journal.CommitOrder()) {
        ArchiveDbPair* db = Find(target, file);
        const bool isTarget = db != nullptr;
        if (!db) db = Find(source, file);
        if (!db || !db->Connection.IsOpen()) {
            AppendLog("• " + file + " ist nicht verbunden.", ColourRed);
            return ForwardResult::Stopped;
        }
        // A source database the journal names committed has no rows of the
        // run left to check; rows of its patients that came later are no
        // part of the run. A committed target database is checked: the
        // sources are finished only against the rows it holds.
        DbState state =
            !isTarget && journal.IsCommitted(file) ? DbState::After : checker.StateOf(*db);
        if (journal.IsCommitted(file) && state != DbState::After && state != DbState::Untouched) {
            if (state == DbState::Before)
                AppendLog("• " + file +
                              " ist als gespeichert vermerkt, hält aber die Einträge "
                              "des Vorgangs nicht.",
                          ColourRed);
            differs = true;
        }
        if (state == DbState::Differs) differs = true;
        if (state == DbState::After) anyAfter = true;
        if (state == DbState::After && !isTarget) sourceDone = true;
        if (state == DbState::Before && isTarget) targetOpen = true;
        entries.push_back({db, isTarget, state});
    }
    if (differs) return ForwardResult::Differs;
    if (!anyAfter) return ForwardResult::NothingCommitted;
    if (sourceDone && targetOpen) {
        // The source's rows went while the target did not get them: the
        // order of the commits rules that out for this run alone.
        AppendLog(
            "• Die Quelle hat die Einträge gelöscht, aber nicht alle Zieldatenbanken haben "
            "sie gespeichert.",
            ColourRed);
        return ForwardResult::Differs;
    }
    for (Entry& e : entries) {
        const std::string file = e.db->File();
        if (e.state == DbState::After || e.state == DbState::Untouched) {
            if (!journal.IsCommitted(file)) journal.committed.push_back(file);
            continue;
        }
        ShortFaultRetry retry(journal.kind);
        while (true) {
            if (!RecordCommitting(journal, file)) return ForwardResult::Stopped;
            if (!e.db->Connection.BeginTransaction()) {
                AppendLog("• " + file + ": " + e.db->Connection.GetErrorText(nullptr), ColourRed);
                return ForwardResult::Stopped;
            }
            // Checked again inside the transaction, which keeps the tables
            // as they are read until it ends.
            const DbState now = checker.StateOf(*e.db);
            if (now == DbState::After || now == DbState::Untouched) {
                e.db->Connection.EndTransaction(false);
                break;
            }
            if (now == DbState::Differs) {
                e.db->Connection.EndTransaction(false);
                return ForwardResult::Differs;
            }
            if (!Redo(journal, *e.db, e.isTarget, source, target)) {
                std::string state;
                const std::string error = e.db->Connection.GetErrorText(nullptr, &state);
                e.db->Connection.EndTransaction(false);
                if (IsShortFault(state) && retry.Wait(file, "Fehler (" + error + ").") &&
                    Reconnect(*e.db, retry))
                    continue;
                return ForwardResult::Stopped;
            }
            const CommitResult result = CommitWithRetry(*e.db, retry);
            if (result == CommitResult::Committed) break;
            if (result == CommitResult::Refused) return ForwardResult::Stopped;
            // Lost: connected again, the tables tell whether it arrived.
            if (!Reconnect(*e.db, retry)) return ForwardResult::Stopped;
        }
        journal.committed.push_back(file);
        journal.committing.clear();
        RunCheckpoint("commit");
    }
    journal.committing.clear();
    return ForwardResult::Finished;
}
