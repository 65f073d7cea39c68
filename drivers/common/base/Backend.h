// The contract between the shared ODBC plumbing (handles, diagnostics, data
// conversion, catalog result sets) and one database engine. Each driver
// library implements Backend and Connection for its engine and defines
// odbcdrv::TheBackend(); everything an application sees through ODBC is then
// served by drivers/common.
//
// Text crosses this interface in code page 1252, whatever character set the
// application speaks: the plumbing converts at the entry points.
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
    // Decimal: an exact decimal number written as text ("-12.50"), as an
    // application's parameter of type SQL_NUMERIC or SQL_DECIMAL arrives.
    enum class Kind { Null, Int, Double, Text, Binary, Date, Time, Timestamp, Decimal };
    Kind kind = Kind::Null;
    int64_t i = 0;              // Int (also BIT/BOOLEAN as 0/1)
    double d = 0;               // Double
    std::string s;              // Text (CP1252 bytes), Binary bytes or Decimal digits
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
    std::string baseName;     // the table column a result column reads, when it reads one
};

// An index of a table, for SQLStatistics, SQLPrimaryKeys and SQLSpecialColumns.
struct IndexInfo {
    std::string name;
    bool unique = false;
    bool primaryKey = false;
    bool descending = false;
    std::vector<std::string> columns;  // in key order; empty for an expression index
};

// One data type of the engine as SQLGetTypeInfo lists it.
struct TypeInfoRow {
    std::string name;  // as SQLColumns reports it in TYPE_NAME
    SQLSMALLINT sqlType = SQL_VARCHAR;
    SQLINTEGER columnSize = 0;
    const char* literalPrefix = nullptr;  // null: none
    const char* literalSuffix = nullptr;
    const char* createParams = nullptr;  // "length", "precision,scale" or null
    bool caseSensitive = false;
    SQLSMALLINT searchable = SQL_SEARCHABLE;
    bool isUnsigned = false;
    bool autoUnique = false;
    SQLSMALLINT minimumScale = -1;  // -1: not applicable (NULL)
    SQLSMALLINT maximumScale = -1;
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

// A statement the engine has checked and described, executed once per set of
// parameter values. Created by Connection::Prepare; lives no longer than its
// connection.
class PreparedStatement {
  public:
    virtual ~PreparedStatement() = default;
    // Number of parameter markers ("?") of the statement.
    virtual size_t ParamCount() const = 0;
    // What the engine expects for marker i (0-based). Throws DriverError.
    virtual ColumnInfo DescribeParam(size_t i) = 0;
    // The columns of the rows the statement will deliver; empty for a
    // statement without rows.
    virtual const std::vector<ColumnInfo>& Columns() const = 0;
    // Executes with one value per marker, in marker order, under the
    // connection's transaction rule (as Connection::Execute). Throws DriverError.
    virtual ExecResult Execute(const std::vector<Value>& params) = 0;
};

// The error of a statement executed with fewer parameter values than it has
// markers (SQLSTATE 07002).
inline DriverError UnboundParameters(size_t markers, size_t bound) {
    return DriverError("07002", "COUNT field incorrect: the statement has " +
                                    std::to_string(markers) + " parameter marker" +
                                    (markers == 1 ? "" : "s") + ", but " +
                                    (bound == 0 ? std::string("none") : std::to_string(bound)) +
                                    (bound > 1 ? " are" : " is") + " bound.");
}

// How deeply parentheses may nest in a statement on Firebird, whose parser
// takes time that grows faster than the depth; no statement a client writes
// comes near it. (The Access kind's translator has a lower limit of its own.)
inline constexpr size_t kMaxParenthesisDepth = 256;

inline DriverError NestedTooDeep(const std::string& what, size_t limit) {
    return DriverError("54000", "Program limit exceeded: " + what + " are nested more than " +
                                    std::to_string(limit) + " deep.");
}

// How an engine writes what ODBC's escape sequences stand for
// (EscapeSql.h), and how its SQL text is built lexically, so that escapes
// are found only outside literals, quoted names and comments.
struct EscapeDialect {
    // One scalar function of {fn ...}: its ODBC name (upper case), its number
    // of arguments and the engine's text, with $1, $2, ... for the arguments.
    struct Function {
        const char* name;
        int arguments;
        const char* native;
    };
    // One target type of {fn CONVERT(value, SQL_xxx)}: the type's ODBC name,
    // its SQL_CVT_ bit and the engine's text with $1 for the value.
    struct Conversion {
        const char* type;
        SQLUINTEGER bit;
        const char* native;
    };
    std::vector<Function> functions;
    std::vector<Conversion> conversions;
    // Date, time and timestamp literals: the text around "yyyy-mm-dd",
    // "hh:mm:ss[.fffffffff]" and both; fractions of a second are written
    // with `fractionDigits` digits (none when 0).
    const char* dateOpen;
    const char* dateClose;
    const char* timeOpen;
    const char* timeClose;
    const char* timestampOpen;
    const char* timestampClose;
    int fractionDigits;
    SQLUINTEGER outerJoins;  // SQL_OJ_CAPABILITIES
    bool procedures;         // {call ...} is taken (Connection::ProcedureCall)
    // Lexical rules: names in [brackets] and `back quotes`, #date# literals,
    // and "--" comments to the end of the line.
    bool bracketNames;
    bool backQuoteNames;
    bool hashDates;
    bool lineComments;
};

class Connection {
  public:
    virtual ~Connection() = default;
    // Executes one SQL text. With autocommit on (the default) the statement runs
    // in a transaction of its own, committed on success and rolled back on
    // failure. A statement with parameter markers is refused (07002). Throws
    // DriverError.
    virtual ExecResult Execute(const std::string& sql) = 0;
    // Checks and describes one SQL text for later execution. Throws DriverError.
    virtual std::unique_ptr<PreparedStatement> Prepare(const std::string& sql) = 0;
    // Columns of a table in ordinal order, the table name matched without
    // regard to case. Empty when no such table exists. Throws DriverError.
    virtual std::vector<ColumnInfo> TableColumns(const std::string& table) = 0;
    // Names of the application's tables (no system tables), in name order.
    // Throws DriverError.
    virtual std::vector<std::string> TableNames() { return {}; }
    // Names of the application's views, in name order. Throws DriverError.
    virtual std::vector<std::string> ViewNames() { return {}; }
    // The indexes of a table (the name matched without regard to case), the
    // primary key among them. Throws DriverError.
    virtual std::vector<IndexInfo> Indexes(const std::string& table) = 0;
    virtual void SetAutocommit(bool on) = 0;
    virtual void EndTransaction(bool commit) = 0;  // SQLEndTran
    // SQL_ATTR_TXN_ISOLATION (SQL_TXN_READ_COMMITTED, SQL_TXN_REPEATABLE_READ
    // or SQL_TXN_SERIALIZABLE), for transactions that begin afterwards.
    virtual void SetIsolation(SQLUINTEGER level) = 0;
    virtual void Cancel() {}
    // Whether a transaction of the application's is open: without
    // autocommit, from its first statement until it is ended.
    virtual bool InTransaction() const = 0;
    // SQL_ATTR_ACCESS_MODE: a read-only connection refuses statements that
    // change data or schema, from the next transaction on.
    virtual void SetReadOnly(bool on) = 0;
    // SQL_ATTR_QUERY_TIMEOUT: from StartTimeout until StopTimeout, the
    // statement running on this connection is cancelled once `seconds` have
    // passed. StopTimeout tells whether that happened.
    virtual void StartTimeout(SQLULEN seconds) = 0;
    virtual bool StopTimeout() = 0;
    // The engine's text of a procedure call ({call name(arguments)}), the
    // arguments as written. Throws DriverError; engines without procedures
    // refuse it with HYC00.
    virtual std::string ProcedureCall(const std::string& name, const std::string& arguments) {
        (void)name;
        (void)arguments;
        throw DriverError("HYC00",
                          "Optional feature not implemented: the database kind has no "
                          "procedures to call.");
    }
};

class Backend {
  public:
    virtual ~Backend() = default;
    virtual std::unique_ptr<Connection> Connect(const ConnectKeys& keys) = 0;  // throws DriverError
    virtual const char* DriverName() const = 0;   // SQL_DRIVER_NAME, e.g. "libtamarofb.so"
    virtual const char* DbmsName() const = 0;     // SQL_DBMS_NAME
    virtual const char* DbmsVersion() const = 0;  // SQL_DBMS_VER
    virtual char IdentifierQuote() const { return '"'; }
    // The engine's forms of ODBC's escape sequences.
    virtual const EscapeDialect& Escapes() const = 0;
    // The engine's data types, in the order SQLGetTypeInfo lists them.
    virtual const std::vector<TypeInfoRow>& Types() const = 0;
    // Whether the engine reads text in a date position itself (Firebird: its
    // own forms besides ODBC's, 22018 for others), so that a character
    // parameter in no ODBC form goes to it as it reads a literal. Otherwise
    // such text is refused with 22007, as literals are.
    virtual bool EngineReadsDateText() const { return false; }
};

// Defined once in each driver library.
Backend& TheBackend();

}  // namespace odbcdrv
