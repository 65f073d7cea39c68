// Copying one table's rows of a set of patients from a database of one side
// into the database of the other side that lists the table: one insert per
// row, prepared once for each set of columns the rows give values for, its
// values bound to "?" markers in their own types, then the updates that turn
// the destination's null texts into empty ones. The literal text of a row's
// insert (binary values as "?") is made only for a failure message or a
// statement listener; it stores what the bound insert stores. The progress log gets the line "•
// <database>.<table>..." completed by its count, as a run shows it; failures are red lines there.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "archive/rows/BinaryValues.h"
#include "archive/rows/RowPrint.h"
#include "db/ODBCStmt.h"

struct ArchiveDbPair;

class TableCopy {
  public:
    // Called after every inserted row; false stops the copy, which then fails
    // without a line of its own (the caller says why).
    using RowHook = std::function<bool()>;

    TableCopy(const std::vector<std::string>& pidParts, RowHook hook)
        : pidParts_(pidParts), hook_(std::move(hook)) {}

    // Copies table from source into the database of targetList that lists
    // it. rows receives the rows inserted, print (when given) their
    // fingerprint. False when the copy failed.
    bool Copy(ArchiveDbPair& source, const std::string& table, ArchiveDbPair* targetList,
              int64_t& rows, RowsPrint* print = nullptr);
    // Reads the patients' rows of table in db as a copy into a database of
    // the kind of quoteOf would write them, without writing anything or a
    // line to the log: total receives their fingerprint, perPatient (when
    // given) each patient's. False when they cannot be read (*error says
    // why).
    bool Print(ArchiveDbPair& db, const std::string& table, const ArchiveDbPair& quoteOf,
               RowsPrint& total, std::map<int64_t, RowsPrint>* perPatient, std::string* error);
    // True once any row was inserted by this object.
    bool RowsInserted() const { return rowsInserted_; }
    // Executes each row's literal insert text instead (binary values still
    // bound): one statement compiled per row. The destination gets the same
    // values; kept to compare the two, and taken by itself for a table whose
    // destination refuses to prepare the insert.
    void SetLiteralInserts(bool literal) { literalInserts_ = literal; }

  private:
    using Column = ResultColumn;
    // A column's value of the current row as a parameter of the insert.
    struct Bound {
        short cType = 0;
        short sqlType = 0;
        std::string bytes;  // the C value (a struct, a number, text or bytes)
        long indicator = 0;
    };
    enum class Outcome { Written, LeftOut, UnknownType, ReadFailed };

    bool CopyRows(ArchiveDbPair& source, ODBCStmt& select, ArchiveDbPair* dest, ODBCStmt* insert,
                  const std::string& table, int64_t& rows);
    // "insert into <table> (<columns>) values (" for the columns key marks
    // with '+', in lower case; made once per table and set of columns.
    const std::string& InsertHead(const std::string& table, const std::vector<Column>& columns,
                                  const std::string& key);
    Outcome ColumnLiteral(ArchiveDbPair& source, ODBCStmt& select, unsigned short n,
                          const Column& column, char quote, std::string& literal, Bound& bound);
    enum class Insert { Done, Refused, NotPrepared };
    // Inserts the row from the prepared statement of its column set (made
    // on its first row); *handle receives the statement's handle.
    Insert InsertBound(ArchiveDbPair& dest, const std::string& key, const std::string& names,
                       std::vector<Bound>& values, void** handle);

    const std::vector<std::string>& pidParts_;
    RowHook hook_;
    int failures_ = 0;
    bool rowsInserted_ = false;
    bool quiet_ = false;  // reading for a print: no lines in the log
    char quote_ = '\'';
    std::unique_ptr<RowPrinter> printer_;
    std::set<std::string> blankColumns_;
    BinaryValues binaryValues_;  // of the row being built
    std::string binaryPrint_;    // of the binary value read last
    bool literalInserts_ = false;
    bool literalTable_ = false;  // the destination refused to prepare this table's insert
    // A prepared insert and the values its markers are bound to: each row's
    // values are copied in, and a marker is bound again only when its value
    // moved or outgrew the size it was bound with.
    struct Prepared {
        std::unique_ptr<ODBCStmt> stmt;
        std::vector<Bound> values;
        std::vector<SQLLEN> indicators;
        std::vector<const void*> boundAt;
        std::vector<SQLULEN> boundSize;
    };
    // The prepared inserts of the table being copied, by the columns they name.
    std::map<std::string, std::unique_ptr<Prepared>> prepared_;
    std::map<std::string, std::string> heads_;  // InsertHead's, by the same key
    std::vector<std::string> literals_;         // of the row being built
};
