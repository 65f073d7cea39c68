#include "archive/SyncSchema.h"

#include <cstring>
#include <map>
#include <vector>

#include "archive/ColumnText.h"
#include "archive/PidList.h"
#include "archive/StatementObserver.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "db/ArchiveDbPair.h"
#include "db/ODBCStmt.h"
#include "db/OdbcResult.h"
#include "db/SqlDialect.h"
#include "db/ValueBuffer.h"

namespace {

// Case of the code page 1252 letters: ASCII, Latin-1 and the four pairs of
// the 0x80..0x9F range.
char LowerCp1252(char ch) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return char(c + 32);
    if (c == 0x8A || c == 0x8C || c == 0x8E) return char(c + 16);
    if (c == 0x9F) return char(0xFF);
    return ch;
}

char UpperCp1252(char ch) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return char(c - 32);
    if (c == 0x9A || c == 0x9C || c == 0x9E) return char(c - 16);
    if (c == 0xFF) return char(0x9F);
    return ch;
}

std::string Lower(std::string s) {
    for (char& c : s) c = LowerCp1252(c);
    return s;
}

std::string Upper(std::string s) {
    for (char& c : s) c = UpperCp1252(c);
    return s;
}

struct Column {
    std::string name;      // lower case
    int code = 0;          // ODBC SQL data type
    std::string type;      // what columns are compared by
    std::string declared;  // what an ALTER or ADD statement gives the column
};

// How a statement declares a column of this type on either kind. Compared
// columns carry no precision, but a new numeric column must keep its scale
// (without one Firebird makes it an integer and rounds every archived amount),
// and a text blob is "memo" only on the Access kind.
std::string Declaration(int code, const std::string& type, int size, int digits) {
    if (code == SQL_LONGVARCHAR) return "§MEMO§";
    if ((code == SQL_NUMERIC || code == SQL_DECIMAL) && size > 0)
        return type + "(" + std::to_string(size) + "," + std::to_string(digits) + ")";
    return type;
}

int ReadInt(ODBCStmt& stmt, SQLUSMALLINT n, bool* ok = nullptr) {
    SQLLEN indicator = 0;
    ValueBuffer[0] = 0;
    const bool read =
        n != 0 && stmt.GetColumnData(n, ValueBuffer, ValueBufferSize, &indicator) && indicator >= 0;
    if (ok) *ok = read;
    if (!read) return 0;
    if (indicator == 2) {
        int16_t v16;
        std::memcpy(&v16, ValueBuffer, sizeof v16);
        return v16;
    }
    return ValueBufferInt();
}

// The columns of `table` from SQLColumns, in catalog order. False when the
// catalog cannot be read (the call or a fetch fails); an unknown table gives
// true and no columns.
bool ReadColumns(ODBCStmt& stmt, const std::string& table, std::vector<Column>& out) {
    out.clear();
    SQLRETURN rc = SQLColumns(stmt.Handle(), nullptr, SQL_NTS, nullptr, SQL_NTS,
                              reinterpret_cast<SQLCHAR*>(const_cast<char*>(table.c_str())), SQL_NTS,
                              nullptr, SQL_NTS);
    if (rc == SQL_INVALID_HANDLE) ShowInvalidHandle();
    if (!SqlSucceeded(rc)) return false;
    const SQLUSMALLINT nameColumn = stmt.FindColumn("COLUMN_NAME");
    const SQLUSMALLINT sizeColumn = stmt.FindColumn("COLUMN_SIZE");
    const SQLUSMALLINT typeColumn = stmt.FindColumn("DATA_TYPE");
    const SQLUSMALLINT digitsColumn = stmt.FindColumn("DECIMAL_DIGITS");
    while ((rc = SQLFetch(stmt.Handle())) == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
        Column c;
        ValueBuffer[0] = 0;
        if (nameColumn) stmt.GetColumnData(nameColumn, ValueBuffer, ValueBufferSize);
        c.name = Lower(ValueBuffer);
        c.code = int16_t(ReadInt(stmt, typeColumn));
        int size = 0, digits = 0;
        bool sized = false;
        if (c.code == SQL_CHAR || c.code == SQL_VARCHAR || c.code == SQL_NUMERIC ||
            c.code == SQL_DECIMAL) {
            size = ReadInt(stmt, sizeColumn, &sized);
            if (c.code == SQL_NUMERIC || c.code == SQL_DECIMAL)
                digits = ReadInt(stmt, digitsColumn);
        }
        c.type = ColumnTypeText(c.code, sized ? size : 0);
        c.declared = Declaration(c.code, c.type, sized ? size : 0, digits);
        out.push_back(std::move(c));
    }
    // A catalog that breaks off half way must not pass for a shorter table:
    // the archive's other columns would then be dropped.
    return rc == SQL_NO_DATA;
}

bool IsText(int code) {
    return code == SQL_CHAR || code == SQL_VARCHAR || code == SQL_LONGVARCHAR;
}

// Whether any archived row holds a value in the column: not null, and for
// text not empty (the transfer stores empty texts for nulls). A column that
// cannot be checked counts as holding values.
bool HoldsValues(ArchiveDbPair& target, const std::string& table, const Column& column) {
    ODBCStmt stmt(target.Connection);
    const std::string sql =
        "select " + column.name + " from " + table + " where " + column.name + " is not null";
    if (!stmt.ExecDirect(sql)) return true;
    while (stmt.Fetch()) {
        if (!IsText(column.code)) return true;
        std::string text;
        SQLLEN indicator = 0;
        if (!ReadColumnText(stmt.Handle(), 1, text, indicator)) return true;
        if (indicator != SQL_NULL_DATA && text.find_first_not_of(' ') != std::string::npos)
            return true;
    }
    return false;
}

class Synchroniser {
  public:
    // A synchroniser that only plans counts the statements it would execute
    // and reports nothing.
    Synchroniser(ArchiveDbPair& target, bool plan) : target_(target), plan_(plan) {}

    void CompareTable(ArchiveDbPair& source, const std::string& table) {
        ODBCStmt a(source.Connection);
        ODBCStmt b(target_.Connection);
        std::vector<Column> sourceColumns, targetColumns;
        if (!ReadColumns(a, table, sourceColumns) || sourceColumns.empty())
            return Report(source, table, a);
        std::map<std::string, const Column*> map;
        for (const Column& c : sourceColumns) map[c.name] = &c;
        if (!ReadColumns(b, table, targetColumns) || targetColumns.empty())
            return Report(target_, table, b);
        a.Reset();
        b.Reset();

        for (const Column& t : targetColumns) {
            auto it = map.find(t.name);
            if (it != map.end()) {
                if (it->second->type != t.type)
                    Execute("alter table " + table + " §ALTERCOL§ " + t.name + " " +
                            it->second->declared);
                map.erase(it);
            } else if (HoldsValues(target_, table, t)) {
                // Dropping would destroy archived data; the column stays, and
                // the restore of a row that has a value in it will be refused
                // by Velunda and rolled back.
                if (!plan_)
                    AppendLog(target_.DisplayName + ": Spalte " + t.name + " der Tabelle " + table +
                                  " enthält archivierte Daten und wird nicht gelöscht.",
                              ColourRed);
            } else {
                Execute("alter table " + table + " §DROPCOL§ " + t.name);
            }
        }
        for (const auto& [name, column] : map)
            Execute("alter table " + table + " §ADDCOL§ " + name + " " + column->declared);
    }

    int Failures() const { return failures_; }
    int Planned() const { return planned_; }

  private:
    void Execute(const std::string& sql) {
        ++planned_;
        if (plan_) return;
        const std::string upper = Upper(sql);
        ObserveStatement(target_, upper);
        if (target_.Connection.ExecuteSQL(upper, target_.Extension)) ++failures_;
    }

    void Report(ArchiveDbPair& db, const std::string& table, ODBCStmt& stmt) {
        ++failures_;
        if (plan_) return;
        AppendLog(db.DisplayName + ": Tabelle " + table +
                      " konnte nicht geöffnet werden: " + db.Connection.GetErrorText(stmt.Handle()),
                  ColourRed);
    }

    ArchiveDbPair& target_;
    const bool plan_;
    int failures_ = 0;
    int planned_ = 0;
};

}  // namespace

bool ReadTableColumns(ArchiveDbPair& db, const std::string& table,
                      std::vector<CatalogColumn>& out) {
    ODBCStmt stmt(db.Connection);
    std::vector<Column> columns;
    out.clear();
    if (!ReadColumns(stmt, table, columns)) return false;
    for (const Column& c : columns) out.push_back({c.name, c.code});
    return true;
}

std::string ColumnTypeText(int code, int size) {
    std::string type = SQLTypeName(code);
    if (code == SQL_CHAR || code == SQL_VARCHAR) type += "(" + std::to_string(size) + ")";
    return type;
}

bool SyncSchema(ArchiveDbPair* firstSource, ArchiveDbPair& target) {
    Synchroniser sync(target, false);
    for (ArchiveDbPair* source = firstSource; source; source = source->Next)
        for (const std::string& table : SplitTableList(source->Tables))
            sync.CompareTable(*source, table);
    return sync.Failures() == 0;
}

int SyncSchemaChanges(ArchiveDbPair* firstSource, ArchiveDbPair& target) {
    Synchroniser sync(target, true);
    for (ArchiveDbPair* source = firstSource; source; source = source->Next)
        for (const std::string& table : SplitTableList(source->Tables))
            sync.CompareTable(*source, table);
    return sync.Planned() + sync.Failures();
}
