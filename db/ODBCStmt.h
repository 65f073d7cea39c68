// One statement handle on an open connection: texts are executed directly
// and read row by row, column by column, in the driver's default C type.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "db/ODBCBindData.h"

class ODBCConnection;

// A column of a statement's result as the driver describes it.
struct ResultColumn {
    std::string name;
    SQLSMALLINT type = 0;  // the SQL type
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
};

class ODBCStmt {
  public:
    // Allocates the handle; on failure the statement holds the invalid marker
    // and every call fails ("Invalid Handle" on execution).
    explicit ODBCStmt(SQLHDBC hdbc);
    explicit ODBCStmt(const ODBCConnection& connection);
    virtual ~ODBCStmt();
    ODBCStmt(const ODBCStmt&) = delete;
    ODBCStmt& operator=(const ODBCStmt&) = delete;

    // SQLExecDirect plus the long-data step; the raw final code, unclassified,
    // for callers that word their own message (classify with SqlExecuted).
    SQLRETURN Execute(const char* sql);
    SQLRETURN Execute(const std::string& sql) { return Execute(sql.c_str()); }
    // True when executed (success, with info, or no data).
    bool ExecDirect(const char* sql);
    bool ExecDirect(const std::string& sql) { return ExecDirect(sql.c_str()); }
    // True when a row is current.
    bool Fetch();
    // Frees the handle and allocates a fresh one; false leaves the invalid marker.
    bool Reset();

    // Reads column n (1-based) with SQL_C_DEFAULT into buffer (first byte
    // cleared before). length receives the indicator (SQL_NULL_DATA for null).
    bool GetColumnData(SQLUSMALLINT n, void* buffer, SQLLEN size, SQLLEN* length = nullptr);
    // True for an integer of 1, 2 or 4 bytes (sign-extended); null gives 0 and false.
    bool GetColumnInt(SQLUSMALLINT n, int32_t& value);
    // The same where null is a value of its own: false only when the column
    // cannot be read; null gives true, 0 and isNull (never what an earlier
    // read left in the buffer). An 8-byte integer gives its low half.
    bool GetColumnInt(SQLUSMALLINT n, int32_t& value, bool& isNull);
    // Text of a character column; null and empty give "" and true.
    bool GetColumnString(SQLUSMALLINT n, std::string& text);
    // The columns of the current result in their order; empty without one.
    std::vector<ResultColumn> ResultColumns() const;
    // 1-based number of the result column named name (any letter case), 0 when absent.
    SQLUSMALLINT FindColumn(const char* name);

    // Registers a buffer to be streamed on SQL_NEED_DATA; the returned
    // pointer is the token to bind as the parameter's value pointer.
    ODBCBindData* AddBindData(std::unique_ptr<ODBCBindData> data);

    SQLHSTMT Handle() const { return hstmt_; }
    bool IsValid() const { return hstmt_ != InvalidHandle(); }
    // The marker of a statement without a valid handle is the null handle:
    // the driver manager answers SQL_INVALID_HANDLE for it, whereas any other
    // non-handle value would be dereferenced.
    static SQLHSTMT InvalidHandle() { return SQL_NULL_HSTMT; }

  private:
    bool Allocate(bool setTimeout);

    std::list<std::unique_ptr<ODBCBindData>> longData_;
    SQLHSTMT hstmt_;
    SQLHDBC hdbc_;
};
