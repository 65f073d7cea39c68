// The driver tests' handles: the project's ODBC session and statements, with
// the checks the tests repeat. Every call goes through unixODBC.
#pragma once

#include <string>

#include "tools/OdbcSession.h"

namespace drivertest {

// All diagnostic records of a handle as "STATE: message" lines.
inline std::string Diag(SQLSMALLINT type, SQLHANDLE h) {
    return OdbcDiagnostics(type, h);
}

using OdbcConn = OdbcSession;

class OdbcStmt : public OdbcStatement {
  public:
    using OdbcStatement::OdbcStatement;
    // Executes and fails the current test unless the result counts as executed.
    void MustExec(const std::string& sql);
    // First column of the first row of `sql` as text; closes the cursor.
    std::string Scalar(const std::string& sql);
};

}  // namespace drivertest
