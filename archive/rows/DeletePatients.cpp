#include "archive/rows/DeletePatients.h"

#include <strings.h>

#include "archive/rows/PidIndex.h"
#include "archive/rows/PidList.h"
#include "archive/rows/RunCheckpoint.h"
#include "archive/rows/StatementObserver.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "db/ArchiveDbPair.h"
#include "db/ODBCStmt.h"
#include "db/OdbcResult.h"
#include "platform/Broadcast.h"

bool DeletePatients(ArchiveDbPair* sourceList, const std::string& pidList,
                    const DeleteOptions& options) {
    const std::vector<std::string> parts = SplitPidList(pidList);
    bool failed = false;
    for (ArchiveDbPair* db = sourceList; db && !failed;
         db = options.singleDatabase ? nullptr : db->Next) {
        for (const std::string& table : SplitTableList(db->Tables)) {
            AppendLog("• " + db->DisplayName + "." + table + "...", 0, LogNoLineEnd);
            // Long pid lists go out as several deletes (Firebird's in-list
            // limit), as ranged conditions on a Firebird table without a pid
            // index; the line shows their total.
            SQLLEN total = 0;
            for (const std::string& condition : PidConditions(*db, table, parts, "pid in(")) {
                ODBCStmt stmt(db->Connection);
                const std::string sql = "delete from " + table + " where " + condition;
                ObserveStatement(*db, sql);
                if (!SqlExecuted(stmt.Execute(sql))) {
                    // The failure shows the delete by its in-list, as every
                    // table gets it elsewhere; the ranged form is the
                    // engine's concern and stays in the log of statements.
                    const bool inList = condition.rfind("pid in(", 0) == 0;
                    AppendLog(
                        "\r\nFehler beim Löschen:\r\n" +
                            (inList ? sql
                                    : "delete from " + table + " where pid in(" + pidList + ")") +
                            "\r\n" + db->Connection.GetErrorText(stmt.Handle()),
                        ColourRed);
                    failed = true;
                    break;
                }
                SQLLEN count = 0;
                if (!SqlSucceeded(SQLRowCount(stmt.Handle(), &count)) || count < 0) count = 0;
                total += count;
            }
            if (failed) break;
            AppendLog(" (" + std::to_string(total) + " Einträge)", ColourCount);
            if (options.deleted)
                options.deleted->push_back(
                    {db->FileName + db->Extension, table, int64_t(total), std::nullopt});
            RunCheckpoint("deletion");
            if (options.afterTable && !options.afterTable(int64_t(total))) {
                failed = true;
                break;
            }
        }
    }
    if (!failed && options.announce) AnnounceDeletion(sourceList);
    return !failed;
}

void AnnounceDeletion(ArchiveDbPair* sourceList) {
    if (sourceList && strcasecmp(sourceList->DisplayName.c_str(), "Velunda") == 0)
        BroadcastNewPatients();
}

bool DeletedAsCounted(ArchiveDbPair* list, const std::vector<TableCount>& deleted,
                      const std::vector<TableCount>& before, const char* counted) {
    bool agree = true;
    for (size_t i = 0; i < deleted.size() && i < before.size() && agree; ++i) {
        if (deleted[i].rows == before[i].rows) continue;
        std::string name = deleted[i].file;
        for (ArchiveDbPair* db = list; db; db = db->Next)
            if (db->FileName + db->Extension == deleted[i].file) name = db->DisplayName;
        const std::string counts =
            " wurden " + std::to_string(deleted[i].rows) + " Einträge gelöscht, aber ";
        const std::string where = name + "." + deleted[i].table;
        if (deleted[i].rows > before[i].rows) {
            // Rows that were not counted before would be gone without a trace.
            AppendLog("Fehler: in " + where + counts + "nur " + std::to_string(before[i].rows) +
                          " " + counted + "; die übrigen wären verloren.",
                      ColourRed);
            agree = false;
        } else {
            // Fewer: the database removed the rest itself while the run
            // deleted in other tables (a cascading delete, a trigger); every
            // counted row is gone from this side all the same.
            AppendLog("• In " + where + counts + std::to_string(before[i].rows) + " " + counted +
                      "; die übrigen hat die Datenbank beim Löschen in anderen Tabellen selbst "
                      "entfernt.");
        }
    }
    return agree && deleted.size() == before.size();
}
