// Copying one table's rows of a set of patients from a database of one side
// into the database of the other side that lists the table: one literal
// insert per row (binary values bound to its "?" markers), then the updates
// that turn the destination's null texts into empty ones. The progress log gets the line "•
// <database>.<table>..." completed by its count, as a run shows it; failures are red lines there.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "archive/RowPrint.h"
#include "archive/BinaryValues.h"

struct ArchiveDbPair;
class ODBCStmt;

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

  private:
    struct Column {
        std::string name;
        short type = 0;
    };
    enum class Outcome { Written, LeftOut, UnknownType, ReadFailed };

    bool CopyRows(ArchiveDbPair& source, ODBCStmt& select, ArchiveDbPair* dest, ODBCStmt* insert,
                  const std::string& table, int64_t& rows);
    Outcome ColumnLiteral(ArchiveDbPair& source, ODBCStmt& select, unsigned short n,
                          const Column& column, char quote, std::string& literal);

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
};
