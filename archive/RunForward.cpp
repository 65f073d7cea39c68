#include "archive/RunForward.h"

#include "archive/DeletePatients.h"
#include "archive/PatientRows.h"
#include "archive/PidList.h"
#include "archive/RunCheckpoint.h"
#include "archive/TableCopy.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "db/ArchiveDbPair.h"
#include "db/DatabaseSet.h"

namespace {

std::string FileOf(const ArchiveDbPair& db) {
    return db.FileName + db.Extension;
}

ArchiveDbPair* Find(ArchiveDbPair* list, const std::string& file) {
    for (ArchiveDbPair* db = list; db; db = db->Next)
        if (FileOf(*db) == file) return db;
    return nullptr;
}

// The journal's count for a table of a source database; -1 when it has none.
int64_t Expected(const RunJournal& journal, const ArchiveDbPair& db, const std::string& table) {
    for (const TableCount& c : journal.counts)
        if (c.file == FileOf(db) && c.table == table) return c.rows;
    return -1;
}

// Counts the run's rows of table in db and compares; a difference is a red
// line naming both figures.
bool Holds(ArchiveDbPair& db, const std::string& table, const std::vector<std::string>& parts,
           int64_t expected) {
    int64_t found = 0;
    std::string error;
    if (!CountPatientRows(db, table, parts, found, &error)) {
        AppendLog("• " + db.DisplayName + "." + table + ": nicht lesbar (" + error + ")",
                  ColourRed);
        return false;
    }
    if (expected >= 0 && found == expected) return true;
    AppendLog("• " + db.DisplayName + "." + table + ": " + std::to_string(found) + " statt " +
                  (expected < 0 ? std::string("?") : std::to_string(expected)) +
                  " Einträge der Patienten",
              ColourRed);
    return false;
}

// Copies into the target database dest every source table the run moved
// into it.
bool RedoTarget(const RunJournal& journal, ArchiveDbPair& dest, ArchiveDbPair* source,
                ArchiveDbPair* target, const std::vector<std::string>& parts) {
    struct Part {
        ArchiveDbPair* from;
        std::string table;
        int64_t rows;
    };
    std::vector<Part> tables;
    for (ArchiveDbPair* db = source; db; db = db->Next)
        for (const std::string& table : SplitTableList(db->Tables))
            if (FindDatabaseForTable(target, table) == &dest)
                tables.push_back({db, table, Expected(journal, *db, table)});
    bool ok = true;
    for (const Part& p : tables)
        if (!Holds(*p.from, p.table, parts, p.rows) || !Holds(dest, p.table, parts, 0)) ok = false;
    if (!ok) return false;
    TableCopy copy(parts, nullptr);
    for (const Part& p : tables) {
        int64_t rows = 0;
        if (!copy.Copy(*p.from, p.table, target, rows)) return false;
        if (rows != p.rows) {
            AppendLog("• " + dest.DisplayName + "." + p.table + ": " + std::to_string(rows) +
                          " statt " + std::to_string(p.rows) + " Einträge kopiert",
                      ColourRed);
            return false;
        }
    }
    return true;
}

// Deletes the run's rows from the source database db.
bool RedoSource(const RunJournal& journal, ArchiveDbPair& db) {
    const std::vector<std::string> parts = SplitPidList(journal.pids);
    bool ok = true;
    for (const std::string& table : SplitTableList(db.Tables))
        if (!Holds(db, table, parts, Expected(journal, db, table))) ok = false;
    if (!ok) return false;
    // The deletion of one database: its entry alone, detached from the list.
    ArchiveDbPair* next = db.Next;
    db.Next = nullptr;
    std::vector<TableCount> deleted;
    DeleteOptions options;
    options.deleted = &deleted;
    options.announce = false;
    ok = DeletePatients(&db, journal.pids, options);
    db.Next = next;
    if (!ok) return false;
    for (const TableCount& c : deleted)
        if (c.rows != Expected(journal, db, c.table)) {
            AppendLog("• " + db.DisplayName + "." + c.table + ": " + std::to_string(c.rows) +
                          " statt " + std::to_string(Expected(journal, db, c.table)) +
                          " Einträge gelöscht",
                      ColourRed);
            return false;
        }
    return true;
}

}  // namespace

bool FinishForward(RunJournal& journal, ArchiveDbPair* source, ArchiveDbPair* target) {
    const std::vector<std::string> parts = SplitPidList(journal.pids);
    for (const std::string& file : journal.CommitOrder()) {
        if (journal.IsCommitted(file)) continue;
        const bool isTarget = Find(target, file) != nullptr;
        ArchiveDbPair* db = isTarget ? Find(target, file) : Find(source, file);
        if (!db || !db->Connection.IsOpen()) {
            AppendLog("• " + file + " ist nicht verbunden.", ColourRed);
            return false;
        }
        if (!db->Connection.BeginTransaction()) {
            AppendLog("• " + file + ": " + db->Connection.GetErrorText(nullptr), ColourRed);
            return false;
        }
        const bool done =
            isTarget ? RedoTarget(journal, *db, source, target, parts) : RedoSource(journal, *db);
        if (!done) {
            db->Connection.EndTransaction(false);
            return false;
        }
        if (!db->Connection.EndTransaction(true)) {
            AppendLog("Fehler beim Speichern der Änderungen in " + file + ": " +
                          db->Connection.TransactionError(),
                      ColourRed);
            return false;
        }
        journal.committed.push_back(file);
        // Not recorded, the commit would be taken for undone: the next start
        // then finds the rows gone and leaves the decision to an administrator.
        journal.Save();
        RunCheckpoint("commit");
    }
    return true;
}
