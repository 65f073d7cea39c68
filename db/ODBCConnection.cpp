#include "db/ODBCConnection.h"

#include <clocale>
#include <cstring>
#include <string>

#include "core/Cp1252.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "core/WindowServices.h"
#include "db/ODBCStmt.h"
#include "db/OdbcResult.h"
#include "db/SqlDialect.h"

namespace {

// unixODBC fixes, when it allocates the handles, how it narrows the texts it
// fetches from a driver's wide-character functions (the diagnostics): into
// the character set of the locale in force. The engine's text is code page
// 1252 bytes, which only the C locale passes through unchanged; the window
// runs in a UTF-8 locale, so the handles are made under LC_CTYPE "C". The
// project's drivers likewise choose at connect time the character set they
// speak to the program: code page 1252 under the C locale, UTF-8 under a
// UTF-8 one, so the connection is made under it as well.
class CTypeOfCLocale {
  public:
    CTypeOfCLocale() {
        if (const char* current = std::setlocale(LC_CTYPE, nullptr)) saved_ = current;
        std::setlocale(LC_CTYPE, "C");
    }
    ~CTypeOfCLocale() {
        if (!saved_.empty()) std::setlocale(LC_CTYPE, saved_.c_str());
    }
    CTypeOfCLocale(const CTypeOfCLocale&) = delete;
    CTypeOfCLocale& operator=(const CTypeOfCLocale&) = delete;

  private:
    std::string saved_;
};

bool ContainsFirebirdDriver(const char* connStr) {
    std::string lower(connStr);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return lower.find("firebird/interbase(r)") != std::string::npos;
}

}  // namespace

ODBCConnection::~ODBCConnection() {
    // Normally the owner has disconnected already; a connected handle could
    // not be freed, so disconnect here rather than leak it.
    Disconnect();
    FreeHandles();
}

void ODBCConnection::FreeHandles() {
    if (hdbc_ != SQL_NULL_HDBC) {
        SQLFreeHandle(SQL_HANDLE_DBC, hdbc_);
        hdbc_ = SQL_NULL_HDBC;
    }
    if (henv_ != SQL_NULL_HENV) {
        SQLFreeHandle(SQL_HANDLE_ENV, henv_);
        henv_ = SQL_NULL_HENV;
    }
}

bool ODBCConnection::OpenConnection(const char* connStr) {
    // Reopening (the backup restore does) starts from a clean object instead
    // of leaking the handles of the previous connection.
    Disconnect();
    FreeHandles();
    driverManagerError_.clear();

    auto fail = [this]() {
        if (hdbc_ != SQL_NULL_HDBC) SQLDisconnect(hdbc_);
        FreeHandles();
        return false;
    };
    CTypeOfCLocale narrowTextAsBytes;
    if (!SqlSucceeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &henv_))) {
        henv_ = SQL_NULL_HENV;
        return fail();
    }
    if (!SqlSucceeded(SQLSetEnvAttr(henv_, SQL_ATTR_ODBC_VERSION,
                                    reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)))
        return fail();
    if (!SqlSucceeded(SQLAllocHandle(SQL_HANDLE_DBC, henv_, &hdbc_))) {
        hdbc_ = SQL_NULL_HDBC;
        return fail();
    }
    SQLSetConnectAttr(hdbc_, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(5), 0);

    SQLCHAR out[1024] = {0};
    SQLSMALLINT outLength = 0;
    size_t length = std::strlen(connStr);
    SQLSMALLINT inLength = length < 32767 ? static_cast<SQLSMALLINT>(length) : SQL_NTS;
    SQLRETURN rc =
        SQLDriverConnect(hdbc_, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(connStr)),
                         inLength, out, sizeof out, &outLength, SQL_DRIVER_NOPROMPT);
    if (!SqlSucceeded(rc)) {
        KeepDriverManagerError();
        return fail();
    }
    firebird_ = ContainsFirebirdDriver(connStr);
    return true;
}

void ODBCConnection::KeepDriverManagerError() {
    for (SQLSMALLINT record = 1;; ++record) {
        SQLCHAR state[6] = {0};
        SQLCHAR message[1024] = {0};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        if (!SqlSucceeded(SQLGetDiagRec(SQL_HANDLE_DBC, hdbc_, record, state, &native, message,
                                        sizeof message, &length)))
            return;
        std::string text = reinterpret_cast<const char*>(message);
        // The driver manager speaks in the system's encoding (UTF-8).
        if (text.find("[Driver Manager]") != std::string::npos) {
            driverManagerError_ = cp1252::FromUtf8(text);
            return;
        }
    }
}

bool ODBCConnection::BeginTransaction() {
    if (hdbc_ == SQL_NULL_HDBC) return false;
    if (!SqlSucceeded(SQLSetConnectAttr(hdbc_, SQL_ATTR_TXN_ISOLATION,
                                        reinterpret_cast<SQLPOINTER>(SQL_TXN_SERIALIZABLE), 0)) ||
        !SqlSucceeded(SQLSetConnectAttr(hdbc_, SQL_ATTR_AUTOCOMMIT,
                                        reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)))
        return false;
    inTransaction_ = true;
    return true;
}

bool ODBCConnection::TryCommit() {
    if (hdbc_ == SQL_NULL_HDBC || !inTransaction_) return false;
    transactionError_.clear();
    transactionState_.clear();
    if (!SqlSucceeded(SQLEndTran(SQL_HANDLE_DBC, hdbc_, SQL_COMMIT))) {
        transactionError_ = GetErrorText(nullptr, &transactionState_);
        return false;
    }
    inTransaction_ = false;
    SQLSetConnectAttr(hdbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON),
                      0);
    SQLSetConnectAttr(hdbc_, SQL_ATTR_TXN_ISOLATION,
                      reinterpret_cast<SQLPOINTER>(SQL_TXN_READ_COMMITTED), 0);
    return true;
}

bool ODBCConnection::EndTransaction(bool commit) {
    if (hdbc_ == SQL_NULL_HDBC || !inTransaction_) return false;
    transactionError_.clear();
    transactionState_.clear();
    const bool ok =
        SqlSucceeded(SQLEndTran(SQL_HANDLE_DBC, hdbc_, commit ? SQL_COMMIT : SQL_ROLLBACK));
    inTransaction_ = false;
    if (!ok) {
        transactionError_ = GetErrorText(nullptr, &transactionState_);
        // Whatever a failed end left open must not be committed by switching
        // automatic commit on: a rollback is tried, and when that fails too
        // the connection goes, which discards the transaction.
        if (!commit || !SqlSucceeded(SQLEndTran(SQL_HANDLE_DBC, hdbc_, SQL_ROLLBACK))) {
            Disconnect();
            return false;
        }
    }
    SQLSetConnectAttr(hdbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON),
                      0);
    SQLSetConnectAttr(hdbc_, SQL_ATTR_TXN_ISOLATION,
                      reinterpret_cast<SQLPOINTER>(SQL_TXN_READ_COMMITTED), 0);
    return ok;
}

void ODBCConnection::Disconnect() {
    // A driver refuses to disconnect inside a transaction (SQLSTATE 25000):
    // one still open is rolled back first.
    if (inTransaction_ && hdbc_ != SQL_NULL_HDBC) SQLEndTran(SQL_HANDLE_DBC, hdbc_, SQL_ROLLBACK);
    inTransaction_ = false;
    if (hdbc_ == SQL_NULL_HDBC) return;
    // Also after an end of the transaction that failed: what the driver
    // still holds is rolled back, and the disconnect tried once more.
    if (SQLDisconnect(hdbc_) == SQL_ERROR) {
        SQLEndTran(SQL_HANDLE_DBC, hdbc_, SQL_ROLLBACK);
        SQLDisconnect(hdbc_);
    }
    // Nothing reads the connection handle once disconnected; freeing it here
    // keeps a reconnect from leaking it.
    SQLFreeHandle(SQL_HANDLE_DBC, hdbc_);
    hdbc_ = SQL_NULL_HDBC;
}

std::string ODBCConnection::GetErrorText(SQLHSTMT stmt, std::string* sqlState) const {
    SQLCHAR message[512] = "<unbekannt>";
    SQLCHAR state[6] = {0};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLError(henv_, hdbc_, stmt, state, &native, message, 511, &length);
    if (sqlState) *sqlState = reinterpret_cast<const char*>(state);
    if (message[0] == 0) return "<unbekannt>";
    return reinterpret_cast<const char*>(message);
}

int32_t ODBCConnection::GetDBVersion() {
    if (dbVersion_ < -1) return -1;
    if (dbVersion_ != -1) return dbVersion_;
    ODBCStmt stmt(hdbc_);
    SQLRETURN rc = stmt.Execute("select val from dbv");
    if (!SqlExecuted(rc)) {
        dbVersion_ = -2;
    } else if (stmt.Fetch()) {
        // A null value leaves the cache at -1, so the next call asks again.
        // Integers of 1, 2 or 4 bytes are taken whole, wider ones by their low half.
        int32_t value = 0;
        SQLLEN indicator = 0;
        char buffer[64] = {0};
        if (stmt.GetColumnData(1, buffer, sizeof buffer, &indicator) &&
            indicator != SQL_NULL_DATA) {
            if (indicator == 1)
                value = static_cast<signed char>(buffer[0]);
            else if (indicator == 2) {
                int16_t v16;
                std::memcpy(&v16, buffer, sizeof v16);
                value = v16;
            } else
                std::memcpy(&value, buffer, sizeof value);
            dbVersion_ = value;
        }
    }
    stmt.Reset();
    return dbVersion_;
}

bool ODBCConnection::RunSQL(const char* sql) {
    ODBCStmt stmt(hdbc_);
    if (SqlExecuted(stmt.Execute(sql))) {
        stmt.Reset();
        return false;
    }
    std::string error = GetErrorText(stmt.Handle());
    ShowError(std::string(sql) + ":\n\n" + error);
    stmt.Reset();
    return true;
}

bool ODBCConnection::ExecuteSQL(const char* sql, const char* extension) {
    ODBCStmt stmt(hdbc_);
    std::string translated = TranslateSQL(sql, extension);
    if (SqlExecuted(stmt.Execute(translated))) {
        stmt.Reset();
        return false;
    }
    std::string error = GetErrorText(stmt.Handle());
    AppendLog("ExecuteSQL(): " + error + "\n" + translated, ColourRed);
    stmt.Reset();
    return true;
}
