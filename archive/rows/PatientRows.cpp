#include "archive/rows/PatientRows.h"

#include <cstdlib>
#include <unordered_set>

#include "archive/rows/ColumnText.h"
#include "archive/rows/PidIndex.h"
#include "archive/rows/PidList.h"
#include "archive/rows/StatementObserver.h"
#include "db/ArchiveDbPair.h"
#include "db/ODBCStmt.h"
#include "db/OdbcResult.h"

namespace {

// From this many patients on, a Firebird table is counted in one grouped
// pass over the whole table. Firebird 3 tests a long "pid in (...)" list
// value by value on every row it reads: counting 2,000 patients that way
// cost a quarter of their run, and the grouped pass a twentieth. For short
// lists the "in" count through the pid index is the cheaper one. SQLite
// looks "in" lists up in a temporary index, so there it is always cheap.
constexpr size_t kGroupedCountFrom = 200;

// The rows of the patients in pids, from one grouped count of the table.
bool CountGrouped(ArchiveDbPair& db, const std::string& table,
                  const std::unordered_set<int64_t>& pids, int64_t& rows) {
    int64_t total = 0;
    if (!ReadRowsPerPatient(db, table, [&](std::optional<int64_t> pid, int64_t n) {
            if (pid && pids.count(*pid)) total += n;
        }))
        return false;
    rows = total;
    return true;
}

}  // namespace

bool CountPatientRows(ArchiveDbPair& db, const std::string& table,
                      const std::vector<std::string>& pidParts, int64_t& rows, std::string* error,
                      const std::string& condition) {
    if (condition.empty() && db.Extension == ".fdb") {
        std::unordered_set<int64_t> pids;
        for (const std::string& part : pidParts)
            for (const std::string& pid : SplitPidList(part, 1))
                if (!pid.empty()) pids.insert(std::atoll(pid.c_str()));
        // A grouped count that fails is tried once more the usual way.
        if (pids.size() >= kGroupedCountFrom && CountGrouped(db, table, pids, rows)) return true;
    }
    int64_t total = 0;
    for (const std::string& part : pidParts) {
        ODBCStmt stmt(db.Connection);
        const std::string sql = "select count(*) from " + table + " where pid in (" + part + ")" +
                                (condition.empty() ? "" : " and " + condition);
        std::string text;
        SQLLEN indicator = 0;
        ObserveStatement(db, sql);
        if (!SqlExecuted(stmt.Execute(sql)) || !stmt.Fetch() ||
            !ReadColumnText(stmt.Handle(), 1, text, indicator) || indicator < 1) {
            if (error) *error = db.Connection.GetErrorText(stmt.Handle());
            return false;
        }
        total += std::atoll(text.c_str());
    }
    rows = total;
    return true;
}

bool ReadRowsPerPatient(ArchiveDbPair& db, const std::string& table,
                        const std::function<void(std::optional<int64_t> pid, int64_t rows)>& each,
                        std::string* error) {
    ODBCStmt stmt(db.Connection);
    const std::string sql = "select pid, count(*) from " + table + " group by pid";
    ObserveStatement(db, sql);
    const SQLHSTMT h = stmt.Handle();
    if (SqlExecuted(stmt.Execute(sql))) {
        while (true) {
            const SQLRETURN rc = SQLFetch(h);
            if (rc == SQL_NO_DATA) return true;
            SQLBIGINT pid = 0, count = 0;
            SQLLEN pidIndicator = 0, countIndicator = 0;
            if (!SqlSucceeded(rc) ||
                !SqlSucceeded(SQLGetData(h, 1, SQL_C_SBIGINT, &pid, sizeof pid, &pidIndicator)) ||
                !SqlSucceeded(
                    SQLGetData(h, 2, SQL_C_SBIGINT, &count, sizeof count, &countIndicator)))
                break;
            each(pidIndicator == SQL_NULL_DATA ? std::nullopt : std::optional<int64_t>(pid),
                 countIndicator == SQL_NULL_DATA ? 0 : int64_t(count));
        }
    }
    if (error) *error = db.Connection.GetErrorText(h);
    return false;
}

bool CountRowsPerPatient(ArchiveDbPair& db, const std::string& table,
                         const std::vector<std::string>& pidParts, std::map<int64_t, int64_t>& rows,
                         std::string* error) {
    rows.clear();
    // Only the patients' rows are grouped: through the pid index where the
    // table has one, otherwise in one read of the table per part of the
    // list that tests each row against few ids. A grouped count of the
    // whole table would sort and hand over every patient of the practice.
    for (const std::string& condition : PidConditions(db, table, pidParts)) {
        ODBCStmt stmt(db.Connection);
        const std::string sql =
            "select pid, count(*) from " + table + " where " + condition + " group by pid";
        ObserveStatement(db, sql);
        const SQLHSTMT h = stmt.Handle();
        bool ok = SqlExecuted(stmt.Execute(sql));
        while (ok) {
            const SQLRETURN rc = SQLFetch(h);
            if (rc == SQL_NO_DATA) break;
            SQLBIGINT pid = 0, count = 0;
            SQLLEN pidIndicator = 0, countIndicator = 0;
            ok = SqlSucceeded(rc) &&
                 SqlSucceeded(SQLGetData(h, 1, SQL_C_SBIGINT, &pid, sizeof pid, &pidIndicator)) &&
                 SqlSucceeded(
                     SQLGetData(h, 2, SQL_C_SBIGINT, &count, sizeof count, &countIndicator));
            if (ok && pidIndicator != SQL_NULL_DATA && countIndicator != SQL_NULL_DATA)
                rows[int64_t(pid)] += int64_t(count);
        }
        if (!ok) {
            if (error) *error = db.Connection.GetErrorText(h);
            return false;
        }
    }
    return true;
}

bool FindPatientRecords(ArchiveDbPair& db, const std::vector<std::string>& pidParts,
                        std::set<int32_t>& found, std::string* error) {
    ODBCStmt stmt(db.Connection);
    for (const std::string& part : pidParts) {
        if (!stmt.ExecDirect("select pid from patienten where pid in (" + part + ")")) {
            if (error) *error = db.Connection.GetErrorText(stmt.Handle());
            return false;
        }
        while (stmt.Fetch()) {
            int32_t pid = 0;
            if (stmt.GetColumnInt(1, pid)) found.insert(pid);
        }
        stmt.Reset();
    }
    return true;
}
