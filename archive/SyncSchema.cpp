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
    std::string name;  // lower case
    int code = 0;      // ODBC SQL data type
    int size = 0;      // characters, bytes or precision, where the type has one
    int digits = 0;    // decimal digits of an exact number
};

// Two columns are of the same type when a statement would declare them the
// same way on the archive's kind: type, size of text and binary strings,
// precision and scale of exact numbers.
std::string Declaration(const Column& c, const ArchiveDbPair& target) {
    return ColumnDeclaration(c.code, c.size, c.digits, target.Extension.c_str());
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
        if (c.code == SQL_CHAR || c.code == SQL_VARCHAR || c.code == SQL_BINARY ||
            c.code == SQL_VARBINARY || c.code == SQL_NUMERIC || c.code == SQL_DECIMAL) {
            bool sized = false;
            c.size = ReadInt(stmt, sizeColumn, &sized);
            if (!sized) c.size = 0;
            if (c.code == SQL_NUMERIC || c.code == SQL_DECIMAL)
                c.digits = ReadInt(stmt, digitsColumn);
        }
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
                const std::string declared = Declaration(*it->second, target_);
                if (declared != Declaration(t, target_))
                    ChangeType(table, t, declared, !IsText(it->second->code));
                map.erase(it);
            } else if (HoldsValues(target_, table, t)) {
                // Dropping would destroy archived data; the column stays, and
                // the restore of a row that has a value in it will be refused
                // by Velunda and rolled back.
                if (!plan_)
                    AppendLog(target_.DisplayName + ": Spalte " + t.name + " der Tabelle " + table +
                                  " enthält archivierte Daten und wird nicht gelöscht.",
                              ColourRed, LogNote);
            } else {
                Execute("alter table " + table + " §DROPCOL§ " + t.name);
            }
        }
        for (const auto& [name, column] : map)
            Execute("alter table " + table + " §ADDCOL§ " + name + " " +
                    Declaration(*column, target_));
    }

    int Failures() const { return failures_; }
    int Planned() const { return planned_; }

  private:
    // True when the statement failed (reported and counted).
    bool Execute(const std::string& sql) {
        ++planned_;
        if (plan_) return false;
        const std::string upper = Upper(sql);
        ObserveStatement(target_, upper);
        if (!target_.Connection.ExecuteSQL(upper, target_.Extension)) return false;
        ++failures_;
        return true;
    }

    // The engine changes a column's type in place only between some types
    // (Firebird: not from text to a number, not to or from a blob, not to a
    // narrower number). When it refuses, an empty column is dropped and added
    // anew; a column with archived values gets the new type through a
    // temporary column, its values converted by the engine. Values the engine
    // cannot convert leave the column as it was, with the engine's message.
    // An empty text is no value (the transfer stores one for every null) and
    // is not converted into a type that is no text.
    void ChangeType(const std::string& table, const Column& column, const std::string& declared,
                    bool toOtherThanText) {
        const std::string alter =
            "alter table " + table + " §ALTERCOL§ " + column.name + " " + declared;
        if (plan_) {
            Execute(alter);
            return;
        }
        if (ExecuteQuietly(alter)) return;
        const std::string drop = "alter table " + table + " §DROPCOL§ ";
        const std::string add = "alter table " + table + " §ADDCOL§ ";
        if (!HoldsValues(target_, table, column)) {
            if (!Execute(drop + column.name)) Execute(add + column.name + " " + declared);
            return;
        }
        const std::string temporary = "tamaro_neuer_typ";
        const std::string update = "update " + table + " set ";
        if (Execute(add + temporary + " " + declared)) return;
        const std::string values = IsText(column.code) && toOtherThanText
                                       ? " where " + column.name + " <> ''"
                                       : std::string();
        if (Execute(update + temporary + " = " + column.name + values)) {
            Execute(drop + temporary);
            return;
        }
        // A failure from here on leaves the values in the temporary column,
        // which the next start keeps and names as a column with archived data.
        if (Execute(drop + column.name) || Execute(add + column.name + " " + declared) ||
            Execute(update + column.name + " = " + temporary))
            return;
        Execute(drop + temporary);
    }

    // Executes without a line of its own when the engine refuses.
    bool ExecuteQuietly(const std::string& sql) {
        ++planned_;
        const std::string upper = Upper(sql);
        ObserveStatement(target_, upper);
        ODBCStmt stmt(target_.Connection);
        return stmt.ExecDirect(TranslateSQL(upper.c_str(), target_.Extension.c_str()));
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
