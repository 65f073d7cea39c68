#include "archive/rows/PidIndex.h"

#include <strings.h>

#include <map>
#include <mutex>
#include <utility>

#include "archive/rows/PidList.h"
#include "core/AsciiText.h"
#include "core/Globals.h"
#include "db/ArchiveDbPair.h"
#include "db/ODBCStmt.h"
#include "db/OdbcResult.h"

namespace {

enum class PidIndex { Leads, None, Unknown };

// What the catalog says of table's indexes: one led by pid, none, or
// nothing (no such table, or the catalog cannot be read).
PidIndex FindPidIndex(ArchiveDbPair& db, const std::string& table) {
    ODBCStmt stmt(db.Connection);
    std::string name = table;
    SQLRETURN rc = SQLStatistics(stmt.Handle(), nullptr, 0, nullptr, 0,
                                 reinterpret_cast<SQLCHAR*>(name.data()), SQLSMALLINT(name.size()),
                                 SQL_INDEX_ALL, SQL_QUICK);
    if (!SqlSucceeded(rc)) return PidIndex::Unknown;
    bool listed = false;
    while (SqlSucceeded(SQLFetch(stmt.Handle()))) {
        // The table's own statistics row comes first; then column 8 is the
        // position within an index, 9 the column's name.
        listed = true;
        SQLSMALLINT position = 0;
        SQLLEN positionIndicator = 0, nameIndicator = 0;
        char column[256] = {0};
        if (!SqlSucceeded(SQLGetData(stmt.Handle(), 8, SQL_C_SSHORT, &position, sizeof position,
                                     &positionIndicator)) ||
            !SqlSucceeded(
                SQLGetData(stmt.Handle(), 9, SQL_C_CHAR, column, sizeof column, &nameIndicator)))
            return PidIndex::Unknown;
        if (positionIndicator == SQL_NULL_DATA || nameIndicator == SQL_NULL_DATA) continue;
        std::string columnName = column;
        while (!columnName.empty() && columnName.back() == ' ') columnName.pop_back();
        if (position == 1 && strcasecmp(columnName.c_str(), "pid") == 0) return PidIndex::Leads;
    }
    return listed ? PidIndex::None : PidIndex::Unknown;
}

// FindPidIndex, asked of the catalog once per database file and table: a
// run names the same table's patients in its counts, copy, fingerprints,
// deletion and checks. What the catalog could not tell is asked again.
// Either answer names the same rows, so an index made meanwhile only costs
// the cheaper statement until the program starts again.
PidIndex KnownPidIndex(ArchiveDbPair& db, const std::string& table) {
    static std::mutex mutex;
    static std::map<std::pair<std::string, std::string>, PidIndex> known;
    const auto key = std::make_pair(DatabaseDir + "/" + db.File(), asciitext::Lower(table));
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto it = known.find(key);
        if (it != known.end()) return it->second;
    }
    const PidIndex found = FindPidIndex(db, table);
    if (found != PidIndex::Unknown) {
        std::lock_guard<std::mutex> lock(mutex);
        known[key] = found;
    }
    return found;
}

}  // namespace

bool PidLeadsIndex(ArchiveDbPair& db, const std::string& table) {
    return KnownPidIndex(db, table) == PidIndex::Leads;
}

bool UseRangedPidConditions(ArchiveDbPair& db, const std::string& table) {
    return db.Extension == ".fdb" && KnownPidIndex(db, table) == PidIndex::None;
}

std::vector<std::string> PidConditions(ArchiveDbPair& db, const std::string& table,
                                       const std::vector<std::string>& pidParts,
                                       const char* inList) {
    std::vector<std::string> conditions;
    if (UseRangedPidConditions(db, table)) {
        std::string list;
        for (const std::string& part : pidParts) {
            if (part.empty()) continue;
            if (!list.empty()) list += ",";
            list += part;
        }
        return RangedPidConditions(list);
    }
    for (const std::string& part : pidParts) conditions.push_back(inList + part + ")");
    return conditions;
}
