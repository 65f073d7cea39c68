// The diagnostic records of one handle: filled by the failing call, served as
// records 1..n by SQLGetDiagRec/SQLGetDiagField and handed out one at a time
// by SQLError. Every entry point clears the list before it does its work.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

namespace odbcdrv {

struct DiagRecord {
    std::string sqlstate;
    std::string message;
    SQLINTEGER native = 0;
};

class Diagnostics {
  public:
    void Clear();
    // Adds a record; an empty message takes the standard text of the state.
    void Add(const std::string& sqlstate, const std::string& message = {}, SQLINTEGER native = 0);
    const std::vector<DiagRecord>& Records() const { return records_; }
    // The next record SQLError has not handed out yet, or null.
    const DiagRecord* NextForSQLError();

    SQLRETURN lastReturn = SQL_SUCCESS;
    SQLLEN rowCount = 0;

  private:
    std::vector<DiagRecord> records_;
    size_t handedOut_ = 0;
};

}  // namespace odbcdrv
