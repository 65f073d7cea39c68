// One open connection to one database file, through the ODBC driver manager.
// Text is code page 1252 and goes to the ANSI entry points.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <string>

class ODBCConnection {
  public:
    ODBCConnection() = default;
    // Frees the handles; a connection still open is disconnected first.
    virtual ~ODBCConnection();
    ODBCConnection(const ODBCConnection&) = delete;
    ODBCConnection& operator=(const ODBCConnection&) = delete;

    // Allocates environment and connection and connects without prompting.
    // False when a step fails; the object is then closed with null handles.
    // May be called again after Disconnect.
    bool OpenConnection(const char* connStr);
    bool OpenConnection(const std::string& connStr) { return OpenConnection(connStr.c_str()); }
    // A transaction still open is rolled back first: a driver keeps a
    // connection that is asked to go in the middle of one.
    void Disconnect();

    // The driver manager's own message about the last failed OpenConnection
    // (a driver it could not find or load), in code page 1252; empty when the
    // last OpenConnection succeeded or the driver itself refused.
    const std::string& DriverManagerError() const { return driverManagerError_; }

    // Message of the first pending error of stmt (or of the connection when
    // stmt is null), "<unbekannt>" when the driver has none. Consumes it.
    // *state, when given, receives its SQLSTATE (empty when there is none).
    std::string GetErrorText(SQLHSTMT stmt, std::string* state = nullptr) const;

    // Value of table "dbv", cached; -1 not read (or empty table), the first
    // failed read gives -2 and every later call -1 without a query.
    int32_t GetDBVersion();

    // Executes sql; on failure shows a message box "<sql>:\n\n<error>".
    // Returns true when the statement FAILED.
    bool RunSQL(const char* sql);
    bool RunSQL(const std::string& sql) { return RunSQL(sql.c_str()); }

    // Replaces the dialect placeholders for the kind given by extension
    // (".mdb" = Access, anything else Firebird) and executes; on failure
    // writes a red line "ExecuteSQL(): <error>\n<translated sql>".
    // Returns true when the statement FAILED.
    bool ExecuteSQL(const char* sql, const char* extension);
    bool ExecuteSQL(const std::string& sql, const std::string& extension) {
        return ExecuteSQL(sql.c_str(), extension.c_str());
    }

    // A transaction of several statements: BeginTransaction turns automatic
    // commit off with serializable isolation (rows the transaction has read
    // cannot change under it); EndTransaction commits or rolls back and turns
    // automatic commit on again. False when the driver refuses; the reason
    // is then TransactionError(). A commit that fails is rolled back, so
    // that automatic commit never commits what was refused; an end that
    // cannot even roll back closes the connection.
    bool BeginTransaction();
    bool EndTransaction(bool commit);
    // Commits, and on failure leaves the transaction as the driver left it,
    // for another try or a roll-back (EndTransaction(false)): a commit that
    // waited in vain for a lock may succeed a moment later. The reason of a
    // failure is TransactionError() with its SQLSTATE TransactionState().
    bool TryCommit();
    const std::string& TransactionError() const { return transactionError_; }
    const std::string& TransactionState() const { return transactionState_; }
    bool InTransaction() const { return inTransaction_; }

    SQLHENV HEnv() const { return henv_; }
    SQLHDBC HDbc() const { return hdbc_; }
    bool IsOpen() const { return hdbc_ != SQL_NULL_HDBC; }
    // True when the last successful OpenConnection used a Firebird string.
    bool IsFirebird() const { return firebird_; }

  private:
    void FreeHandles();
    void KeepDriverManagerError();

    bool firebird_ = false;
    bool inTransaction_ = false;
    std::string transactionError_;
    std::string transactionState_;
    SQLHENV henv_ = SQL_NULL_HENV;
    SQLHDBC hdbc_ = SQL_NULL_HDBC;
    int32_t dbVersion_ = -1;
    std::string driverManagerError_;
};
