// ODBC through the driver manager for the tools, the tests and the
// benchmarks: a session (environment and connection handle, ODBC 3) and
// statements on it, each freeing its handles in the reverse order of their
// making. The handles stay open to callers for the calls this does not wrap.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>

// All diagnostic records of a handle as "STATE: message" lines; empty when
// it has none.
std::string OdbcDiagnostics(SQLSMALLINT type, SQLHANDLE handle);

// For programs that call ODBC themselves: true when rc succeeded (also
// SQL_NO_DATA); otherwise writes "<what> failed: <diagnostics>" to stderr.
bool OdbcSucceeded(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const char* what);

class OdbcSession {
  public:
    OdbcSession();
    // A transaction left open (a generation that failed, a test that ended
    // inside one) is rolled back: drivers disconnect only outside one.
    ~OdbcSession();
    OdbcSession(const OdbcSession&) = delete;
    OdbcSession& operator=(const OdbcSession&) = delete;

    // SQLDriverConnect without a prompt; returns its result. On failure the
    // driver's text is in LastError().
    SQLRETURN Connect(const std::string& connectionString);
    // Connects through the wide entry point, as Unicode clients do.
    SQLRETURN ConnectWide(const std::u16string& connectionString);
    // Ends the connection (rolling back what is open); Connect may follow.
    void Disconnect();
    // Executes one statement on a statement handle of the session's own; on
    // failure the driver's text is in LastError(). SQL_NO_DATA succeeds.
    bool Execute(const std::string& sql);
    // With autocommit off the statements run in one transaction until Commit().
    bool SetAutocommit(bool on);
    bool Commit();
    const std::string& LastError() const { return error_; }

    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    bool connected = false;

  private:
    void TakeError(SQLSMALLINT type, SQLHANDLE handle);

    SQLHSTMT stmt_ = SQL_NULL_HSTMT;  // Execute's
    std::string error_;
};

class OdbcStatement {
  public:
    explicit OdbcStatement(OdbcSession& session);
    ~OdbcStatement();
    OdbcStatement(const OdbcStatement&) = delete;
    OdbcStatement& operator=(const OdbcStatement&) = delete;

    // Closes the cursor of the statement before, then SQLExecDirect.
    SQLRETURN Exec(const std::string& sql);
    // Column n of the current row as SQL_C_CHAR, read whole; "<null>" for
    // null, "<error ...>" when the driver refuses it.
    std::string Text(SQLUSMALLINT n);
    void Close() { SQLFreeStmt(h, SQL_CLOSE); }
    std::string Error() const { return OdbcDiagnostics(SQL_HANDLE_STMT, h); }

    SQLHSTMT h = SQL_NULL_HSTMT;
};
