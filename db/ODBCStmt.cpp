#include "db/ODBCStmt.h"

#include <algorithm>
#include <cstring>

#include "db/ODBCConnection.h"
#include "db/OdbcResult.h"

namespace {

// Lower case of one code page 1252 byte: ASCII, the Latin-1 letters and the
// few letters of the 0x80..0x9F range that have a case pair.
unsigned char FoldCp1252(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    switch (c) {
        case 0x8A:
            return 0x9A;
        case 0x8C:
            return 0x9C;
        case 0x8E:
            return 0x9E;
        case 0x9F:
            return 0xFF;
        default:
            return c;
    }
}

bool EqualNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        unsigned char x = FoldCp1252(static_cast<unsigned char>(*a));
        unsigned char y = FoldCp1252(static_cast<unsigned char>(*b));
        if (x != y) return false;
        if (x == 0) return true;
    }
}

}  // namespace

ODBCStmt::ODBCStmt(SQLHDBC hdbc) : hstmt_(InvalidHandle()), hdbc_(hdbc) {
    Allocate(true);
}

ODBCStmt::ODBCStmt(const ODBCConnection& connection) : ODBCStmt(connection.HDbc()) {}

ODBCStmt::~ODBCStmt() {
    if (IsValid()) SQLFreeHandle(SQL_HANDLE_STMT, hstmt_);
    longData_.clear();
}

bool ODBCStmt::Allocate(bool setTimeout) {
    SQLHSTMT h = SQL_NULL_HSTMT;
    if (!SqlSucceeded(SQLAllocHandle(SQL_HANDLE_STMT, hdbc_, &h))) {
        hstmt_ = InvalidHandle();
        return false;
    }
    hstmt_ = h;
    // A driver may substitute another cursor or concurrency; that is fine.
    SQLSetStmtAttr(h, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(SQL_CONCUR_ROWVER), 0);
    SQLSetStmtAttr(h, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_KEYSET_DRIVEN),
                   0);
    if (setTimeout) SQLSetStmtAttr(h, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(60), 0);
    return true;
}

bool ODBCStmt::Reset() {
    if (IsValid()) {
        SQLCancel(hstmt_);
        SQLFreeHandle(SQL_HANDLE_STMT, hstmt_);
        hstmt_ = InvalidHandle();
    }
    // The query timeout is left at the driver's default after a reset.
    return Allocate(false);
}

ODBCBindData* ODBCStmt::AddBindData(std::unique_ptr<ODBCBindData> data) {
    longData_.push_back(std::move(data));
    return longData_.back().get();
}

SQLRETURN ODBCStmt::Execute(const char* sql) {
    SQLRETURN rc =
        SQLExecDirect(hstmt_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)), SQL_NTS);
    if (rc != SQL_NEED_DATA) return rc;
    SQLPOINTER token = nullptr;
    while ((rc = SQLParamData(hstmt_, &token)) == SQL_NEED_DATA) {
        // Only a token of our own list is streamed: anything else would be a
        // pointer we cannot vouch for, so the execution is cancelled instead.
        auto it = std::find_if(longData_.begin(), longData_.end(),
                               [token](const auto& d) { return d.get() == token; });
        if (it == longData_.end()) {
            SQLCancel(hstmt_);
            return SQL_ERROR;
        }
        std::vector<char>& data = (*it)->data;
        SQLPutData(hstmt_, data.data(), static_cast<SQLLEN>(data.size()));
    }
    return rc;
}

bool ODBCStmt::ExecDirect(const char* sql) {
    return SqlExecuted(Execute(sql));
}

bool ODBCStmt::Fetch() {
    return SqlSucceeded(SQLFetch(hstmt_));
}

bool ODBCStmt::GetColumnData(SQLUSMALLINT n, void* buffer, SQLLEN size, SQLLEN* length) {
    if (buffer && size > 0) static_cast<char*>(buffer)[0] = 0;
    SQLLEN indicator = 0;
    if (!SqlSucceeded(SQLGetData(hstmt_, n, SQL_C_DEFAULT, buffer, size, &indicator))) return false;
    if (length) *length = indicator;
    return true;
}

namespace {

// The integer that SQL_C_DEFAULT left in buffer, by its length: 1, 2 and 4
// bytes sign-extended; longer ones give their low half (little-endian).
int32_t IntegerOf(const char* buffer, SQLLEN length) {
    if (length == 1) return static_cast<signed char>(buffer[0]);
    if (length == 2) {
        int16_t v16;
        std::memcpy(&v16, buffer, sizeof v16);
        return v16;
    }
    int32_t v32;
    std::memcpy(&v32, buffer, sizeof v32);
    return v32;
}

}  // namespace

bool ODBCStmt::GetColumnInt(SQLUSMALLINT n, int32_t& value) {
    bool isNull = false;
    char buffer[64] = {0};
    SQLLEN indicator = 0;
    if (!GetColumnData(n, buffer, sizeof buffer, &indicator)) return false;
    isNull = indicator == SQL_NULL_DATA;
    value = isNull ? 0 : IntegerOf(buffer, indicator);
    return !isNull && (indicator == 1 || indicator == 2 || indicator == 4);
}

bool ODBCStmt::GetColumnInt(SQLUSMALLINT n, int32_t& value, bool& isNull) {
    char buffer[64] = {0};
    SQLLEN indicator = 0;
    value = 0;
    isNull = false;
    if (!GetColumnData(n, buffer, sizeof buffer, &indicator)) return false;
    isNull = indicator == SQL_NULL_DATA;
    if (!isNull) value = IntegerOf(buffer, indicator);
    return true;
}

bool ODBCStmt::GetColumnString(SQLUSMALLINT n, std::string& text) {
    text.clear();
    char probe[1] = {0};
    SQLLEN indicator = 0;
    if (!SqlSucceeded(SQLGetData(hstmt_, n, SQL_C_DEFAULT, probe, 0, &indicator))) return false;
    if (indicator <= 0) return true;
    std::string buffer(static_cast<size_t>(indicator) + 2, '\0');
    SQLLEN second = 0;
    SQLRETURN rc = SQLGetData(hstmt_, n, SQL_C_DEFAULT, buffer.data(),
                              static_cast<SQLLEN>(buffer.size()), &second);
    text.assign(buffer.c_str(), strnlen(buffer.data(), buffer.size()));
    return SqlSucceeded(rc);
}

std::vector<ResultColumn> ODBCStmt::ResultColumns() const {
    std::vector<ResultColumn> columns;
    SQLSMALLINT count = 0;
    if (!SqlSucceeded(SQLNumResultCols(hstmt_, &count))) count = 0;
    for (SQLSMALLINT i = 1; i <= count; ++i) {
        SQLCHAR name[512] = {0};
        SQLSMALLINT nameLength = 0, nullable = 0;
        ResultColumn column;
        SQLDescribeCol(hstmt_, static_cast<SQLUSMALLINT>(i), name, sizeof name, &nameLength,
                       &column.type, &column.size, &column.digits, &nullable);
        column.name = reinterpret_cast<const char*>(name);
        columns.push_back(std::move(column));
    }
    return columns;
}

SQLUSMALLINT ODBCStmt::FindColumn(const char* name) {
    const std::vector<ResultColumn> columns = ResultColumns();
    for (size_t i = 0; i < columns.size(); ++i)
        if (EqualNoCase(columns[i].name.c_str(), name)) return static_cast<SQLUSMALLINT>(i + 1);
    return 0;
}
