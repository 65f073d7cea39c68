#include "app/PatientList.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unordered_map>
#include <unordered_set>

#include "app/MainView.h"
#include "archive/runs/ArchiveHistory.h"
#include "archive/rows/PidList.h"
#include "core/AsciiText.h"
#include "core/Globals.h"
#include "core/ListView.h"
#include "core/LogSink.h"
#include "core/WindowServices.h"
#include "db/DatabaseSet.h"
#include "db/ODBCStmt.h"
#include "db/OdbcResult.h"
#include "db/SqlDialect.h"
#include "db/ValueBuffer.h"

const char* const UnsafeArchiveMessage =
    "Die Patientenliste konnte nicht vollständig auf offene Leistungen, Rechnungen, eDokus, "
    "leere Scheine und Kassenbucheinträge geprüft werden (siehe Verlauf).\n\n"
    "Archivieren ist erst wieder möglich, wenn die Liste mit \"Liste aktualisieren\" fehlerfrei "
    "neu erstellt wurde.";

namespace {

using PidSet = std::unordered_set<int32_t>;

// Calls row() for every row of an executed statement. False when a fetch
// fails; the rows before the failure have been seen.
template <class Row>
bool ForEachRow(ODBCStmt& stmt, Row&& row) {
    for (;;) {
        const SQLRETURN rc = SQLFetch(stmt.Handle());
        if (rc == SQL_NO_DATA) return true;
        if (!SqlSucceeded(rc)) return false;
        row();
    }
}

// One query for open business. False when it failed (then reported in red
// with its label and the driver's text).
bool CollectPids(ODBCConnection& connection, ODBCStmt& stmt, const char* sql, const char* label,
                 PidSet& pids) {
    if (stmt.ExecDirect(sql) && ForEachRow(stmt, [&] {
            int32_t pid = 0;
            stmt.GetColumnInt(1, pid);
            pids.insert(pid);
        }))
        return true;
    AppendLog(label + connection.GetErrorText(stmt.Handle()), ColourRed);
    return false;
}

// The six queries for the patients who must not be archived. Each runs
// whatever the others did. False when any failed or could not run.
bool CollectHiddenPatients(ArchiveDbPair* source, ODBCStmt& main, PidSet& hidden) {
    ODBCConnection& mainConnection = source->Connection;
    bool complete = true;
    // Queries on a database of their own: skipped when no database of the
    // set holds the table or it is closed; the list is then not checked.
    auto own = [&](const char* table, const char* sql, const char* label) {
        ArchiveDbPair* db = FindDatabaseForTable(source, table);
        if (!db || !db->Connection.IsOpen()) {
            complete = false;
            return;
        }
        ODBCStmt stmt(db->Connection);
        complete &= CollectPids(db->Connection, stmt, sql, label, hidden);
    };
    auto onMain = [&](const char* sql, const char* label) {
        complete &= CollectPids(mainConnection, main, sql, label, hidden);
        main.Reset();
    };
    own("rechnungen",
        "select distinct pid from rechnungen where status<>0 and status<>8 and status<>10 and "
        "status<>11",
        "Fehler in FillList-4: ");
    onMain(
        "select distinct pid from re_rechnungen where status<>0 and status<>8 and status<>10 and "
        "status<>11",
        "Fehler in FillList-4a: ");
    onMain("select distinct pid from dmp_form where abrechnung=0", "Fehler in FillList-4a: ");
    own("kassenbuch", "select distinct pid from kassenbuch", "Fehler in FillList-5: ");
    onMain(
        "select distinct pid from abrechnungen where abrechnung=0 and (sid<0 or (sid>0 and "
        "gordnung in (1,5,6)))",
        "Fehler in FillList-3: ");
    // Billing records that no service refers to. Written as "not exists"
    // rather than as a left join against the distinct sids of the services:
    // the same rows, but Firebird 3 would build that derived table anew for
    // every billing record (minutes in a large practice), where this probes
    // the services' sid index once per record.
    onMain(
        "select b.pid from scheine b where not exists (select 1 from abrechnungen a where "
        "a.sid=b.sid)",
        "Fehler in FillList-4: ");
    return complete;
}

bool IsVelunda(const ArchiveDbPair& db) {
    return asciitext::Lower(db.DisplayName) == "velunda";
}

// The doctor of the doctor list's selection, -1 when none is selected.
int32_t SelectedDoctor(IMainView& view) {
    IComboBox& doctors = view.Doctors();
    return doctors.GetCurSel() >= 0 ? doctors.GetItemData(doctors.GetCurSel()) : -1;
}

// Column text read through the shared value buffer: a null reads as empty
// text, a longer value is cut to what the buffer holds.
std::string BufferedText(ODBCStmt& stmt, SQLUSMALLINT column) {
    stmt.GetColumnData(column, ValueBuffer, ValueBufferSize);
    ValueBuffer[ValueBufferSize - 1] = 0;
    return ValueBuffer;
}

}  // namespace

int32_t PickerDayAt(int64_t pickerSeconds, int hour, int minute, int second) {
    const time_t t = time_t(pickerSeconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return int32_t(std::mktime(&tm));
}

std::string ServiceDateText(int32_t datum) {
    if (datum == 0) return "---";
    const time_t t = datum;
    std::tm tm{};
    if (!localtime_r(&t, &tm)) return "---";
    char text[32];
    std::snprintf(text, sizeof text, "%02d.%02d.%d", tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900);
    return text;
}

std::string OutsideRangeLine(int patients, int32_t first, int32_t last) {
    const std::string range = "zwischen " + ServiceDateText(first) + " und " +
                              ServiceDateText(last) + " werden alle angezeigt.";
    if (patients == 1)
        return "• 1 weiterer archivierter Patient liegt außerhalb von „Letzte Leistung "
               "zwischen“; " +
               range;
    return "• " + std::to_string(patients) +
           " weitere archivierte Patienten liegen außerhalb von „Letzte Leistung zwischen“; " +
           range;
}

std::string InsuranceText(bool known, int32_t privatpatient) {
    static const char* const kTexts[] = {"Kasse", "Privat", "BG", "Krankenh."};
    if (!known || privatpatient < 0 || privatpatient > 3) return {};
    return kTexts[privatpatient];
}

std::string RunFilterText(const std::string& pidList) {
    if (pidList.empty()) return {};
    const std::vector<std::string> parts = SplitPidList(pidList);
    if (parts.size() == 1) return "pid in (" + pidList + ") ";
    std::string text = "(";
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) text += " or ";
        text += "pid in (" + parts[i] + ")";
    }
    return text + ") ";
}

std::string PatientQuery(int32_t admittedFrom, int32_t admittedTo, const std::string& name,
                         const std::string& pidFilter, const std::string& doctorFilter) {
    char head[160];
    std::snprintf(head, sizeof head,
                  "select pid, nachname, vorname, privatpatient from patienten where "
                  "(aufnahmedatum>=%d and aufnahmedatum<=%d) ",
                  admittedFrom, admittedTo);
    std::string sql = head;
    if (!name.empty() || !pidFilter.empty() || !doctorFilter.empty()) sql += "and ";
    if (!name.empty()) {
        sql += "nachname like '%" + EscapeSQL(name) + "%' ";
        if (!doctorFilter.empty() || !pidFilter.empty()) sql += "and ";
    }
    if (!pidFilter.empty()) {
        sql += pidFilter;
        if (!doctorFilter.empty()) sql += "and ";
    }
    sql += doctorFilter;
    return sql + "order by trim(nachname), vorname";
}

bool CollectOpenBusiness(ArchiveDbPair* velunda, std::unordered_set<int32_t>& pids) {
    if (!velunda->Connection.IsOpen()) return false;
    ODBCStmt stmt(velunda->Connection);
    return CollectHiddenPatients(velunda, stmt, pids);
}

bool PatientList::RefuseUnsafeArchive() const {
    if (!archiveUnsafe_ || set_.ArchiveIsSource()) return false;
    ShowWarning(UnsafeArchiveMessage);
    return true;
}

PatientList::Inputs PatientList::ReadInputs(IMainView& view) const {
    Inputs in;
    in.source = set_.SourceList;
    in.list = &view.Patients();
    in.admittedFrom = PickerDayAt(view.GetPickerTime(IDC_ADMISSION_FROM), 0, 0, 0);
    in.admittedTo = PickerDayAt(view.GetPickerTime(IDC_ADMISSION_TO), 0, 0, 0);
    in.name = view.GetNameFilter();
    in.serviceTo = PickerDayAt(view.GetPickerTime(IDC_SERVICE_TO), 23, 59, 59);
    in.serviceFrom = PickerDayAt(view.GetPickerTime(IDC_SERVICE_FROM), 0, 0, 0);
    in.runsEnabled = view.IsControlEnabled(IDC_ARCHIVE_RUNS);
    if (in.runsEnabled) {
        IComboBox& runs = view.ArchiveRuns();
        in.runIndex = runs.GetCurSel();
        in.runDatum = runs.GetItemData(in.runIndex);
    }
    in.doctor = SelectedDoctor(view);
    in.presetPid = PresetPid;
    return in;
}

bool PatientList::FillListUnlessCurrent(IMainView& view) {
    if (filling_) return false;
    view.TakeTypedDates();
    if (current_ && set_.SourceList->Connection.IsOpen() && ReadInputs(view) == lastFill_)
        return false;
    FillList(view);
    return true;
}

void PatientList::FillList(IMainView& view) {
    ArchiveDbPair& main = *set_.SourceList;
    if (filling_) return;
    current_ = false;
    if (!main.Connection.IsOpen()) return;
    // Each log line lets the window handle its events, a refresh click too.
    struct Filling {
        bool& flag;
        explicit Filling(bool& f) : flag(f) { flag = true; }
        ~Filling() { flag = false; }
    } filling(filling_);
    // A date typed and not yet taken is what the field shows; one that is no
    // date has been refused by its picker, which then shows its date again.
    view.TakeTypedDates();

    // The filters as they are when the fill is asked for: a key typed while
    // its log lines let events run (Alt+N and a name) belongs to the next
    // fill, not to this one.
    const Inputs used = ReadInputs(view);
    const int32_t admittedFrom = used.admittedFrom, admittedTo = used.admittedTo;
    const int32_t serviceFrom = used.serviceFrom, serviceTo = used.serviceTo;
    const std::string& name = used.name;

    WaitCursor cursor;
    const uint64_t start = TickCount();
    AppendLog("Patientenliste (" + main.DisplayName + ") erstellen...", ColourBlue);
    const int failuresBefore = FailureLines();

    IListView& list = view.Patients();
    list.DeleteAllItems();
    list.SetRedraw(false);

    ODBCStmt stmt(main.Connection);
    PidSet hidden;
    bool checked = true;  // every query for open business ran
    if (IsVelunda(main)) {
        checked = CollectHiddenPatients(&main, stmt, hidden);
        archiveUnsafe_ = !checked;
        if (!hidden.empty()) {
            char line[200];
            std::snprintf(line, sizeof line,
                          "• %d Patienten mit offenen Leistungen, offenen eDokus, leeren Scheinen "
                          "oder Kassenbucheinträgen werden ausgeblendet",
                          int(hidden.size()));
            AppendLog(line);
        }
    }

    std::string pidFilter;
    if (used.runsEnabled && used.runDatum != 0 && used.runIndex >= 0)
        pidFilter = RunFilterText(GetArcPIDsFromDate(set_.Archive, used.runDatum));

    AppendLog("• Neuste Leistungen sammeln...");
    std::unordered_map<int32_t, int32_t> lastService;
    std::string sql = "select pid, max(datum) from abrechnungen ";
    if (!pidFilter.empty()) sql += "where " + pidFilter;
    sql += "group by pid";
    const bool fetched = stmt.ExecDirect(sql) && ForEachRow(stmt, [&] {
                             int32_t pid = 0, datum = 0;
                             stmt.GetColumnInt(1, pid);
                             stmt.GetColumnInt(2, datum);
                             lastService[pid] = datum;
                         });
    if (!fetched)
        AppendLog("Fehler in FillList-1: " + main.Connection.GetErrorText(stmt.Handle()),
                  ColourRed);
    stmt.Reset();

    std::string doctorFilter;
    if (used.doctor >= 0) doctorFilter = "aid=" + std::to_string(used.doctor) + " ";

    AppendLog("• Patienten sammeln...");
    int presetRow = -1;
    int row = 0;
    // Archived patients left out by the service range alone, and the span
    // of their latest services.
    int outside = 0;
    int32_t outsideFirst = 0, outsideLast = 0;
    const bool listed =
        stmt.ExecDirect(PatientQuery(admittedFrom, admittedTo, name, pidFilter, doctorFilter)) &&
        ForEachRow(stmt, [&] {
            int32_t pid = 0;
            stmt.GetColumnInt(1, pid);
            if (hidden.count(pid)) return;
            auto found = lastService.find(pid);
            const int32_t latest = found == lastService.end() ? 0 : found->second;
            // A patient without any service is listed whatever the range.
            if (latest != 0 && (latest < serviceFrom || latest > serviceTo)) {
                if (outside++ == 0 || latest < outsideFirst) outsideFirst = latest;
                if (outside == 1 || latest > outsideLast) outsideLast = latest;
                return;
            }
            std::string text = BufferedText(stmt, 2);
            text += ", ";
            text += BufferedText(stmt, 3);
            const int index = list.InsertItem(row++, text);
            list.SetCheck(index, PresetPid < 0 || PresetPid == pid);
            list.SetItemData(index, pid);
            if (pid == PresetPid) presetRow = index;
            list.SetItemText(index, 2, ServiceDateText(latest));
            int32_t kind = 0;
            const bool known = stmt.GetColumnInt(4, kind);
            list.SetItemText(index, 1, InsuranceText(known, kind));
        });
    if (!listed)
        AppendLog("Fehler in FillList-2: " + main.Connection.GetErrorText(stmt.Handle()),
                  ColourRed);

    stmt.Reset();
    list.SetRedraw(true);
    list.AutoSizeColumn(1);
    list.AutoSizeColumn(2);
    list.SetColumnWidth(0, list.GetClientWidth() - list.GetColumnWidth(1) - list.GetColumnWidth(2));
    if (presetRow >= 0) list.EnsureVisible(presetRow);
    // The archive view's range starts where the Velunda view's ends, so a
    // patient archived just now is usually outside it: say so, with the
    // range that shows them.
    if (!IsVelunda(main) && outside > 0)
        AppendLog(OutsideRangeLine(outside, std::min(outsideFirst, serviceFrom),
                                   std::max(outsideLast, serviceTo)));
    char count[64];
    std::snprintf(count, sizeof count, "%d Patienten ausgewählt.", list.GetItemCount());
    AppendLog(count, ColourCount);
    LogReady(start);
    lastFill_ = used;
    current_ = checked && fetched && listed && FailureLines() == failuresBefore;
}
