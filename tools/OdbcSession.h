// One ODBC connection with one statement handle, for writing a database with
// literal SQL. Owns its handles and frees them in the destructor.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>

class OdbcSession {
  public:
    OdbcSession() = default;
    ~OdbcSession();
    OdbcSession(const OdbcSession&) = delete;
    OdbcSession& operator=(const OdbcSession&) = delete;

    bool Connect(const std::string& connectionString);
    void Disconnect();
    // Executes one statement; on failure the driver's text is in LastError().
    bool Execute(const std::string& sql);
    // With autocommit off the statements run in one transaction until Commit().
    bool SetAutocommit(bool on);
    bool Commit();
    const std::string& LastError() const { return error_; }

  private:
    void TakeError(SQLSMALLINT type, SQLHANDLE handle);

    SQLHENV env_ = SQL_NULL_HENV;
    SQLHDBC dbc_ = SQL_NULL_HDBC;
    SQLHSTMT stmt_ = SQL_NULL_HSTMT;
    bool connected_ = false;
    std::string error_;
};
