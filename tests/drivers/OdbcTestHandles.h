// Small RAII wrappers over raw ODBC handles for the driver tests, plus the
// diagnostic text of a handle. Every call goes through unixODBC.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>

namespace drivertest {

// All diagnostic records of a handle as "STATE: message" lines.
std::string Diag(SQLSMALLINT type, SQLHANDLE h);

class OdbcConn {
  public:
    OdbcConn();
    ~OdbcConn();
    OdbcConn(const OdbcConn&) = delete;
    OdbcConn& operator=(const OdbcConn&) = delete;
    SQLRETURN Connect(const std::string& connectString);
    // Connects through the wide entry point, as Unicode clients do.
    SQLRETURN ConnectWide(const std::u16string& connectString);
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    bool connected = false;
};

class OdbcStmt {
  public:
    explicit OdbcStmt(OdbcConn& c);
    ~OdbcStmt();
    OdbcStmt(const OdbcStmt&) = delete;
    OdbcStmt& operator=(const OdbcStmt&) = delete;
    SQLRETURN Exec(const std::string& sql);
    // Executes and fails the current test unless the result counts as executed.
    void MustExec(const std::string& sql);
    // Column n of the current row as SQL_C_CHAR; "<null>" for null.
    std::string Text(SQLUSMALLINT n);
    // First column of the first row of `sql` as text; closes the cursor.
    std::string Scalar(const std::string& sql);
    void Close() { SQLFreeStmt(h, SQL_CLOSE); }
    std::string Error() { return Diag(SQL_HANDLE_STMT, h); }
    SQLHSTMT h = SQL_NULL_HSTMT;
};

}  // namespace drivertest
