#include "tests/drivers/OdbcTestHandles.h"

#include <gtest/gtest.h>

#include <vector>

namespace drivertest {

std::string Diag(SQLSMALLINT type, SQLHANDLE h) {
    std::string out;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        std::vector<SQLCHAR> msg(4096);
        SQLSMALLINT len = 0;
        SQLRETURN rc = SQLGetDiagRec(type, h, i, state, &native, msg.data(),
                                     static_cast<SQLSMALLINT>(msg.size()), &len);
        if (!SQL_SUCCEEDED(rc)) break;
        if (!out.empty()) out += "\n";
        out += reinterpret_cast<char*>(state);
        out += ": ";
        out += reinterpret_cast<char*>(msg.data());
    }
    return out;
}

OdbcConn::OdbcConn() {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
}

OdbcConn::~OdbcConn() {
    // A test may end inside a transaction; the driver disconnects only
    // outside one.
    if (connected) SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
    if (connected) SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
}

SQLRETURN OdbcConn::Connect(const std::string& cs) {
    SQLCHAR out[1024];
    SQLSMALLINT outLen = 0;
    SQLRETURN rc = SQLDriverConnect(dbc, nullptr, (SQLCHAR*)cs.c_str(), SQL_NTS, out, sizeof out,
                                    &outLen, SQL_DRIVER_NOPROMPT);
    connected = SQL_SUCCEEDED(rc);
    return rc;
}

SQLRETURN OdbcConn::ConnectWide(const std::u16string& cs) {
    SQLRETURN rc = SQLDriverConnectW(dbc, nullptr,
                                     reinterpret_cast<SQLWCHAR*>(const_cast<char16_t*>(cs.c_str())),
                                     SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    connected = SQL_SUCCEEDED(rc);
    return rc;
}

OdbcStmt::OdbcStmt(OdbcConn& c) {
    SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &h);
}

OdbcStmt::~OdbcStmt() {
    if (h) SQLFreeHandle(SQL_HANDLE_STMT, h);
}

SQLRETURN OdbcStmt::Exec(const std::string& sql) {
    SQLFreeStmt(h, SQL_CLOSE);
    return SQLExecDirect(h, (SQLCHAR*)sql.c_str(), static_cast<SQLINTEGER>(sql.size()));
}

void OdbcStmt::MustExec(const std::string& sql) {
    SQLRETURN rc = Exec(sql);
    EXPECT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA)
        << sql.substr(0, 200) << "\n"
        << Error();
}

std::string OdbcStmt::Text(SQLUSMALLINT n) {
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

std::string OdbcStmt::Scalar(const std::string& sql) {
    MustExec(sql);
    std::string v = SQLFetch(h) == SQL_SUCCESS ? Text(1) : "<no row>";
    Close();
    return v;
}

}  // namespace drivertest
