#include "archive/export/PatientRecordReader.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "archive/rows/BinaryValues.h"
#include "archive/rows/ColumnText.h"
#include "archive/rows/PidIndex.h"
#include "archive/rows/PidList.h"
#include "core/AsciiText.h"
#include "db/ArchiveDbPair.h"
#include "db/ODBCStmt.h"
#include "db/OdbcResult.h"
#include "db/ReadOnlyTransaction.h"
#include "db/ValueBuffer.h"

namespace {

bool IsText(SQLSMALLINT type) {
    return type == SQL_CHAR || type == SQL_VARCHAR || type == SQL_LONGVARCHAR ||
           type == SQL_WCHAR || type == SQL_WVARCHAR || type == SQL_WLONGVARCHAR;
}

bool IsBinary(SQLSMALLINT type) {
    return type == SQL_BINARY || type == SQL_VARBINARY || type == SQL_LONGVARBINARY;
}

// Column n of the current row into value, in the C type that holds it
// whole; false when the driver refuses the read or the type is unknown.
bool ReadValue(SQLHSTMT h, SQLUSMALLINT n, const RecordColumn& column, RecordValue& value,
               std::string& error) {
    SQLLEN indicator = 0;
    auto fixed = [&](SQLSMALLINT cType, void* target, SQLLEN size) {
        return SqlSucceeded(SQLGetData(h, n, cType, target, size, &indicator));
    };
    bool ok = true;
    ValueKind kind = ValueKind::Null;
    switch (column.type) {
        case SQL_BIT: {
            unsigned char bit = 0;
            ok = fixed(SQL_C_BIT, &bit, 1);
            value.integer = bit != 0 ? 1 : 0;
            kind = ValueKind::Boolean;
            break;
        }
        case SQL_TINYINT: {
            // The Access kind's byte holds 0 to 255.
            unsigned char byte = 0;
            ok = fixed(SQL_C_UTINYINT, &byte, 1);
            value.integer = byte;
            kind = ValueKind::Integer;
            break;
        }
        case SQL_SMALLINT:
        case SQL_INTEGER:
        case SQL_BIGINT: {
            SQLBIGINT number = 0;
            ok = fixed(SQL_C_SBIGINT, &number, sizeof number);
            value.integer = number;
            kind = ValueKind::Integer;
            break;
        }
        case SQL_DOUBLE:
        case SQL_FLOAT:
        case SQL_REAL:
            ok = fixed(SQL_C_DOUBLE, &value.real, sizeof value.real);
            kind = ValueKind::Real;
            break;
        case SQL_NUMERIC:
        case SQL_DECIMAL:
            // As text: the number exactly as the database holds it.
            ok = ReadColumnText(h, n, value.text, indicator);
            kind = ValueKind::Decimal;
            break;
        case SQL_TYPE_DATE: {
            SQL_DATE_STRUCT d{};
            ok = fixed(SQL_C_TYPE_DATE, &d, sizeof d);
            value.when.year = d.year, value.when.month = d.month, value.when.day = d.day;
            kind = ValueKind::Date;
            break;
        }
        case SQL_TYPE_TIME: {
            SQL_TIME_STRUCT t{};
            ok = fixed(SQL_C_TYPE_TIME, &t, sizeof t);
            value.when.hour = t.hour, value.when.minute = t.minute, value.when.second = t.second;
            kind = ValueKind::Time;
            break;
        }
        case SQL_TYPE_TIMESTAMP:
            ok = fixed(SQL_C_TYPE_TIMESTAMP, &value.when, sizeof value.when);
            kind = ValueKind::Timestamp;
            break;
        default:
            if (IsText(column.type)) {
                ok = ReadColumnText(h, n, value.text, indicator);
                kind = ValueKind::Text;
            } else if (IsBinary(column.type)) {
                ok = ReadColumnBytes(h, n, value.text, indicator);
                kind = ValueKind::Binary;
            } else {
                // Left out, the value would be lost from the copy unnoticed.
                error = "Unbekannter Datentyp " + column.name + ":" + std::to_string(column.type);
                return false;
            }
            break;
    }
    if (!ok) return false;
    value.kind = indicator == SQL_NULL_DATA ? ValueKind::Null : kind;
    if (value.kind == ValueKind::Null) value.text.clear();
    return true;
}

}  // namespace

const std::vector<std::string>& PatientRecordReader::KeyColumns(ArchiveDbPair& db,
                                                                const std::string& table) {
    const std::string id = db.File() + "/" + asciitext::Lower(table);
    auto it = keys_.find(id);
    if (it != keys_.end()) return it->second;
    std::vector<std::pair<SQLSMALLINT, std::string>> found;
    ODBCStmt stmt(db.Connection);
    std::string name = table;
    if (SqlSucceeded(SQLPrimaryKeys(stmt.Handle(), nullptr, 0, nullptr, 0,
                                    reinterpret_cast<SQLCHAR*>(name.data()),
                                    SQLSMALLINT(name.size())))) {
        while (SqlSucceeded(SQLFetch(stmt.Handle()))) {
            char column[256] = {0};
            SQLSMALLINT sequence = 0;
            SQLLEN columnIndicator = 0, sequenceIndicator = 0;
            if (!SqlSucceeded(SQLGetData(stmt.Handle(), 4, SQL_C_CHAR, column, sizeof column,
                                         &columnIndicator)) ||
                !SqlSucceeded(SQLGetData(stmt.Handle(), 5, SQL_C_SSHORT, &sequence, sizeof sequence,
                                         &sequenceIndicator)) ||
                columnIndicator == SQL_NULL_DATA) {
                found.clear();
                break;
            }
            found.emplace_back(sequence, asciitext::Lower(asciitext::Trim(column)));
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> columns;
    for (auto& [sequence, column] : found) columns.push_back(std::move(column));
    return keys_[id] = std::move(columns);
}

bool PatientRecordReader::ReadTable(ArchiveDbPair& db, const std::string& pid, RecordTable& table,
                                    std::string& error) {
    ODBCStmt select(db.Connection);
    auto fail = [&](const std::string& why) {
        error = db.DisplayName + "." + table.table + ": " + why;
        return false;
    };
    // The run's own selection of a patient's rows.
    const std::vector<std::string> conditions = PidConditions(db, table.table, {pid});
    for (size_t c = 0; c < conditions.size(); ++c) {
        if (c > 0) select.Reset();
        if (!SqlExecuted(
                select.Execute("select * from " + table.table + " where " + conditions[c])))
            return fail(db.Connection.GetErrorText(select.Handle()));
        if (table.columns.empty()) {
            for (const ResultColumn& r : select.ResultColumns())
                table.columns.push_back({asciitext::Lower(r.name), r.type, r.size, r.digits});
        }
        const SQLHSTMT h = select.Handle();
        while (true) {
            const SQLRETURN rc = SQLFetch(h);
            if (rc == SQL_NO_DATA) break;
            if (!SqlSucceeded(rc)) return fail(db.Connection.GetErrorText(h));
            std::vector<RecordValue> row(table.columns.size());
            for (size_t i = 0; i < row.size(); ++i) {
                std::string why;
                if (!ReadValue(h, SQLUSMALLINT(i + 1), table.columns[i], row[i], why))
                    return fail(why.empty() ? "Fehler beim Lesen von " + table.columns[i].name +
                                                  ": " + db.Connection.GetErrorText(h)
                                            : why);
            }
            table.rows.push_back(std::move(row));
        }
    }
    for (const std::string& column : KeyColumns(db, table.table)) {
        size_t i = 0;
        while (i < table.columns.size() && table.columns[i].name != column) ++i;
        if (i == table.columns.size()) {
            table.key.clear();
            break;
        }
        table.key.push_back(i);
    }
    return true;
}

bool PatientRecordReader::Read(int32_t pid, PatientRecord& record, std::string& error) {
    record = PatientRecord();
    record.pid = pid;
    record.side = side_->DisplayName;
    // Every database's snapshot is taken before the first read.
    std::vector<std::unique_ptr<ReadOnlyTransaction>> transactions;
    for (ArchiveDbPair* db = side_; db; db = db->Next) {
        transactions.push_back(std::make_unique<ReadOnlyTransaction>(db->Connection));
        std::string why;
        if (!transactions.back()->Begin(why)) {
            error = db->File() + ": " + why;
            return false;
        }
    }
    PatientMasterData(side_->Connection, pid, record.masterData);
    const std::string pidText = std::to_string(pid);
    for (ArchiveDbPair* db = side_; db; db = db->Next) {
        for (const std::string& name : SplitTableList(db->Tables)) {
            RecordTable table;
            table.database = db->DisplayName;
            table.table = name;
            if (!ReadTable(*db, pidText, table, error)) return false;
            record.tables.push_back(std::move(table));
        }
    }
    for (auto& transaction : transactions)
        if (!transaction->End()) {
            error = "Die Lesetransaktion konnte nicht beendet werden.";
            return false;
        }
    return true;
}
