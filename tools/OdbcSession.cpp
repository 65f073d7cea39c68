#include "tools/OdbcSession.h"

namespace {

bool Ok(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

}  // namespace

OdbcSession::~OdbcSession() {
    Disconnect();
}

void OdbcSession::TakeError(SQLSMALLINT type, SQLHANDLE handle) {
    error_.clear();
    SQLCHAR state[6] = {0};
    SQLINTEGER native = 0;
    SQLCHAR text[4096];
    SQLSMALLINT len = 0;
    for (SQLSMALLINT rec = 1; rec <= 10; ++rec) {
        if (!Ok(SQLGetDiagRec(type, handle, rec, state, &native, text, sizeof text, &len))) break;
        if (!error_.empty()) error_ += '\n';
        error_ += std::string(reinterpret_cast<char*>(state)) + ": " +
                  std::string(reinterpret_cast<char*>(text));
    }
    if (error_.empty()) error_ = "<unbekannt>";
}

bool OdbcSession::Connect(const std::string& connectionString) {
    Disconnect();
    if (!Ok(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_))) {
        error_ = "SQLAllocHandle(ENV) failed";
        return false;
    }
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!Ok(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_))) {
        TakeError(SQL_HANDLE_ENV, env_);
        Disconnect();
        return false;
    }
    SQLCHAR out[1024];
    SQLSMALLINT outLen = 0;
    SQLRETURN rc = SQLDriverConnect(
        dbc_, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(connectionString.c_str())),
        SQL_NTS, out, sizeof out, &outLen, SQL_DRIVER_NOPROMPT);
    if (!Ok(rc)) {
        TakeError(SQL_HANDLE_DBC, dbc_);
        Disconnect();
        return false;
    }
    connected_ = true;
    if (!Ok(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_))) {
        TakeError(SQL_HANDLE_DBC, dbc_);
        Disconnect();
        return false;
    }
    return true;
}

void OdbcSession::Disconnect() {
    if (stmt_ != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    stmt_ = SQL_NULL_HSTMT;
    // A transaction left open (a generation that failed) is rolled back:
    // drivers refuse to disconnect inside one.
    if (connected_) SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
    if (connected_) SQLDisconnect(dbc_);
    connected_ = false;
    if (dbc_ != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    dbc_ = SQL_NULL_HDBC;
    if (env_ != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, env_);
    env_ = SQL_NULL_HENV;
}

bool OdbcSession::Execute(const std::string& sql) {
    if (stmt_ == SQL_NULL_HSTMT) {
        error_ = "not connected";
        return false;
    }
    SQLRETURN rc =
        SQLExecDirect(stmt_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
    if (!Ok(rc) && rc != SQL_NO_DATA) {
        TakeError(SQL_HANDLE_STMT, stmt_);
        SQLFreeStmt(stmt_, SQL_CLOSE);
        return false;
    }
    SQLFreeStmt(stmt_, SQL_CLOSE);
    return true;
}

bool OdbcSession::SetAutocommit(bool on) {
    SQLRETURN rc = SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT,
                                     reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(
                                         on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF)),
                                     SQL_IS_UINTEGER);
    if (!Ok(rc)) TakeError(SQL_HANDLE_DBC, dbc_);
    return Ok(rc);
}

bool OdbcSession::Commit() {
    SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT);
    if (!Ok(rc)) TakeError(SQL_HANDLE_DBC, dbc_);
    return Ok(rc);
}
