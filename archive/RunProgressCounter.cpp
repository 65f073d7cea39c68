#include "archive/RunProgressCounter.h"

#include <cstdlib>
#include <unordered_set>

#include "archive/PatientRows.h"
#include "archive/PidList.h"
#include "archive/StatementObserver.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "core/RunProgress.h"
#include "db/ArchiveDbPair.h"
#include "db/ODBCStmt.h"
#include "db/OdbcResult.h"
#include "platform/StopSignals.h"

namespace {

// From this many patients on, a Firebird table is counted in one grouped
// pass over the whole table. Firebird 3 tests a long "pid in (...)" list
// value by value on every row it reads, so counting a few thousand patients
// that way cost a quarter of the run; the grouped pass reads each row once.
// For short lists the "in" count through the pid index is the cheaper one.
// SQLite looks "in" lists up in a temporary index, so there it is always
// cheap.
constexpr size_t kGroupedCountFrom = 200;

// The rows of the patients in pids, from "select pid, count(*) ... group by
// pid". False when the query fails.
bool CountGrouped(ArchiveDbPair& db, const std::string& table,
                  const std::unordered_set<int64_t>& pids, int64_t& rows) {
    ODBCStmt stmt(db.Connection);
    const std::string sql = "select pid, count(*) from " + table + " group by pid";
    ObserveStatement(db, sql);
    if (!SqlExecuted(stmt.Execute(sql))) return false;
    const SQLHSTMT h = stmt.Handle();
    int64_t total = 0;
    while (true) {
        const SQLRETURN rc = SQLFetch(h);
        if (rc == SQL_NO_DATA) break;
        SQLBIGINT pid = 0, count = 0;
        SQLLEN pidIndicator = 0, countIndicator = 0;
        if (!SqlSucceeded(rc) ||
            !SqlSucceeded(SQLGetData(h, 1, SQL_C_SBIGINT, &pid, sizeof pid, &pidIndicator)) ||
            !SqlSucceeded(SQLGetData(h, 2, SQL_C_SBIGINT, &count, sizeof count, &countIndicator)))
            return false;
        if (pidIndicator != SQL_NULL_DATA && countIndicator != SQL_NULL_DATA && pids.count(pid))
            total += count;
    }
    rows = total;
    return true;
}

}  // namespace

bool StopRequestedDuringRun() {
    static bool said = false;
    if (!stopsignals::Requested()) return false;
    if (!said) {
        said = true;
        AppendLog("\r\nTamaro soll beendet werden: der Vorgang wird abgebrochen.", ColourRed);
    }
    return true;
}

bool RunProgressCounter::CountRows(ArchiveDbPair* list, const std::vector<std::string>& pidParts,
                                   int passes) {
    std::unordered_set<int64_t> pids;
    for (const std::string& part : pidParts)
        for (const std::string& pid : SplitPidList(part, 1)) pids.insert(std::atoll(pid.c_str()));
    const bool grouped = pids.size() >= kGroupedCountFrom;
    uint64_t rows = 0;
    for (ArchiveDbPair* db = list; db; db = db->Next) {
        for (const std::string& table : SplitTableList(db->Tables)) {
            int64_t n = 0;
            if (grouped && db->Extension == ".fdb" && CountGrouped(*db, table, pids, n)) {
                rows += uint64_t(n);
                continue;
            }
            if (!CountPatientRows(*db, table, pidParts, n)) {
                rows = 0;
                break;
            }
            rows += uint64_t(n);
        }
    }
    total_ = rows * uint64_t(passes);
    active_ = true;
    ReportRunProgress(what_, 0, total_);
    return true;
}

bool RunProgressCounter::Step(int64_t rows) {
    if (rows > 0) done_ += uint64_t(rows);
    // A report per thousandth of the whole, and a look for a stop request
    // every few rows, keep both cheap on runs of millions of rows.
    const uint64_t grain = total_ / 1000 + 1;
    if (done_ - reported_ >= grain || done_ >= total_) {
        reported_ = done_;
        ReportRunProgress(what_, done_, total_);
    }
    sinceCheck_ += rows > 0 ? uint64_t(rows) : 1;
    if (sinceCheck_ < 64) return true;
    sinceCheck_ = 0;
    return !StopRequestedDuringRun();
}

void RunProgressCounter::End() {
    if (!active_) return;
    active_ = false;
    EndRunProgress();
}
