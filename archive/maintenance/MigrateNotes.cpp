#include "archive/maintenance/MigrateNotes.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "archive/rows/ColumnText.h"
#include "archive/rows/StatementObserver.h"
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

// A count(*): an 8-byte integer on Firebird, 4 bytes on the Access kind.
bool ReadCount(ODBCStmt& stmt, SQLUSMALLINT n, int64_t& count) {
    char buffer[16] = {0};
    SQLLEN indicator = 0;
    if (!stmt.GetColumnData(n, buffer, sizeof buffer, &indicator)) return false;
    if (indicator == 8) {
        std::memcpy(&count, buffer, sizeof count);
        return true;
    }
    if (indicator == 4) {
        int32_t count32 = 0;
        std::memcpy(&count32, buffer, sizeof count32);
        count = count32;
        return true;
    }
    return false;
}

// A moved note as "notizen" held it, and the record id of its copy in "data".
struct MovedNote {
    int32_t nid = 0;
    int32_t values[3] = {0, 0, 0};  // pid, aid, datum
    bool nulls[3] = {false, false, false};
    std::string text;
    bool nullText = false;
    int32_t did = 0;

    // The condition that the whole row meets, for a note whose number it
    // shares with a note that stays.
    std::string Row() const {
        static const char* const kNames[] = {"pid", "aid", "datum"};
        std::string where = "nid = " + std::to_string(nid);
        for (int i = 0; i < 3; ++i)
            where += std::string(" and ") + kNames[i] +
                     (nulls[i] ? " is null" : " = " + std::to_string(values[i]));
        return where + (nullText ? " and notiz is null" : " and notiz = '" + EscapeSQL(text) + "'");
    }
};

// The notes of one number that may not be deleted by it are deleted row by
// row, by the whole row. Only where the table holds exactly as many rows
// like it as were moved: otherwise (a note that stays looks the same to the
// engine, or the rows cannot be counted) the copies in "data" are taken back
// and the notes stay in "notizen" for a later start.
void DeleteByRow(ArchiveDbPair& archive, const std::vector<const MovedNote*>& notes) {
    std::map<std::string, std::vector<const MovedNote*>> byRow;
    for (const MovedNote* note : notes) byRow[note->Row()].push_back(note);
    for (const auto& [row, same] : byRow) {
        int64_t count = -1;
        {
            ODBCStmt stmt(archive.Connection);
            if (!stmt.ExecDirect("select count(*) from notizen where " + row) || !stmt.Fetch() ||
                !ReadCount(stmt, 1, count))
                count = -1;
        }
        if (count == int64_t(same.size())) {
            const std::string sql = "delete from notizen where " + row;
            ObserveStatement(archive, sql);
            archive.Connection.RunSQL(sql);
            continue;
        }
        for (const MovedNote* note : same) {
            const std::string sql = "delete from data where did = " + std::to_string(note->did);
            ObserveStatement(archive, sql);
            archive.Connection.RunSQL(sql);
        }
    }
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
            if (!stmt.GetColumnInt(1, nid) || !ReadCount(stmt, 2, count)) return {};
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
    std::vector<MovedNote> moved;
    std::set<int32_t> kept;
    // Without a record id no further note is written; the rest are still
    // read, for their numbers.
    bool stopped = false;
    // Every note of the table was seen, with its number.
    bool complete = true;
    SQLRETURN rc;
    while (SqlSucceeded(rc = SQLFetch(stmt.Handle()))) {
        MovedNote note;
        bool nullNid = false;
        if (!stmt.GetColumnInt(1, note.nid, nullNid)) {
            complete = false;
            continue;
        }
        // A note without a number could not be deleted after the copy and
        // would be copied again at every start; it stays where it is.
        if (nullNid) continue;
        if (stopped) {
            kept.insert(note.nid);
            continue;
        }
        bool read = true;
        for (int i = 0; i < 3; ++i)
            read = stmt.GetColumnInt(SQLUSMALLINT(i + 2), note.values[i], note.nulls[i]) && read;
        // The whole note, however long.
        SQLLEN indicator = 0;
        if (!read || !ReadColumnText(stmt.Handle(), 5, note.text, indicator)) {
            kept.insert(note.nid);
            continue;
        }
        note.nullText = indicator == SQL_NULL_DATA;
        // Without a record id the note stays; so do the ones after it, since
        // the id file that failed now would fail for each of them, after a
        // minute of retries and a message box apiece.
        note.did = getID("karteiData");
        if (note.did < 0) {
            stopped = true;
            kept.insert(note.nid);
            continue;
        }
        char head[160];
        std::snprintf(head, sizeof head,
                      "insert into data (did, pid, aid, cid, datum, txt, flags, deleted, created) "
                      "values(%d, %d, %d, 4, ",
                      note.did, note.values[0], note.values[1]);
        char tail[48];
        std::snprintf(tail, sizeof tail, "', 0, 0, %d)", created);
        const std::string sql =
            head + NoteTime(note.values[2], quote) + ", '" + EscapeSQL(note.text) + tail;
        ObserveStatement(archive, sql);
        if (connection.RunSQL(sql))
            kept.insert(note.nid);
        else
            moved.push_back(std::move(note));
    }
    if (rc != SQL_NO_DATA) complete = false;
    stmt.Reset();

    // Only after every insert. By number where every note of that number
    // moved; the others by their whole rows.
    std::map<int32_t, int> movedPerNid;
    for (const MovedNote& note : moved)
        if (!kept.count(note.nid)) ++movedPerNid[note.nid];
    std::set<int32_t> deletable;
    if (complete) {
        for (const auto& entry : movedPerNid) deletable.insert(entry.first);
    } else {
        for (int32_t nid : NumbersHeldOnlyByMoved(connection, movedPerNid)) deletable.insert(nid);
    }
    std::vector<std::string> lists;
    std::string list;
    size_t count = 0;
    std::vector<const MovedNote*> byRow;
    for (const MovedNote& note : moved) {
        if (!deletable.count(note.nid)) {
            byRow.push_back(&note);
            continue;
        }
        list += (list.empty() ? "" : ",") + std::to_string(note.nid);
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
    DeleteByRow(archive, byRow);
}
