#include "archive/safety/RunTables.h"

#include <algorithm>

#include "archive/rows/PidList.h"
#include "archive/rows/TableCopy.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "db/ArchiveDbPair.h"
#include "db/DatabaseSet.h"

namespace {

ArchiveDbPair* FindIn(ArchiveDbPair* list, const std::string& file) {
    for (ArchiveDbPair* db = list; db; db = db->Next)
        if (db->File() == file) return db;
    return nullptr;
}

// "• Velunda.termine"
std::string Where(const ArchiveDbPair& db, const std::string& table) {
    return "• " + db.DisplayName + "." + table;
}

}  // namespace

bool RunTable::HoldsRun() const {
    return expected && expected->print && total == RowsPrint{expected->rows, *expected->print};
}

RunTables::RunTables(const RunJournal& journal, ArchiveDbPair* source, ArchiveDbPair* target)
    : journal_(journal), source_(source), target_(target), parts_(SplitPidList(journal.pids)) {}

ArchiveDbPair* RunTables::Find(const std::string& file) const {
    ArchiveDbPair* db = FindIn(target_, file);
    return db ? db : FindIn(source_, file);
}

bool RunTables::IsTarget(const ArchiveDbPair& db) const {
    return FindIn(target_, db.File()) == &db;
}

const TableCount* RunTables::Expected(const std::string& file, const std::string& table) const {
    for (const TableCount& c : journal_.counts)
        if (c.file == file && c.table == table) return &c;
    return nullptr;
}

bool RunTables::Read(ArchiveDbPair& db, std::string* error) {
    std::vector<RunTable> tables;
    if (IsTarget(db)) {
        for (ArchiveDbPair* from = source_; from; from = from->Next)
            for (const std::string& table : SplitTableList(from->Tables))
                if (FindDatabaseForTable(target_, table) == &db)
                    tables.push_back({from, table, Expected(from->File(), table), {}, {}});
    } else {
        for (const std::string& table : SplitTableList(db.Tables))
            tables.push_back({&db, table, Expected(db.File(), table), {}, {}});
    }
    read_.erase(&db);
    for (RunTable& t : tables) {
        TableCopy reader(parts_, nullptr);
        std::string why;
        // Both sides of a run are of one kind: their literals are alike.
        if (!reader.Print(db, t.table, db, t.total, &t.perPatient, &why)) {
            if (error) *error = db.DisplayName + "." + t.table + ": " + why;
            return false;
        }
    }
    read_[&db] = std::move(tables);
    return true;
}

const std::vector<RunTable>* RunTables::TablesOf(const ArchiveDbPair& db) const {
    const auto it = read_.find(&db);
    return it == read_.end() ? nullptr : &it->second;
}

bool RunTables::HoldsRun(const ArchiveDbPair& db) const {
    const auto* tables = TablesOf(db);
    return tables && std::all_of(tables->begin(), tables->end(),
                                 [](const RunTable& t) { return t.HoldsRun(); });
}

bool RunTables::HoldsNone(const ArchiveDbPair& db) const {
    const auto* tables = TablesOf(db);
    return tables && std::all_of(tables->begin(), tables->end(),
                                 [](const RunTable& t) { return t.HoldsNone(); });
}

bool RunTables::HasRunRows(const ArchiveDbPair& db) const {
    const auto* tables = TablesOf(db);
    return !tables || std::any_of(tables->begin(), tables->end(), [](const RunTable& t) {
        return !t.expected || t.expected->rows != 0;
    });
}

const ArchiveDbPair* RunTables::OtherSide(const ArchiveDbPair& db, const RunTable& t) const {
    return IsTarget(db) ? t.from : FindDatabaseForTable(target_, t.table);
}

const RunTable* RunTables::TableIn(const ArchiveDbPair& db, const std::string& table) const {
    const auto* tables = TablesOf(db);
    if (!tables) return nullptr;
    for (const RunTable& t : *tables)
        if (t.table == table) return &t;
    return nullptr;
}

void RunTables::NameDifferences(const ArchiveDbPair& db,
                                const std::map<const ArchiveDbPair*, bool>& expectRun) const {
    const auto* tables = TablesOf(db);
    if (!tables) return;
    for (const RunTable& t : *tables) {
        if (t.HoldsRun()) continue;
        if (!t.expected || !t.expected->print) {
            AppendLog(
                Where(db, t.table) + ": die Journal-Datei enthält keine Prüfsumme der Einträge.",
                ColourRed);
            continue;
        }
        const ArchiveDbPair* other = OtherSide(db, t);
        const auto expects = other ? expectRun.find(other) : expectRun.end();
        const RunTable* there =
            expects != expectRun.end() && expects->second ? TableIn(*other, t.table) : nullptr;
        if (there) {
            std::vector<int64_t> pids;
            for (const auto& [pid, p] : t.perPatient) pids.push_back(pid);
            for (const auto& [pid, p] : there->perPatient) pids.push_back(pid);
            std::sort(pids.begin(), pids.end());
            pids.erase(std::unique(pids.begin(), pids.end()), pids.end());
            bool named = false;
            for (int64_t pid : pids) {
                const auto h = t.perPatient.find(pid);
                const auto o = there->perPatient.find(pid);
                const RowsPrint a = h == t.perPatient.end() ? RowsPrint() : h->second;
                const RowsPrint b = o == there->perPatient.end() ? RowsPrint() : o->second;
                if (a == b) continue;
                AppendLog(
                    Where(db, t.table) + ", Patient " + std::to_string(pid) + ": " +
                        (a.rows != b.rows ? std::to_string(a.rows) + " statt " + EntriesText(b.rows)
                                          : EntriesText(a.rows) + " mit anderem Inhalt als in " +
                                                other->DisplayName),
                    ColourRed);
                named = true;
            }
            if (named) continue;
        }
        const RowsPrint want{t.expected->rows, *t.expected->print};
        if (t.total.rows != want.rows)
            AppendLog(Where(db, t.table) + ": " + std::to_string(t.total.rows) + " statt " +
                          EntriesText(want.rows) + " der Patienten",
                      ColourRed);
        else
            AppendLog(Where(db, t.table) + ": " + EntriesText(t.total.rows) +
                          " der Patienten mit anderem Inhalt",
                      ColourRed);
    }
}

DbState DatabaseState(const RunJournal& journal, ArchiveDbPair& db, ArchiveDbPair* source,
                      ArchiveDbPair* target) {
    RunTables tables(journal, source, target);
    if (!tables.Read(db, nullptr)) return DbState::Unknown;
    const bool run = tables.HoldsRun(db), none = tables.HoldsNone(db);
    if (run && none) return DbState::Untouched;
    const bool isTarget = tables.IsTarget(db);
    if (isTarget ? run : none) return DbState::After;
    if (isTarget ? none : run) return DbState::Before;
    return DbState::Differs;
}
