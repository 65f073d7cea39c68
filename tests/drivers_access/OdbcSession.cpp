#include "tests/drivers_access/OdbcSession.h"

#include <vector>

namespace accesstest {

OdbcSession::OdbcSession() {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
}

OdbcSession::~OdbcSession() {
    if (stmt_) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    // A test may end inside a transaction; the driver disconnects only
    // outside one.
    if (connected_) SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
    if (connected_) SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

SQLRETURN OdbcSession::Connect(const std::string& cs) {
    SQLCHAR out[1024];
    SQLSMALLINT outLen = 0;
    SQLRETURN rc = SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)cs.c_str(), SQLSMALLINT(cs.size()),
                                    out, sizeof out, &outLen, SQL_DRIVER_NOPROMPT);
    connected_ = SQL_SUCCEEDED(rc);
    return rc;
}

SQLHSTMT OdbcSession::NewStatement() {
    if (stmt_) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    stmt_ = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_);
    return stmt_;
}

SQLRETURN OdbcSession::Exec(const std::string& sql) {
    NewStatement();
    return SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQLINTEGER(sql.size()));
}

std::string OdbcSession::Diag(SQLSMALLINT type, SQLHANDLE h) const {
    SQLCHAR state[6] = {0};
    SQLCHAR msg[1024] = {0};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRec(type, h, 1, state, &native, msg, sizeof msg, &len)))
        return "<none>";
    return std::string((char*)state) + " " + std::string((char*)msg);
}

std::string OdbcSession::Text(SQLUSMALLINT col) {
    std::vector<char> buf(70000);
    SQLLEN ind = 0;
    SQLRETURN rc = SQLGetData(stmt_, col, SQL_C_CHAR, buf.data(), SQLLEN(buf.size()), &ind);
    if (!SQL_SUCCEEDED(rc)) return "<error " + StmtDiag() + ">";
    if (ind == SQL_NULL_DATA) return "<null>";
    return std::string(buf.data());
}

}  // namespace accesstest
