#include "archive/MigrateNotes.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "archive/ColumnText.h"
#include "archive/StatementObserver.h"
#include "db/ArchiveDbPair.h"
#include "db/ODBCStmt.h"
#include "db/OdbcResult.h"
#include "db/RecordId.h"
#include "db/SqlDialect.h"

namespace {

constexpr size_t kIdsPerDelete = 500;

// The note's time in local time as a date-time literal between the quote
// of the destination kind: "'" for Firebird, "#" for Access.
std::string NoteTime(int32_t datum, char quote) {
    const std::time_t t = datum;
    std::tm tm{};
    int year = 0, month = 0, day = 0, hour = -1, minute = -1, second = -1;
    if (localtime_r(&t, &tm)) {
        year = tm.tm_year + 1900;
        month = tm.tm_mon + 1;
        day = tm.tm_mday;
        hour = tm.tm_hour;
        minute = tm.tm_min;
        second = tm.tm_sec;
    }
    char text[96];
    std::snprintf(text, sizeof text, "%c%d-%d-%d %02d:%02d:%02d%c", quote, year, month, day, hour,
                  minute, second, quote);
    return text;
}

// The number of a note. False when it cannot be read; a note without a
// number (null) gives true and isNull, since no delete by number reaches it.
bool ReadNid(ODBCStmt& stmt, int32_t& nid, bool& isNull) {
    char buffer[64] = {0};
    SQLLEN indicator = 0;
    nid = 0;
    isNull = false;
    if (!stmt.GetColumnData(1, buffer, sizeof buffer, &indicator)) return false;
    if (indicator == SQL_NULL_DATA) {
        isNull = true;
        return true;
    }
    if (indicator == 2) {
        int16_t v16;
        std::memcpy(&v16, buffer, sizeof v16);
        nid = v16;
    } else {
        std::memcpy(&nid, buffer, sizeof nid);
    }
    return true;
}

// After a read of "notizen" that broke off, notes that were never seen may
// share a number with moved ones. A number is then deleted only when the
// table holds no more notes of that number than were moved; nothing at all
// when that cannot be counted.
std::vector<int32_t> NumbersHeldOnlyByMoved(ODBCConnection& connection,
                                            const std::map<int32_t, int>& movedPerNid) {
    std::vector<int32_t> safe;
    std::vector<int32_t> nids;
    for (const auto& entry : movedPerNid) nids.push_back(entry.first);
    for (size_t first = 0; first < nids.size(); first += kIdsPerDelete) {
        std::string list;
        for (size_t n = first; n < nids.size() && n < first + kIdsPerDelete; ++n)
            list += (list.empty() ? "" : ",") + std::to_string(nids[n]);
        ODBCStmt stmt(connection);
        if (!stmt.ExecDirect("select nid, count(*) from notizen where nid in (" + list +
                             ") group by nid"))
            return {};
        SQLRETURN rc;
        while (SqlSucceeded(rc = SQLFetch(stmt.Handle()))) {
            int32_t nid = 0;
            int64_t count = 0;
            SQLLEN indicator = 0;
            // A count is an 8-byte integer on Firebird, 4 bytes on the Access kind.
            char buffer[16] = {0};
            if (!stmt.GetColumnInt(1, nid) ||
                !stmt.GetColumnData(2, buffer, sizeof buffer, &indicator))
                return {};
            if (indicator == 8) {
                std::memcpy(&count, buffer, sizeof count);
            } else if (indicator == 4) {
                int32_t count32 = 0;
                std::memcpy(&count32, buffer, sizeof count32);
                count = count32;
            } else {
                return {};
            }
            const auto moved = movedPerNid.find(nid);
            if (moved != movedPerNid.end() && count <= moved->second) safe.push_back(nid);
        }
        if (rc != SQL_NO_DATA) return {};
    }
    return safe;
}

}  // namespace

void MigrateNotes(ArchiveDbPair& archive) {
    ODBCConnection& connection = archive.Connection;
    if (!connection.IsOpen()) return;
    ODBCStmt stmt(connection);
    if (!stmt.ExecDirect("select nid, pid, aid, datum, notiz from notizen")) return;

    const int32_t created = int32_t(std::time(nullptr));
    const char quote = archive.Extension == ".fdb" ? '\'' : '#';
    std::vector<int32_t> moved;
    std::set<int32_t> kept;
    // Without a record id no further note is written; the rest are still
    // read, for their numbers.
    bool stopped = false;
    // Every note of the table was seen, with its number.
    bool complete = true;
    SQLRETURN rc;
    while (SqlSucceeded(rc = SQLFetch(stmt.Handle()))) {
        int32_t nid = 0, pid = 0, aid = 0, datum = 0;
        bool nullNid = false;
        if (!ReadNid(stmt, nid, nullNid)) {
            complete = false;
            continue;
        }
        // A note without a number could not be deleted after the copy and
        // would be copied again at every start; it stays where it is.
        if (nullNid) continue;
        if (stopped) {
            kept.insert(nid);
            continue;
        }
        stmt.GetColumnInt(2, pid);
        stmt.GetColumnInt(3, aid);
        stmt.GetColumnInt(4, datum);
        // The whole note, however long.
        std::string text;
        SQLLEN indicator = 0;
        if (!ReadColumnText(stmt.Handle(), 5, text, indicator)) {
            kept.insert(nid);
            continue;
        }
        // Without a record id the note stays; so do the ones after it, since
        // the id file that failed now would fail for each of them, after a
        // minute of retries and a message box apiece.
        const int32_t did = getID("karteiData");
        if (did < 0) {
            stopped = true;
            kept.insert(nid);
            continue;
        }
        char head[160];
        std::snprintf(head, sizeof head,
                      "insert into data (did, pid, aid, cid, datum, txt, flags, deleted, created) "
                      "values(%d, %d, %d, 4, ",
                      did, pid, aid);
        char tail[48];
        std::snprintf(tail, sizeof tail, "', 0, 0, %d)", created);
        const std::string sql = head + NoteTime(datum, quote) + ", '" + EscapeSQL(text) + tail;
        ObserveStatement(archive, sql);
        if (connection.RunSQL(sql))
            kept.insert(nid);
        else
            moved.push_back(nid);
    }
    if (rc != SQL_NO_DATA) complete = false;
    stmt.Reset();

    // Only after every insert, and never a number that also belongs to a note
    // that stayed, since the delete goes by number.
    std::map<int32_t, int> movedPerNid;
    for (int32_t nid : moved)
        if (!kept.count(nid)) ++movedPerNid[nid];
    std::set<int32_t> deletable;
    if (complete) {
        for (const auto& entry : movedPerNid) deletable.insert(entry.first);
    } else {
        for (int32_t nid : NumbersHeldOnlyByMoved(connection, movedPerNid)) deletable.insert(nid);
    }
    std::vector<std::string> lists;
    std::string list;
    size_t count = 0;
    for (int32_t nid : moved) {
        if (!deletable.count(nid)) continue;
        list += (list.empty() ? "" : ",") + std::to_string(nid);
        if (++count == kIdsPerDelete) {
            lists.push_back(list);
            list.clear();
            count = 0;
        }
    }
    if (!list.empty()) lists.push_back(list);
    for (const std::string& ids : lists) {
        const std::string sql = "delete from notizen where nid in (" + ids + ")";
        ObserveStatement(archive, sql);
        connection.RunSQL(sql);
    }
}
