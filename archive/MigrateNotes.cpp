#include "archive/MigrateNotes.h"

#include <cstdio>
#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "archive/ColumnText.h"
#include "archive/StatementObserver.h"
#include "db/ArchiveDbPair.h"
#include "db/ODBCStmt.h"
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
    while (stmt.Fetch()) {
        int32_t nid = 0, pid = 0, aid = 0, datum = 0;
        // A note without a number could not be deleted after the copy and
        // would be copied again at every start; it stays where it is.
        if (!stmt.GetColumnInt(1, nid)) continue;
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
        if (did < 0) break;
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
    stmt.Reset();

    // Only after every insert, and never a number that also belongs to a note
    // that stayed, since the delete goes by number.
    std::vector<std::string> lists;
    std::string list;
    size_t count = 0;
    for (int32_t nid : moved) {
        if (kept.count(nid)) continue;
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
