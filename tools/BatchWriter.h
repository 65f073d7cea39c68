// Sends the generated rows. On the Access kind the rows of one table and
// column list go out as one insert with many value rows, which the SQLite
// underneath takes several times faster than single inserts; when such a
// batch fails, its rows are sent one by one, so that the error names the row
// that failed. Firebird gets every row as an insert of its own: its
// "execute block" costs more per row than separate statements.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tools/InsertBuilder.h"
#include "tools/OdbcSession.h"
#include "tools/PracticeKind.h"

class BatchWriter {
  public:
    BatchWriter(OdbcSession& session, PracticeKind kind) : session_(session), kind_(kind) {}

    bool Add(const InsertBuilder& row);
    // Sends every pending row.
    bool Flush();
    // The driver's text and the statement that failed.
    const std::string& Error() const { return error_; }

  private:
    struct Pending {
        std::vector<std::string> rows;    // each row as a statement of its own
        std::vector<std::string> values;  // each row's value list
        size_t bytes = 0;
    };
    bool Send(const std::string& key, Pending& pending);
    bool SendOneByOne(const Pending& pending);

    OdbcSession& session_;
    PracticeKind kind_;
    // One batch per table and column list.
    std::map<std::string, Pending> pending_;
    std::string error_;
};
