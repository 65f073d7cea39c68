#include "archive/TransferPatients.h"

#include <strings.h>

#include <cstring>
#include <ctime>
#include <set>
#include <vector>

#include "archive/ArchiveHistory.h"
#include "archive/ColumnText.h"
#include "archive/DatabaseBackup.h"
#include "archive/DeletePatients.h"
#include "archive/PidList.h"
#include "archive/RunCheckpoint.h"
#include "archive/RunSafety.h"
#include "archive/SqlLiteral.h"
#include "archive/StatementObserver.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "core/WindowServices.h"
#include "db/ArchiveDbPair.h"
#include "db/DatabaseSet.h"
#include "db/ODBCStmt.h"
#include "db/OdbcResult.h"
#include "db/ValueBuffer.h"
#include "users/AuditLog.h"

namespace {

bool EqualNoCase(const std::string& a, const char* b) {
    return strcasecmp(a.c_str(), b) == 0;
}

bool IsTextType(SQLSMALLINT type) {
    return type == SQL_CHAR || type == SQL_VARCHAR || type == SQL_LONGVARCHAR ||
           type == SQL_NUMERIC || type == SQL_BIGINT;
}

// The column each special table never writes (its own key, which the
// destination assigns itself).
const char* SkippedColumn(const std::string& table) {
    if (EqualNoCase(table, "ldtnummer")) return "autoid";
    if (EqualNoCase(table, "abrechnungen")) return "ZID";
    if (EqualNoCase(table, "diagnosen")) return "DID";
    return nullptr;
}

void TrimCommaBlank(std::string& s) {
    while (!s.empty() && (s.back() == ',' || s.back() == ' ')) s.pop_back();
}

void LowerAscii(std::string& s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
}

struct ColumnInfo {
    std::string name;
    SQLSMALLINT type = 0;
};

// Name and SQL type of every result column of the executed select.
std::vector<ColumnInfo> DescribeColumns(SQLHSTMT stmt) {
    SQLSMALLINT count = 0;
    if (!SqlSucceeded(SQLNumResultCols(stmt, &count))) count = 0;
    std::vector<ColumnInfo> columns(size_t(count > 0 ? count : 0));
    for (SQLSMALLINT i = 1; i <= count; ++i) {
        SQLCHAR name[512] = {0};
        SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        SQLDescribeCol(stmt, SQLUSMALLINT(i), name, sizeof name, &nameLength, &type, &size, &digits,
                       &nullable);
        columns[size_t(i - 1)] = {reinterpret_cast<const char*>(name), type};
    }
    return columns;
}

class TransferRun {
  public:
    // The run keeps the two sides it was started with: the window may switch
    // its view while the run lets it process messages.
    TransferRun(DatabaseSet& set, IComboBox& history, const std::string& pidList)
        : set_(set),
          source_(set.SourceList),
          target_(set.TargetList),
          history_(history),
          pidList_(pidList),
          pidParts_(SplitPidList(pidList)) {}

    // True when the run succeeded.
    bool Run();

  private:
    void CopyTable(ArchiveDbPair& source, const std::string& table);
    // Copies the rows of one executed select; false stops the table.
    bool CopyRows(ArchiveDbPair& source, ODBCStmt& select, ArchiveDbPair& dest, ODBCStmt& insert,
                  const std::string& table, int& rows);
    enum class Column { Written, LeftOut, UnknownType, ReadFailed };
    // Turns column n of the current row into a literal.
    Column ColumnLiteral(ArchiveDbPair& source, ODBCStmt& select, SQLUSMALLINT n,
                         const ColumnInfo& column, char quote, std::string& literal);

    // Stores the archiving run in the history; false when the row could not
    // be written (logged in red).
    bool WriteHistory();

    DatabaseSet& set_;
    ArchiveDbPair* const source_;
    ArchiveDbPair* const target_;
    IComboBox& history_;
    const std::string& pidList_;
    std::vector<std::string> pidParts_;
    int failures_ = 0;
    bool rowsInserted_ = false;
    std::set<std::string> blankColumns_;
};

bool TransferRun::Run() {
    const bool archiving = source_ == set_.VelundaList;
    RunSafety safety(archiving ? RunKind::Archive : RunKind::Restore, source_, target_, pidList_);
    if (!safety.Admit()) return false;

    const uint64_t start = TickCount();
    WaitCursor cursor;
    AppendLog("Datentransfer " + source_->DisplayName + " -> " + target_->DisplayName + "...",
              ColourBlue);

    AppendLog("• Datensicherung...");
    if (!safety.Backup()) failures_ = 1;

    for (ArchiveDbPair* db = source_; db && failures_ == 0; db = db->Next) {
        for (const std::string& table : SplitTableList(db->Tables)) {
            if (failures_ != 0) break;
            CopyTable(*db, table);
            if (rowsInserted_) RunCheckpoint("inserts");
        }
    }

    if (failures_ == 0) {
        AppendLog("• Daten aus Quelle löschen");
        if (!DeletePatients(source_, pidList_)) failures_ = 1;
    }

    bool historyWritten = true, historyTried = false;
    if (failures_ == 0 && archiving) {
        historyTried = true;
        historyWritten = WriteHistory();
        RunCheckpoint("history");
    }
    if (failures_ == 0 && !safety.Commit()) failures_ = 1;

    if (failures_ != 0 && (rowsInserted_ || historyTried)) {
        AppendLog("• Daten wieder herstellen...");
        safety.RollBack();
    } else if (failures_ != 0) {
        AppendLog("• Datensicherung löschen...");
        safety.Discard();
    } else {
        if (archiving) {
            FillArcHist(*target_, history_);
            WriteAuditEntry(2, historyWritten ? "Patienten erfolgreich archiviert."
                                              : "Patienten erfolgreich archiviert; der Vorgang "
                                                "wurde nicht in der History gespeichert.");
        } else {
            WriteAuditEntry(2, "Patienten erfolgreich restauriert.");
        }
        AppendLog("• Datensicherung löschen...");
        safety.Finish();
    }
    LogReady(start);
    return failures_ == 0;
}

bool TransferRun::WriteHistory() {
    ODBCStmt stmt(target_->Connection);
    AppendLog("• Vorgang in History speichern...");
    const int32_t now = int32_t(uint32_t(uint64_t(std::time(nullptr))));
    const std::string sql = "insert into archist (datum,pidlist) values(" + std::to_string(now) +
                            ",'" + pidList_ + "')";
    ObserveStatement(*target_, sql);
    if (SqlExecuted(stmt.Execute(sql))) return true;
    // The run stands, but a lost history row is no ordinary line.
    AppendLog(
        "Fehler beim Aktualisieren der History: " + target_->Connection.GetErrorText(stmt.Handle()),
        ColourRed);
    return false;
}

void TransferRun::CopyTable(ArchiveDbPair& source, const std::string& table) {
    ArchiveDbPair* dest = FindDatabaseForTable(target_, table);
    if (!dest) {
        AppendLog("Tabelle " + table + " in " + target_->DisplayName + " nicht gefunden.",
                  ColourRed);
        failures_ = 1;
        return;
    }
    AppendLog("• " + source.DisplayName + "." + table + "...", 0, LogNoLineEnd);
    int rows = 0;
    ODBCStmt select(source.Connection);
    ODBCStmt insert(dest->Connection);
    blankColumns_.clear();

    // Long pid lists are selected in parts (Firebird's in-list limit).
    bool selected = true;
    for (size_t i = 0; i < pidParts_.size(); ++i) {
        if (i > 0) select.Reset();
        const std::string sql = "select * from " + table + " where pid in (" + pidParts_[i] + ")";
        if (!SqlExecuted(select.Execute(sql))) {
            AppendLog(
                "\r\nFehler beim Transfer: " + source.Connection.GetErrorText(select.Handle()),
                ColourRed);
            failures_ = 1;
            selected = false;
            break;
        }
        if (!CopyRows(source, select, *dest, insert, table, rows)) break;
    }

    if (selected) {
        for (const std::string& column : blankColumns_) {
            const std::string name = ColumnReference(column);
            const std::string sql =
                "update " + table + " set " + name + "='' where " + name + " is null";
            ObserveStatement(*dest, sql);
            insert.Execute(sql);
            insert.Reset();
        }
    }
    blankColumns_.clear();
    select.Reset();
    if (failures_ == 0) AppendLog(" (" + std::to_string(rows) + " Einträge)", ColourCount);
}

bool TransferRun::CopyRows(ArchiveDbPair& source, ODBCStmt& select, ArchiveDbPair& dest,
                           ODBCStmt& insert, const std::string& table, int& rows) {
    const char quote = dest.Extension == ".fdb" ? '\'' : '#';
    const char* skipped = SkippedColumn(table);
    // The result columns are the same for every row of the select.
    const std::vector<ColumnInfo> columns = DescribeColumns(select.Handle());
    while (true) {
        SQLRETURN rc = SQLFetch(select.Handle());
        if (rc == SQL_NO_DATA) return true;
        if (!SqlSucceeded(rc)) {
            // Rows not fetched would be deleted uncopied: the run must fail.
            AppendLog(
                "\r\nFehler beim Transfer: " + source.Connection.GetErrorText(select.Handle()),
                ColourRed);
            failures_ = 1;
            return false;
        }
        std::string names = "insert into " + table + " (";
        std::string values;
        for (size_t i = 0; i < columns.size(); ++i) {
            const ColumnInfo& column = columns[i];
            std::string literal;
            const Column outcome =
                ColumnLiteral(source, select, SQLUSMALLINT(i + 1), column, quote, literal);
            if (outcome == Column::ReadFailed) break;
            if (outcome == Column::LeftOut) continue;
            if (skipped && EqualNoCase(column.name, skipped)) continue;
            names += ColumnReference(column.name) + ", ";
            if (outcome == Column::UnknownType) {
                AppendLog(
                    "\r\nUnbekannter Datentyp " + column.name + ":" + std::to_string(column.type),
                    ColourRed);
                ++failures_;
                continue;
            }
            values += literal + ", ";
        }
        if (failures_ != 0) return false;

        TrimCommaBlank(names);
        names += ") values (";
        LowerAscii(names);
        TrimCommaBlank(values);
        const std::string sql = names + values + ")";
        ObserveStatement(dest, sql);
        if (!SqlExecuted(insert.Execute(sql))) {
            AppendLog("\r\nFehler beim Einfügen:\r\n" + sql + "\r\n" +
                          dest.Connection.GetErrorText(insert.Handle()),
                      ColourRed);
            failures_ = 1;
            return false;
        }
        ++rows;
        rowsInserted_ = true;
        insert.Reset();
    }
}

TransferRun::Column TransferRun::ColumnLiteral(ArchiveDbPair& source, ODBCStmt& select,
                                               SQLUSMALLINT n, const ColumnInfo& column, char quote,
                                               std::string& literal) {
    const SQLHSTMT h = select.Handle();
    SQLLEN indicator = 0;
    SQLRETURN rc = SQL_SUCCESS;
    std::string text;
    auto read = [&](SQLSMALLINT cType, SQLLEN size) {
        ValueBuffer[0] = 0;
        rc = SQLGetData(h, n, cType, ValueBuffer, size, &indicator);
    };
    switch (column.type) {
        case SQL_BIT:
            read(SQL_C_BIT, 1);
            break;
        case SQL_TINYINT:
            read(SQL_C_UTINYINT, 1);
            break;
        case SQL_INTEGER:
            read(SQL_C_SLONG, 4);
            break;
        case SQL_SMALLINT:
            read(SQL_C_SSHORT, 2);
            break;
        case SQL_DOUBLE:
        case SQL_FLOAT:
            read(SQL_C_DOUBLE, 8);
            break;
        case SQL_TYPE_DATE:
            read(SQL_C_TYPE_DATE, sizeof(SQL_DATE_STRUCT));
            break;
        case SQL_TYPE_TIME:
            read(SQL_C_TYPE_TIME, sizeof(SQL_TIME_STRUCT));
            break;
        case SQL_TYPE_TIMESTAMP:
            read(SQL_C_TYPE_TIMESTAMP, sizeof(SQL_TIMESTAMP_STRUCT));
            break;
        default:
            if (IsTextType(column.type)) {
                // Numbers of these types are asked for as text: their
                // default C types would deliver them in binary form.
                rc = ReadColumnText(h, n, text, indicator) ? SQL_SUCCESS : SQL_ERROR;
            } else {
                read(SQL_C_DEFAULT, SQLLEN(ValueBufferSize));
            }
            break;
    }
    if (!SqlSucceeded(rc)) {
        // Without a value of its own the column cannot be written, and
        // leaving it out would lose it: the row fails the run.
        AppendLog(
            "\r\nFehler beim Lesen von " + column.name + ": " + source.Connection.GetErrorText(h),
            ColourRed);
        failures_ = 1;
        return Column::ReadFailed;
    }
    if (indicator < 1) {
        if (IsTextType(column.type)) blankColumns_.insert(column.name);
        return Column::LeftOut;
    }

    switch (column.type) {
        case SQL_BIT:
            literal = ValueBuffer[0] != 0 ? "1" : "0";
            break;
        case SQL_TINYINT:
            literal = std::to_string(int(static_cast<unsigned char>(ValueBuffer[0])));
            break;
        case SQL_INTEGER: {
            int32_t v;
            std::memcpy(&v, ValueBuffer, sizeof v);
            literal = std::to_string(v);
            break;
        }
        case SQL_SMALLINT: {
            int16_t v;
            std::memcpy(&v, ValueBuffer, sizeof v);
            literal = std::to_string(v);
            break;
        }
        case SQL_DOUBLE:
        case SQL_FLOAT: {
            double v;
            std::memcpy(&v, ValueBuffer, sizeof v);
            literal = DoubleLiteral(v);
            break;
        }
        case SQL_TYPE_DATE: {
            SQL_DATE_STRUCT d;
            std::memcpy(&d, ValueBuffer, sizeof d);
            literal = DateLiteral(d, quote);
            break;
        }
        case SQL_TYPE_TIME: {
            SQL_TIME_STRUCT t;
            std::memcpy(&t, ValueBuffer, sizeof t);
            literal = TimeLiteral(t, quote);
            break;
        }
        case SQL_TYPE_TIMESTAMP: {
            SQL_TIMESTAMP_STRUCT ts;
            std::memcpy(&ts, ValueBuffer, sizeof ts);
            literal = TimestampLiteral(ts, quote);
            break;
        }
        default:
            if (!IsTextType(column.type)) return Column::UnknownType;
            if (text.empty()) {
                literal = "null";
                blankColumns_.insert(column.name);
            } else {
                literal = TextLiteral(text);
            }
            break;
    }
    return Column::Written;
}

}  // namespace

bool TransferPatients(DatabaseSet& set, IComboBox& history, const std::string& pidList) {
    return TransferRun(set, history, pidList).Run();
}
