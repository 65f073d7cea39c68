// The contract between the shared ODBC plumbing (handles, diagnostics, data
// conversion, catalog result sets) and one database engine. Each driver
// library implements Backend and Connection for its engine and defines
// odbcdrv::TheBackend(); everything an application sees through ODBC is then
// served by drivers/common.
//
// Text crosses this interface in code page 1252, as the application sends it.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace odbcdrv {

// An engine error: SQLSTATE (5 characters), the engine's native code and its
// whole message text (all lines). Thrown by backends, turned into a
// diagnostic record by the plumbing; never crosses an ODBC entry point.
struct DriverError : std::runtime_error {
    DriverError(std::string state, std::string text, SQLINTEGER nativeCode = 0)
        : std::runtime_error(text),
          sqlstate(std::move(state)),
          message(std::move(text)),
          native(nativeCode) {}
    std::string sqlstate;
    std::string message;
    SQLINTEGER native;
};

// One cell of a result row, in the engine's natural representation. The
// plumbing converts it to whatever C type SQLGetData asks for.
struct Value {
    enum class Kind { Null, Int, Double, Text, Binary, Date, Time, Timestamp };
    Kind kind = Kind::Null;
    int64_t i = 0;              // Int (also BIT/BOOLEAN as 0/1)
    double d = 0;               // Double
    std::string s;              // Text (CP1252 bytes) or Binary bytes
    SQL_TIMESTAMP_STRUCT ts{};  // Date (y/m/d), Time (h/m/s), Timestamp (all; fraction in ns)

    static Value Null() { return {}; }
    static Value Integer(int64_t v) {
        Value x;
        x.kind = Kind::Int;
        x.i = v;
        return x;
    }
    static Value Real(double v) {
        Value x;
        x.kind = Kind::Double;
        x.d = v;
        return x;
    }
    static Value String(std::string v) {
        Value x;
        x.kind = Kind::Text;
        x.s = std::move(v);
        return x;
    }
    static Value Bytes(std::string v) {
        Value x;
        x.kind = Kind::Binary;
        x.s = std::move(v);
        return x;
    }
    bool IsNull() const { return kind == Kind::Null; }
};

// Description of a result column or of a table column.
struct ColumnInfo {
    std::string name;  // as the engine reports it (Firebird: upper case when unquoted)
    SQLSMALLINT sqlType = SQL_VARCHAR;  // ODBC SQL type code (SQL_INTEGER, SQL_TYPE_DATE, ...)
    std::string typeName;    // engine type name for TYPE_NAME ("VARCHAR", "INTEGER", ...)
    SQLULEN columnSize = 0;  // characters for text, precision for numbers
    SQLSMALLINT decimalDigits = 0;
    SQLSMALLINT nullable = SQL_NULLABLE_UNKNOWN;
    bool isUnsigned = false;  // TINYINT of the Access kind is unsigned
    std::string tableName;    // for catalog rows: the table as stored
};

// Rows of an executed query. Next() fills `row` with one Value per column and
// returns true, or returns false after the last row. Throws DriverError.
class ResultSet {
  public:
    virtual ~ResultSet() = default;
    virtual const std::vector<ColumnInfo>& Columns() const = 0;
    virtual bool Next(std::vector<Value>& row) = 0;
};

// Outcome of one statement execution.
struct ExecResult {
    std::unique_ptr<ResultSet> rows;  // set for statements that deliver rows
    SQLLEN rowCount = -1;             // rows affected by insert/update/delete, else -1
    bool searchedUpdateOrDelete =
        false;  // update or delete (not positioned): SQL_NO_DATA on 0 rows
};

// Connection keys from the connection string, keys upper-cased, values as given.
// The plumbing adds LOGIN_TIMEOUT (seconds) when the application set
// SQL_ATTR_LOGIN_TIMEOUT and the string does not carry that key itself.
// CREATEDB=1 (a tool key the program never sends) asks the backend to create
// the database file when it does not exist.
using ConnectKeys = std::map<std::string, std::string>;

class Connection {
  public:
    virtual ~Connection() = default;
    // Executes one SQL text. With autocommit on (the default) the statement runs
    // in a transaction of its own, committed on success and rolled back on
    // failure. Throws DriverError.
    virtual ExecResult Execute(const std::string& sql) = 0;
    // Columns of a table in ordinal order, the table name matched without
    // regard to case. Empty when no such table exists. Throws DriverError.
    virtual std::vector<ColumnInfo> TableColumns(const std::string& table) = 0;
    // Names of the application's tables (no system tables), in name order.
    // Throws DriverError.
    virtual std::vector<std::string> TableNames() { return {}; }
    virtual void SetAutocommit(bool on) = 0;
    virtual void EndTransaction(bool commit) = 0;  // SQLEndTran
    // SQL_ATTR_TXN_ISOLATION (SQL_TXN_READ_COMMITTED, SQL_TXN_REPEATABLE_READ
    // or SQL_TXN_SERIALIZABLE), for transactions that begin afterwards.
    virtual void SetIsolation(SQLUINTEGER level) = 0;
    virtual void Cancel() {}
};

class Backend {
  public:
    virtual ~Backend() = default;
    virtual std::unique_ptr<Connection> Connect(const ConnectKeys& keys) = 0;  // throws DriverError
    virtual const char* DriverName() const = 0;   // SQL_DRIVER_NAME, e.g. "libtamarofb.so"
    virtual const char* DbmsName() const = 0;     // SQL_DBMS_NAME
    virtual const char* DbmsVersion() const = 0;  // SQL_DBMS_VER
    virtual char IdentifierQuote() const { return '"'; }
};

// Defined once in each driver library.
Backend& TheBackend();

}  // namespace odbcdrv
