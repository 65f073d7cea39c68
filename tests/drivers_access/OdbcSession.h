// Environment, connection and statement handles of one ODBC session through
// the driver manager, freed in reverse order; with helpers that return the
// first diagnostic of a handle as "SQLSTATE message".
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>

namespace accesstest {

class OdbcSession {
  public:
    OdbcSession();
    ~OdbcSession();
    OdbcSession(const OdbcSession&) = delete;
    OdbcSession& operator=(const OdbcSession&) = delete;

    // SQLDriverConnect; returns its result.
    SQLRETURN Connect(const std::string& connectionString);
    // A fresh statement handle (the previous one is freed).
    SQLHSTMT NewStatement();
    SQLRETURN Exec(const std::string& sql);  // on a fresh statement
    SQLHSTMT stmt() const { return stmt_; }
    SQLHDBC dbc() const { return dbc_; }
    std::string Diag(SQLSMALLINT type, SQLHANDLE h) const;
    std::string StmtDiag() const { return Diag(SQL_HANDLE_STMT, stmt_); }
    std::string DbcDiag() const { return Diag(SQL_HANDLE_DBC, dbc_); }
    // Column `col` of the current row as SQL_C_CHAR; "<null>" for null.
    std::string Text(SQLUSMALLINT col);

  private:
    SQLHENV env_ = SQL_NULL_HENV;
    SQLHDBC dbc_ = SQL_NULL_HDBC;
    SQLHSTMT stmt_ = SQL_NULL_HSTMT;
    bool connected_ = false;
};

}  // namespace accesstest
