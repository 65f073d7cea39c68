#include "tools/OdbcSession.h"

#include <cstdio>
#include <vector>

std::string OdbcDiagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::string out;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        std::vector<SQLCHAR> msg(4096);
        SQLSMALLINT len = 0;
        SQLRETURN rc = SQLGetDiagRec(type, handle, i, state, &native, msg.data(),
                                     static_cast<SQLSMALLINT>(msg.size()), &len);
        if (!SQL_SUCCEEDED(rc)) break;
        if (!out.empty()) out += "\n";
        out += reinterpret_cast<char*>(state);
        out += ": ";
        out += reinterpret_cast<char*>(msg.data());
    }
    return out;
}

bool OdbcSucceeded(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const char* what) {
    if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) return true;
    std::fprintf(stderr, "%s failed: %s\n", what, OdbcDiagnostics(type, handle).c_str());
    return false;
}

OdbcSession::OdbcSession() {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
}

OdbcSession::~OdbcSession() {
    Disconnect();
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
}

void OdbcSession::TakeError(SQLSMALLINT type, SQLHANDLE handle) {
    error_ = OdbcDiagnostics(type, handle);
    if (error_.empty()) error_ = "<unbekannt>";
}

SQLRETURN OdbcSession::Connect(const std::string& connectionString) {
    SQLCHAR out[1024];
    SQLSMALLINT outLen = 0;
    SQLRETURN rc = SQLDriverConnect(
        dbc, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(connectionString.c_str())),
        SQL_NTS, out, sizeof out, &outLen, SQL_DRIVER_NOPROMPT);
    connected = SQL_SUCCEEDED(rc);
    if (!connected) TakeError(SQL_HANDLE_DBC, dbc);
    return rc;
}

SQLRETURN OdbcSession::ConnectWide(const std::u16string& connectionString) {
    SQLRETURN rc = SQLDriverConnectW(
        dbc, nullptr, reinterpret_cast<SQLWCHAR*>(const_cast<char16_t*>(connectionString.c_str())),
        SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    connected = SQL_SUCCEEDED(rc);
    if (!connected) TakeError(SQL_HANDLE_DBC, dbc);
    return rc;
}

void OdbcSession::Disconnect() {
    if (stmt_ != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    stmt_ = SQL_NULL_HSTMT;
    if (connected) SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
    if (connected) SQLDisconnect(dbc);
    connected = false;
}

bool OdbcSession::Execute(const std::string& sql) {
    if (!connected) {
        error_ = "not connected";
        return false;
    }
    if (stmt_ == SQL_NULL_HSTMT && !SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt_))) {
        TakeError(SQL_HANDLE_DBC, dbc);
        stmt_ = SQL_NULL_HSTMT;
        return false;
    }
    SQLRETURN rc =
        SQLExecDirect(stmt_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
    const bool ok = SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA;
    if (!ok) TakeError(SQL_HANDLE_STMT, stmt_);
    SQLFreeStmt(stmt_, SQL_CLOSE);
    return ok;
}

bool OdbcSession::SetAutocommit(bool on) {
    SQLRETURN rc = SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT,
                                     reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(
                                         on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF)),
                                     SQL_IS_UINTEGER);
    if (!SQL_SUCCEEDED(rc)) TakeError(SQL_HANDLE_DBC, dbc);
    return SQL_SUCCEEDED(rc);
}

bool OdbcSession::Commit() {
    SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT);
    if (!SQL_SUCCEEDED(rc)) TakeError(SQL_HANDLE_DBC, dbc);
    return SQL_SUCCEEDED(rc);
}

OdbcStatement::OdbcStatement(OdbcSession& session) {
    SQLAllocHandle(SQL_HANDLE_STMT, session.dbc, &h);
}

OdbcStatement::~OdbcStatement() {
    if (h) SQLFreeHandle(SQL_HANDLE_STMT, h);
}

SQLRETURN OdbcStatement::Exec(const std::string& sql) {
    SQLFreeStmt(h, SQL_CLOSE);
    return SQLExecDirect(h, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())),
                         static_cast<SQLINTEGER>(sql.size()));
}

std::string OdbcStatement::Text(SQLUSMALLINT n) {
    std::string out;
    char buf[1024];
    SQLLEN ind = 0;
    for (;;) {
        SQLRETURN rc = SQLGetData(h, n, SQL_C_CHAR, buf, sizeof buf, &ind);
        if (rc == SQL_NO_DATA) break;
        if (!SQL_SUCCEEDED(rc)) return "<error " + Error() + ">";
        if (ind == SQL_NULL_DATA) return "<null>";
        out += buf;
        if (rc == SQL_SUCCESS) break;
    }
    return out;
}
