#include "archive/maintenance/SyncSchema.h"

#include <cstring>
#include <map>
#include <vector>

#include "archive/maintenance/TypeChange.h"
#include "archive/rows/BinaryValues.h"
#include "archive/rows/ColumnText.h"
#include "archive/rows/PidList.h"
#include "archive/rows/StatementObserver.h"
#include "archive/rows/TableColumns.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "db/ArchiveDbPair.h"
#include "db/ODBCStmt.h"
#include "db/OdbcResult.h"
#include "db/SqlDialect.h"
#include "db/ValueBuffer.h"

namespace {

// Upper case of the code page 1252 letters: ASCII, Latin-1 and the four
// pairs of the 0x80..0x9F range.
char UpperCp1252(char ch) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return char(c - 32);
    if (c == 0x9A || c == 0x9C || c == 0x9E) return char(c - 16);
    if (c == 0xFF) return char(0x9F);
    return ch;
}

std::string Upper(std::string s) {
    for (char& c : s) c = UpperCp1252(c);
    return s;
}

using Column = CatalogColumn;


// Two columns are of the same type when a statement would declare them the
// same way on the archive's kind: type, size of text and binary strings,
// precision and scale of exact numbers. The type is in the kind's own words
// (memo, blob sub_type text), not a placeholder: the statement it goes into
// is upper-cased whole.
std::string Declaration(const Column& c, const ArchiveDbPair& target) {
    const char* kind = target.Extension.c_str();
    return TranslateSQL(ColumnDeclaration(c.code, c.size, c.digits, kind).c_str(), kind);
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

enum class Stored { Keep, Lost, Unread };

// Whether the archived values of column keep their values in the type of
// to: at once for a wider type, otherwise every value is looked at, up to
// the first that would change. Empty texts are no values (the transfer
// stores them for nulls).
Stored ValuesUnder(ArchiveDbPair& target, const std::string& table, const Column& column,
                   const Column& to, std::string& error) {
    const TypeChange change(column, to);
    if (change.Widens()) return Stored::Keep;
    ODBCStmt stmt(target.Connection);
    const std::string sql =
        "select " + column.name + " from " + table + " where " + column.name + " is not null";
    const bool bytes = TypeChange::IsBinary(column.code);
    if (!stmt.ExecDirect(sql)) {
        error = target.Connection.GetErrorText(stmt.Handle());
        return Stored::Unread;
    }
    std::string value;
    SQLLEN indicator = 0;
    SQLRETURN rc;
    while ((rc = SQLFetch(stmt.Handle())) == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
        if (!(bytes ? ReadColumnBytes(stmt.Handle(), 1, value, indicator)
                    : ReadColumnText(stmt.Handle(), 1, value, indicator))) {
            rc = SQL_ERROR;
            break;
        }
        if (indicator == SQL_NULL_DATA) continue;
        if (IsText(column.code) && value.find_first_not_of(' ') == std::string::npos) continue;
        if (!change.Keeps(value)) return Stored::Lost;
    }
    if (rc == SQL_NO_DATA) return Stored::Keep;
    error = target.Connection.GetErrorText(stmt.Handle());
    return Stored::Unread;
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
        if (!ReadCatalogColumns(a, table, sourceColumns) || sourceColumns.empty())
            return Report(source, table, a);
        std::map<std::string, const Column*> map;
        for (const Column& c : sourceColumns) map[c.name] = &c;
        if (!ReadCatalogColumns(b, table, targetColumns) || targetColumns.empty())
            return Report(target_, table, b);
        a.Reset();
        b.Reset();

        for (const Column& t : targetColumns) {
            auto it = map.find(t.name);
            if (it != map.end()) {
                const std::string declared = Declaration(*it->second, target_);
                if (declared != Declaration(t, target_)) FollowType(table, t, *it->second);
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

    // A changed Velunda type is followed where no archived value changes by
    // it; otherwise the archive keeps its column as it is, with a red note,
    // since its values are the archived record of the practice.
    void FollowType(const std::string& table, const Column& column, const Column& to) {
        const std::string declared = Declaration(to, target_);
        std::string error;
        switch (ValuesUnder(target_, table, column, to, error)) {
            case Stored::Keep:
                ChangeType(table, column, declared, !IsText(to.code));
                return;
            case Stored::Lost:
                if (!plan_)
                    AppendLog(target_.DisplayName + ": Spalte " + column.name + " der Tabelle " +
                                  table + " behält den Typ " + Shown(Declaration(column, target_)) +
                                  ", da sich archivierte Werte in " + Shown(declared) +
                                  " ändern würden.",
                              ColourRed, LogNote);
                return;
            case Stored::Unread:
                ++failures_;
                if (!plan_)
                    AppendLog(target_.DisplayName + ": Spalte " + column.name + " der Tabelle " +
                                  table + " konnte nicht gelesen werden: " + error,
                              ColourRed);
                return;
        }
    }

    // A declaration as the statements write it: "NUMERIC(18,4)", "MEMO".
    std::string Shown(const std::string& declaration) const {
        return Upper(TranslateSQL(declaration.c_str(), target_.Extension.c_str()));
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
