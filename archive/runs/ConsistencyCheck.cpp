#include "archive/runs/ConsistencyCheck.h"

#include <strings.h>

#include <algorithm>
#include <map>
#include <utility>

#include "archive/runs/ArchiveHistory.h"
#include "archive/rows/PatientRows.h"
#include "archive/rows/PidList.h"
#include "archive/safety/RunGate.h"
#include "archive/safety/RunJournal.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "core/WindowServices.h"
#include "db/ArchiveDbPair.h"
#include "db/DatabaseSet.h"
#include "db/ODBCStmt.h"

namespace {

using PidCount = std::pair<int32_t, int64_t>;

// The rows of one table, counted per pid: sorted by pid.
struct TableCounts {
    ArchiveDbPair* db = nullptr;
    std::string table;
    std::vector<PidCount> byPid;
    int64_t nullRows = 0;  // rows without a pid

    int64_t RowsOf(int32_t pid) const {
        auto it = std::lower_bound(byPid.begin(), byPid.end(), PidCount{pid, INT64_MIN});
        return it != byPid.end() && it->first == pid ? it->second : 0;
    }
};

struct Side {
    ArchiveDbPair* head = nullptr;
    std::vector<TableCounts> tables;  // in list order
    int patients = -1;                // index of the "patienten" table
    std::vector<int32_t> present;     // every pid with rows on this side, sorted
};

// One grouped count of the whole table; a failure is logged in red,
// continuing the table's line.
bool ReadTable(TableCounts& t) {
    std::string error;
    if (!ReadRowsPerPatient(
            *t.db, t.table,
            [&t](std::optional<int64_t> pid, int64_t rows) {
                if (pid)
                    t.byPid.emplace_back(int32_t(*pid), rows);
                else
                    t.nullRows += rows;
            },
            &error)) {
        AppendLog("\r\nFehler beim Lesen: " + error, ColourRed);
        return false;
    }
    std::sort(t.byPid.begin(), t.byPid.end());
    return true;
}

bool ReadSide(Side& side) {
    bool complete = true;
    for (ArchiveDbPair* db = side.head; db; db = db->Next) {
        for (const std::string& table : SplitTableList(db->Tables)) {
            TableCounts t;
            t.db = db;
            t.table = table;
            AppendLog("• " + db->DisplayName + "." + table + "...", 0, LogNoLineEnd);
            if (!ReadTable(t)) {
                complete = false;
                continue;
            }
            int64_t rows = t.nullRows;
            for (const PidCount& c : t.byPid) rows += c.second;
            AppendLog(" (" + std::to_string(rows) + " Einträge)", ColourCount);
            if (side.patients < 0 && strcasecmp(table.c_str(), "patienten") == 0)
                side.patients = int(side.tables.size());
            side.tables.push_back(std::move(t));
        }
    }
    for (const TableCounts& t : side.tables)
        for (const PidCount& c : t.byPid) side.present.push_back(c.first);
    std::sort(side.present.begin(), side.present.end());
    side.present.erase(std::unique(side.present.begin(), side.present.end()), side.present.end());
    return complete;
}

// A line with the place it sorts by.
struct Keyed {
    CheckLine line;
    int side = 0;
    int table = 0;
};

bool Before(const Keyed& a, const Keyed& b) {
    if (a.line.finding != b.line.finding) return a.line.finding < b.line.finding;
    if (a.line.pid != b.line.pid) return a.line.pid < b.line.pid;  // no pid first
    if (a.side != b.side) return a.side < b.side;
    return a.table < b.table;
}

Keyed LineOf(CheckFinding finding, std::optional<int32_t> pid, const Side& side, int sideIndex,
             int tableIndex, int64_t rows) {
    const TableCounts& t = side.tables[size_t(tableIndex)];
    return {{finding, pid, side.head->DisplayName, t.db->DisplayName, t.table, rows},
            sideIndex,
            tableIndex};
}

void FindBothSides(const Side sides[2], std::vector<Keyed>& out) {
    std::vector<int32_t> both;
    std::set_intersection(sides[0].present.begin(), sides[0].present.end(),
                          sides[1].present.begin(), sides[1].present.end(),
                          std::back_inserter(both));
    for (int32_t pid : both)
        for (int s = 0; s < 2; ++s)
            for (size_t i = 0; i < sides[s].tables.size(); ++i)
                if (const int64_t rows = sides[s].tables[i].RowsOf(pid))
                    out.push_back(LineOf(CheckFinding::BothSides, pid, sides[s], s, int(i), rows));
}

void FindWithoutPatient(const Side& side, int s, std::vector<Keyed>& out) {
    // Without the side's patient records (not read) every row would look
    // orphaned; the check is reported incomplete instead.
    if (side.patients < 0) return;
    const TableCounts& patients = side.tables[size_t(side.patients)];
    for (size_t i = 0; i < side.tables.size(); ++i) {
        const TableCounts& t = side.tables[i];
        if (t.nullRows > 0)
            out.push_back(
                LineOf(CheckFinding::NoPatient, std::nullopt, side, s, int(i), t.nullRows));
        if (int(i) == side.patients) continue;
        for (const PidCount& c : t.byPid)
            if (patients.RowsOf(c.first) == 0)
                out.push_back(LineOf(CheckFinding::NoPatient, c.first, side, s, int(i), c.second));
    }
}

void FindDuplicates(const Side& side, int s, std::vector<Keyed>& out) {
    if (side.patients < 0) return;
    for (const PidCount& c : side.tables[size_t(side.patients)].byPid)
        if (c.second > 1)
            out.push_back(
                LineOf(CheckFinding::Duplicate, c.first, side, s, side.patients, c.second));
}

// The pids of the stored pid list; parts that are no pid are passed over.
std::vector<int32_t> HistoryPids(const std::string& pidList) {
    std::vector<int32_t> pids;
    for (const std::string& part : PidListItems(pidList)) {
        int32_t pid = 0;
        if (ParsePid(part, pid)) pids.push_back(pid);
    }
    std::sort(pids.begin(), pids.end());
    pids.erase(std::unique(pids.begin(), pids.end()), pids.end());
    return pids;
}

struct HistoryEntry {
    int64_t runs = 0;
    int32_t latest = INT32_MIN;
};

// The pids of the archiving runs that are on neither side, with the number
// of runs naming each and the latest of them.
bool FindHistoryOnNeitherSide(ArchiveDbPair& archive, const Side sides[2],
                              std::map<int32_t, HistoryEntry>& found) {
    AppendLog("• " + archive.DisplayName + ".archist...", 0, LogNoLineEnd);
    ODBCStmt stmt(archive.Connection);
    if (!stmt.ExecDirect("select datum, pidlist from archist")) {
        AppendLog("\r\nFehler beim Lesen: " + archive.Connection.GetErrorText(stmt.Handle()),
                  ColourRed);
        return false;
    }
    int runs = 0;
    while (stmt.Fetch()) {
        int32_t datum = 0;
        std::string pidList;
        stmt.GetColumnInt(1, datum);
        if (!stmt.GetColumnString(2, pidList)) {
            AppendLog("\r\nFehler beim Lesen: " + archive.Connection.GetErrorText(stmt.Handle()),
                      ColourRed);
            return false;
        }
        ++runs;
        for (int32_t pid : HistoryPids(pidList)) {
            if (std::binary_search(sides[0].present.begin(), sides[0].present.end(), pid) ||
                std::binary_search(sides[1].present.begin(), sides[1].present.end(), pid))
                continue;
            HistoryEntry& e = found[pid];
            ++e.runs;
            e.latest = std::max(e.latest, datum);
        }
    }
    AppendLog(" (" + std::to_string(runs) + (runs == 1 ? " Archivierung)" : " Archivierungen)"),
              ColourCount);
    return true;
}

std::string Rows(int64_t rows) {
    return " (" + std::to_string(rows) + " Einträge)";
}

void LogLine(const CheckLine& l, const std::map<int32_t, HistoryEntry>& history) {
    const std::string where = l.database + "." + l.table;
    const std::string patient = l.pid ? "Patient " + std::to_string(*l.pid) : "";
    switch (l.finding) {
        case CheckFinding::BothSides:
            AppendLog("• " + patient + " auf beiden Seiten: " + where + Rows(l.rows), ColourRed);
            break;
        case CheckFinding::NoPatient:
            if (l.pid)
                AppendLog("• " + patient + " ohne Patientensatz in " + l.side + ": " + where +
                              Rows(l.rows),
                          ColourRed);
            else
                AppendLog("• Einträge ohne Patientennummer: " + where + Rows(l.rows), ColourRed);
            break;
        case CheckFinding::Duplicate:
            AppendLog("• " + patient + " mehrfach in " + where + Rows(l.rows), ColourRed);
            break;
        case CheckFinding::History: {
            // Information, not a finding: in the colour of counts, so that
            // it does not take on the red of a finding before it.
            const HistoryEntry& e = history.at(*l.pid);
            const std::string when = ArcHistText(e.latest);
            AppendLog(
                "• History: " + patient + " ist auf keiner Seite (" +
                    (e.runs == 1 ? "Archivierung vom " + when
                                 : std::to_string(e.runs) + " Archivierungen, zuletzt " + when) +
                    ")",
                ColourCount);
            break;
        }
    }
}

}  // namespace

const char* CheckKeyword(CheckFinding finding) {
    switch (finding) {
        case CheckFinding::BothSides:
            return "both";
        case CheckFinding::NoPatient:
            return "orphan";
        case CheckFinding::Duplicate:
            return "duplicate";
        case CheckFinding::History:
            break;
    }
    return "history";
}

bool CheckConsistency(DatabaseSet& set, CheckReport& report) {
    report = CheckReport();
    RunGate gate;
    if (!gate.AdmitReader()) return false;

    const uint64_t start = TickCount();
    WaitCursor cursor;
    AppendLog("Datenbestand prüfen (" + set.VelundaList->DisplayName + ", " +
                  set.ArchiveList->DisplayName + ")...",
              ColourBlue);
    for (ArchiveDbPair* head : {set.VelundaList, set.ArchiveList})
        for (ArchiveDbPair* db = head; db; db = db->Next)
            if (!db->Connection.IsOpen()) {
                AppendLog("Die Datenbank " + db->DisplayName +
                              " ist nicht verbunden; der Datenbestand kann nicht geprüft werden.",
                          ColourRed);
                LogReady(start);
                return false;
            }
    report.started = true;
    if (RunJournal::Exists())
        AppendLog("• Ein früherer Vorgang ist nicht abgeschlossen (" + RunJournal::Path() +
                  "); Befunde können von ihm stammen.");

    Side sides[2];
    sides[0].head = set.VelundaList;
    sides[1].head = set.ArchiveList;
    bool complete = ReadSide(sides[0]);
    complete = ReadSide(sides[1]) && complete;
    std::map<int32_t, HistoryEntry> history;
    complete = FindHistoryOnNeitherSide(set.Archive, sides, history) && complete;

    std::vector<Keyed> lines;
    FindBothSides(sides, lines);
    for (int s = 0; s < 2; ++s) {
        FindWithoutPatient(sides[s], s, lines);
        FindDuplicates(sides[s], s, lines);
    }
    std::sort(lines.begin(), lines.end(), Before);
    std::vector<int32_t> patients;
    for (const Keyed& k : lines) {
        report.lines.push_back(k.line);
        ++report.findings;
        if (k.line.pid) patients.push_back(*k.line.pid);
    }
    std::sort(patients.begin(), patients.end());
    report.patients = int(std::unique(patients.begin(), patients.end()) - patients.begin());
    for (const auto& [pid, entry] : history) {
        report.lines.push_back({CheckFinding::History, pid, set.ArchiveList->DisplayName,
                                set.Archive.DisplayName, "archist", entry.runs});
        ++report.historyPids;
    }
    report.complete = complete;

    for (const CheckLine& line : report.lines) LogLine(line, history);
    if (!complete)
        AppendLog("Der Datenbestand konnte nicht vollständig geprüft werden (siehe oben).",
                  ColourRed);
    if (report.findings == 0 && complete)
        AppendLog(
            "Keine Befunde: jeder Patient liegt mit genau einem Patientensatz auf einer Seite.",
            ColourCount);
    else if (report.findings > 0)
        AppendLog(std::to_string(report.findings) + " Befunde bei " +
                      std::to_string(report.patients) + " Patienten.",
                  ColourRed);
    if (report.historyPids > 0)
        AppendLog(std::to_string(report.historyPids) +
                      " Patienten aus der History sind auf keiner Seite (gelöscht oder verloren); "
                      "das ist kein Befund.",
                  ColourCount);
    LogReady(start);
    return complete;
}
