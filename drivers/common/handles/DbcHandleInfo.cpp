// SQLGetInfo and SQLGetFunctions of DbcHandle: the answers unixODBC, isql,
// pyodbc, DBI, PHP and LibreOffice ask for, describing a driver with
// read-only forward-only and static cursors, input parameters, and the
// escape sequences its engine's dialect writes (EscapeSql.h).
#include <cstring>

#include "drivers/common/base/SqlStates.h"
#include "drivers/common/handles/DbcHandle.h"
#include "drivers/common/sql/EscapeSql.h"
#include "drivers/common/values/StringOut.h"

namespace odbcdrv {

namespace {

enum class Kind { Text, U16, U32 };

struct Info {
    SQLUSMALLINT id;
    Kind kind;
    const char* text;
    SQLUINTEGER number;
};

// What the static cursor does: every orientation of SQLFetchScroll,
// bookmarks, and SQLSetPos positioning and refreshing its rows.
constexpr SQLUINTEGER kStaticCursor1 = SQL_CA1_NEXT | SQL_CA1_ABSOLUTE | SQL_CA1_RELATIVE |
                                       SQL_CA1_BOOKMARK | SQL_CA1_LOCK_NO_CHANGE |
                                       SQL_CA1_POS_POSITION | SQL_CA1_POS_REFRESH;
constexpr SQLUINTEGER kStaticCursor2 =
    SQL_CA2_READ_ONLY_CONCURRENCY | SQL_CA2_MAX_ROWS_SELECT | SQL_CA2_CRC_EXACT;

constexpr Info kInfo[] = {
    {SQL_DRIVER_VER, Kind::Text, "01.00.0000", 0},
    {SQL_DRIVER_ODBC_VER, Kind::Text, "03.00", 0},
    {SQL_SERVER_NAME, Kind::Text, "", 0},
    {SQL_SEARCH_PATTERN_ESCAPE, Kind::Text, "\\", 0},
    {SQL_CATALOG_NAME_SEPARATOR, Kind::Text, "", 0},
    {SQL_CATALOG_TERM, Kind::Text, "", 0},
    {SQL_CATALOG_NAME, Kind::Text, "N", 0},
    {SQL_SCHEMA_TERM, Kind::Text, "", 0},
    {SQL_TABLE_TERM, Kind::Text, "table", 0},
    {SQL_PROCEDURE_TERM, Kind::Text, "procedure", 0},
    {SQL_ACCESSIBLE_TABLES, Kind::Text, "Y", 0},
    {SQL_ACCESSIBLE_PROCEDURES, Kind::Text, "N", 0},
    {SQL_EXPRESSIONS_IN_ORDERBY, Kind::Text, "Y", 0},
    {SQL_MULT_RESULT_SETS, Kind::Text, "N", 0},
    {SQL_MULTIPLE_ACTIVE_TXN, Kind::Text, "Y", 0},
    {SQL_NEED_LONG_DATA_LEN, Kind::Text, "N", 0},
    {SQL_OUTER_JOINS, Kind::Text, "Y", 0},
    {SQL_ROW_UPDATES, Kind::Text, "N", 0},
    {SQL_SPECIAL_CHARACTERS, Kind::Text, "", 0},
    {SQL_COLUMN_ALIAS, Kind::Text, "Y", 0},
    {SQL_ORDER_BY_COLUMNS_IN_SELECT, Kind::Text, "N", 0},
    {SQL_COLLATION_SEQ, Kind::Text, "", 0},
    {SQL_DESCRIBE_PARAMETER, Kind::Text, "Y", 0},
    {SQL_INTEGRITY, Kind::Text, "N", 0},
    {SQL_KEYWORDS, Kind::Text, "", 0},
    {SQL_LIKE_ESCAPE_CLAUSE, Kind::Text, "Y", 0},
    {SQL_MAX_ROW_SIZE_INCLUDES_LONG, Kind::Text, "Y", 0},
    {SQL_XOPEN_CLI_YEAR, Kind::Text, "1995", 0},
    {SQL_MAX_DRIVER_CONNECTIONS, Kind::U16, nullptr, 0},
    {SQL_MAX_CONCURRENT_ACTIVITIES, Kind::U16, nullptr, 0},
    {SQL_TXN_CAPABLE, Kind::U16, nullptr, SQL_TC_DDL_COMMIT},
    {SQL_CURSOR_COMMIT_BEHAVIOR, Kind::U16, nullptr, SQL_CB_CLOSE},
    {SQL_CURSOR_ROLLBACK_BEHAVIOR, Kind::U16, nullptr, SQL_CB_CLOSE},
    {SQL_MAX_COLUMN_NAME_LEN, Kind::U16, nullptr, 63},
    {SQL_MAX_TABLE_NAME_LEN, Kind::U16, nullptr, 63},
    {SQL_MAX_IDENTIFIER_LEN, Kind::U16, nullptr, 63},
    {SQL_MAX_CURSOR_NAME_LEN, Kind::U16, nullptr, 31},
    {SQL_MAX_SCHEMA_NAME_LEN, Kind::U16, nullptr, 0},
    {SQL_MAX_CATALOG_NAME_LEN, Kind::U16, nullptr, 0},
    {SQL_MAX_PROCEDURE_NAME_LEN, Kind::U16, nullptr, 63},
    {SQL_MAX_USER_NAME_LEN, Kind::U16, nullptr, 63},
    {SQL_MAX_COLUMNS_IN_GROUP_BY, Kind::U16, nullptr, 0},
    {SQL_MAX_COLUMNS_IN_INDEX, Kind::U16, nullptr, 0},
    {SQL_MAX_COLUMNS_IN_ORDER_BY, Kind::U16, nullptr, 0},
    {SQL_MAX_COLUMNS_IN_SELECT, Kind::U16, nullptr, 0},
    {SQL_MAX_COLUMNS_IN_TABLE, Kind::U16, nullptr, 0},
    {SQL_MAX_TABLES_IN_SELECT, Kind::U16, nullptr, 0},
    {SQL_IDENTIFIER_CASE, Kind::U16, nullptr, SQL_IC_UPPER},
    {SQL_QUOTED_IDENTIFIER_CASE, Kind::U16, nullptr, SQL_IC_SENSITIVE},
    {SQL_NULL_COLLATION, Kind::U16, nullptr, SQL_NC_HIGH},
    {SQL_CONCAT_NULL_BEHAVIOR, Kind::U16, nullptr, SQL_CB_NULL},
    {SQL_CORRELATION_NAME, Kind::U16, nullptr, SQL_CN_ANY},
    {SQL_NON_NULLABLE_COLUMNS, Kind::U16, nullptr, SQL_NNC_NON_NULL},
    {SQL_FILE_USAGE, Kind::U16, nullptr, SQL_FILE_NOT_SUPPORTED},
    {SQL_GROUP_BY, Kind::U16, nullptr, SQL_GB_GROUP_BY_CONTAINS_SELECT},
    {SQL_ODBC_API_CONFORMANCE, Kind::U16, nullptr, SQL_OAC_LEVEL1},
    {SQL_ODBC_SQL_CONFORMANCE, Kind::U16, nullptr, SQL_OSC_CORE},
    {SQL_ACTIVE_ENVIRONMENTS, Kind::U16, nullptr, 0},
    {SQL_CATALOG_LOCATION, Kind::U16, nullptr, 0},
    {SQL_GETDATA_EXTENSIONS, Kind::U32, nullptr,
     SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER | SQL_GD_BLOCK | SQL_GD_BOUND},
    {SQL_TXN_ISOLATION_OPTION, Kind::U32, nullptr,
     SQL_TXN_READ_COMMITTED | SQL_TXN_REPEATABLE_READ | SQL_TXN_SERIALIZABLE},
    {SQL_DEFAULT_TXN_ISOLATION, Kind::U32, nullptr, SQL_TXN_READ_COMMITTED},
    {SQL_SCROLL_OPTIONS, Kind::U32, nullptr, SQL_SO_FORWARD_ONLY | SQL_SO_STATIC},
    {SQL_SCROLL_CONCURRENCY, Kind::U32, nullptr, SQL_SCCO_READ_ONLY},
    {SQL_CURSOR_SENSITIVITY, Kind::U32, nullptr, SQL_INSENSITIVE},
    {SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1, Kind::U32, nullptr, SQL_CA1_NEXT},
    {SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2, Kind::U32, nullptr,
     SQL_CA2_READ_ONLY_CONCURRENCY | SQL_CA2_MAX_ROWS_SELECT},
    {SQL_STATIC_CURSOR_ATTRIBUTES1, Kind::U32, nullptr, kStaticCursor1},
    {SQL_STATIC_CURSOR_ATTRIBUTES2, Kind::U32, nullptr, kStaticCursor2},
    {SQL_KEYSET_CURSOR_ATTRIBUTES1, Kind::U32, nullptr, 0},
    {SQL_KEYSET_CURSOR_ATTRIBUTES2, Kind::U32, nullptr, 0},
    {SQL_DYNAMIC_CURSOR_ATTRIBUTES1, Kind::U32, nullptr, 0},
    {SQL_DYNAMIC_CURSOR_ATTRIBUTES2, Kind::U32, nullptr, 0},
    {SQL_ASYNC_MODE, Kind::U32, nullptr, SQL_AM_NONE},
    {SQL_MAX_ASYNC_CONCURRENT_STATEMENTS, Kind::U32, nullptr, 0},
    {SQL_BATCH_ROW_COUNT, Kind::U32, nullptr, 0},
    {SQL_BATCH_SUPPORT, Kind::U32, nullptr, 0},
    {SQL_PARAM_ARRAY_ROW_COUNTS, Kind::U32, nullptr, SQL_PARC_NO_BATCH},
    {SQL_PARAM_ARRAY_SELECTS, Kind::U32, nullptr, SQL_PAS_NO_SELECT},
    {SQL_BOOKMARK_PERSISTENCE, Kind::U32, nullptr, SQL_BP_SCROLL},
    {SQL_STATIC_SENSITIVITY, Kind::U32, nullptr, 0},
    {SQL_LOCK_TYPES, Kind::U32, nullptr, 0},
    {SQL_POS_OPERATIONS, Kind::U32, nullptr, SQL_POS_POSITION | SQL_POS_REFRESH},
    {SQL_POSITIONED_STATEMENTS, Kind::U32, nullptr, 0},
    {SQL_FETCH_DIRECTION, Kind::U32, nullptr,
     SQL_FD_FETCH_NEXT | SQL_FD_FETCH_FIRST | SQL_FD_FETCH_LAST | SQL_FD_FETCH_PRIOR |
         SQL_FD_FETCH_ABSOLUTE | SQL_FD_FETCH_RELATIVE | SQL_FD_FETCH_BOOKMARK},
    {SQL_TIMEDATE_ADD_INTERVALS, Kind::U32, nullptr, 0},
    {SQL_TIMEDATE_DIFF_INTERVALS, Kind::U32, nullptr, 0},
    {SQL_SQL_CONFORMANCE, Kind::U32, nullptr, SQL_SC_SQL92_ENTRY},
    {SQL_ODBC_INTERFACE_CONFORMANCE, Kind::U32, nullptr, SQL_OIC_CORE},
    {SQL_MAX_STATEMENT_LEN, Kind::U32, nullptr, 0},
    {SQL_MAX_ROW_SIZE, Kind::U32, nullptr, 0},
    {SQL_MAX_CHAR_LITERAL_LEN, Kind::U32, nullptr, 0},
    {SQL_MAX_BINARY_LITERAL_LEN, Kind::U32, nullptr, 0},
    {SQL_MAX_INDEX_SIZE, Kind::U32, nullptr, 0},
    {SQL_SCHEMA_USAGE, Kind::U32, nullptr, 0},
    {SQL_CATALOG_USAGE, Kind::U32, nullptr, 0},
    {SQL_SUBQUERIES, Kind::U32, nullptr,
     SQL_SQ_CORRELATED_SUBQUERIES | SQL_SQ_COMPARISON | SQL_SQ_EXISTS | SQL_SQ_IN |
         SQL_SQ_QUANTIFIED},
    {SQL_UNION, Kind::U32, nullptr, SQL_U_UNION | SQL_U_UNION_ALL},
    {SQL_AGGREGATE_FUNCTIONS, Kind::U32, nullptr, SQL_AF_ALL},
    {SQL_ALTER_TABLE, Kind::U32, nullptr, SQL_AT_ADD_COLUMN | SQL_AT_DROP_COLUMN},
    {SQL_CREATE_TABLE, Kind::U32, nullptr, SQL_CT_CREATE_TABLE},
    {SQL_DROP_TABLE, Kind::U32, nullptr, SQL_DT_DROP_TABLE},
    {SQL_DDL_INDEX, Kind::U32, nullptr, SQL_DI_CREATE_INDEX | SQL_DI_DROP_INDEX},
    {SQL_INSERT_STATEMENT, Kind::U32, nullptr, SQL_IS_INSERT_LITERALS | SQL_IS_INSERT_SEARCHED},
    {SQL_INFO_SCHEMA_VIEWS, Kind::U32, nullptr, 0},
    {SQL_STANDARD_CLI_CONFORMANCE, Kind::U32, nullptr, 0},
    {SQL_ASYNC_DBC_FUNCTIONS, Kind::U32, nullptr, SQL_ASYNC_DBC_NOT_CAPABLE},
};

// The SQL_CONVERT_ information types: for each source type, the target
// types {fn CONVERT(...)} takes from it (a mask of SQL_CVT_ bits, cut down to
// the targets the engine's dialect writes).
constexpr SQLUINTEGER kToText = SQL_CVT_CHAR | SQL_CVT_VARCHAR | SQL_CVT_WCHAR | SQL_CVT_WVARCHAR;
constexpr SQLUINTEGER kToNumber = SQL_CVT_SMALLINT | SQL_CVT_INTEGER | SQL_CVT_BIGINT |
                                  SQL_CVT_REAL | SQL_CVT_FLOAT | SQL_CVT_DOUBLE;
struct Convert {
    SQLUSMALLINT info;
    SQLUINTEGER targets;
};
constexpr Convert kConvertInfo[] = {
    {SQL_CONVERT_BIGINT, kToText | kToNumber},
    {SQL_CONVERT_BIT, kToText | kToNumber},
    {SQL_CONVERT_DECIMAL, kToText | kToNumber},
    {SQL_CONVERT_DOUBLE, kToText | kToNumber},
    {SQL_CONVERT_FLOAT, kToText | kToNumber},
    {SQL_CONVERT_INTEGER, kToText | kToNumber},
    {SQL_CONVERT_NUMERIC, kToText | kToNumber},
    {SQL_CONVERT_REAL, kToText | kToNumber},
    {SQL_CONVERT_SMALLINT, kToText | kToNumber},
    {SQL_CONVERT_TINYINT, kToText | kToNumber},
    {SQL_CONVERT_CHAR, ~SQLUINTEGER{0}},
    {SQL_CONVERT_VARCHAR, ~SQLUINTEGER{0}},
    {SQL_CONVERT_WCHAR, ~SQLUINTEGER{0}},
    {SQL_CONVERT_WVARCHAR, ~SQLUINTEGER{0}},
    {SQL_CONVERT_LONGVARCHAR, kToText},
    {SQL_CONVERT_WLONGVARCHAR, kToText},
    {SQL_CONVERT_DATE, kToText | SQL_CVT_DATE | SQL_CVT_TIMESTAMP},
    {SQL_CONVERT_TIME, kToText | SQL_CVT_TIME},
    {SQL_CONVERT_TIMESTAMP, kToText | SQL_CVT_DATE | SQL_CVT_TIME | SQL_CVT_TIMESTAMP},
    {SQL_CONVERT_BINARY, 0},
    {SQL_CONVERT_VARBINARY, 0},
    {SQL_CONVERT_LONGVARBINARY, 0},
    {SQL_CONVERT_GUID, 0},
    {SQL_CONVERT_INTERVAL_DAY_TIME, 0},
    {SQL_CONVERT_INTERVAL_YEAR_MONTH, 0},
};

// The functions the driver exports (OdbcApi.cpp; the wide ones share their
// numbers); SQLGetFunctions answers from this list.
constexpr SQLUSMALLINT kFunctions[] = {
    SQL_API_SQLALLOCHANDLE,    SQL_API_SQLFREEHANDLE,
    SQL_API_SQLFREESTMT,       SQL_API_SQLSETENVATTR,
    SQL_API_SQLGETENVATTR,     SQL_API_SQLSETCONNECTATTR,
    SQL_API_SQLGETCONNECTATTR, SQL_API_SQLDRIVERCONNECT,
    SQL_API_SQLCONNECT,        SQL_API_SQLDISCONNECT,
    SQL_API_SQLGETINFO,        SQL_API_SQLGETFUNCTIONS,
    SQL_API_SQLENDTRAN,        SQL_API_SQLSETSTMTATTR,
    SQL_API_SQLGETSTMTATTR,    SQL_API_SQLEXECDIRECT,
    SQL_API_SQLPREPARE,        SQL_API_SQLEXECUTE,
    SQL_API_SQLNUMPARAMS,      SQL_API_SQLBINDPARAMETER,
    SQL_API_SQLDESCRIBEPARAM,  SQL_API_SQLPARAMDATA,
    SQL_API_SQLPUTDATA,        SQL_API_SQLNUMRESULTCOLS,
    SQL_API_SQLDESCRIBECOL,    SQL_API_SQLCOLATTRIBUTE,
    SQL_API_SQLROWCOUNT,       SQL_API_SQLFETCH,
    SQL_API_SQLFETCHSCROLL,    SQL_API_SQLGETDATA,
    SQL_API_SQLBINDCOL,        SQL_API_SQLCOLUMNS,
    SQL_API_SQLTABLES,         SQL_API_SQLPRIMARYKEYS,
    SQL_API_SQLSTATISTICS,     SQL_API_SQLSPECIALCOLUMNS,
    SQL_API_SQLGETTYPEINFO,    SQL_API_SQLFOREIGNKEYS,
    SQL_API_SQLPROCEDURES,     SQL_API_SQLPROCEDURECOLUMNS,
    SQL_API_SQLCANCEL,         SQL_API_SQLCLOSECURSOR,
    SQL_API_SQLMORERESULTS,    SQL_API_SQLGETDIAGREC,
    SQL_API_SQLGETDIAGFIELD,   SQL_API_SQLERROR,
    SQL_API_SQLSETPOS,         SQL_API_SQLEXTENDEDFETCH,
};

}  // namespace

std::string DbcHandle::Key(const char* name) const {
    auto it = keys_.find(name);
    return it == keys_.end() ? std::string() : it->second;
}

SQLRETURN DbcHandle::GetInfo(SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT bufferLength,
                             SQLSMALLINT* length, TextForm form) {
    std::string text;
    bool isText = true;
    switch (type) {
        case SQL_DRIVER_NAME:
            text = TheBackend().DriverName();
            break;
        case SQL_DBMS_NAME:
            text = TheBackend().DbmsName();
            break;
        case SQL_DBMS_VER:
            text = TheBackend().DbmsVersion();
            break;
        case SQL_IDENTIFIER_QUOTE_CHAR:
            text = std::string(1, TheBackend().IdentifierQuote());
            break;
        case SQL_DATABASE_NAME:
            text = Key(keys_.count("DBNAME") ? "DBNAME" : "DBQ");
            break;
        case SQL_DATA_SOURCE_NAME:
            text = Key("DSN");
            break;
        case SQL_USER_NAME:
            text = Key("UID");
            break;
        case SQL_PROCEDURES:
            text = TheBackend().Escapes().procedures ? "Y" : "N";
            break;
        case SQL_DATA_SOURCE_READ_ONLY:
            text = readOnly_ ? "Y" : "N";
            break;
        default:
            isText = false;
    }
    if (isText) return CopyOut(text, value, bufferLength, length, diag, form);

    auto number = [&](SQLUINTEGER n) {
        if (value) *static_cast<SQLUINTEGER*>(value) = n;
        if (length) *length = sizeof(SQLUINTEGER);
        return SQLRETURN{SQL_SUCCESS};
    };
    const EscapeDialect& escapes = TheBackend().Escapes();
    switch (type) {
        case SQL_STRING_FUNCTIONS:
        case SQL_NUMERIC_FUNCTIONS:
        case SQL_TIMEDATE_FUNCTIONS:
        case SQL_SYSTEM_FUNCTIONS:
            return number(EscapeSql::FunctionBits(escapes, type));
        case SQL_CONVERT_FUNCTIONS:
            return number(escapes.conversions.empty() ? 0 : SQL_FN_CVT_CONVERT);
        case SQL_OJ_CAPABILITIES:
            return number(escapes.outerJoins);
        case SQL_DATETIME_LITERALS:
            // The SQL-92 forms DATE '...' and so on; #...# is no such form.
            return number(escapes.hashDates
                              ? 0
                              : SQL_DL_SQL92_DATE | SQL_DL_SQL92_TIME | SQL_DL_SQL92_TIMESTAMP);
        default:
            break;
    }
    for (const Convert& c : kConvertInfo)
        if (c.info == type) return number(c.targets & EscapeSql::ConversionBits(escapes));

    for (const Info& i : kInfo) {
        if (i.id != type) continue;
        switch (i.kind) {
            case Kind::Text:
                return CopyOut(std::string(i.text), value, bufferLength, length, diag, form);
            case Kind::U16:
                if (value) *static_cast<SQLUSMALLINT*>(value) = static_cast<SQLUSMALLINT>(i.number);
                if (length) *length = sizeof(SQLUSMALLINT);
                return SQL_SUCCESS;
            case Kind::U32:
                if (value) *static_cast<SQLUINTEGER*>(value) = i.number;
                if (length) *length = sizeof(SQLUINTEGER);
                return SQL_SUCCESS;
        }
    }
    return Fail(state::kInvalidInfoType);
}

SQLRETURN DbcHandle::GetFunctions(SQLUSMALLINT function, SQLUSMALLINT* supported) {
    if (!supported) return SQL_ERROR;
    if (function == SQL_API_ODBC3_ALL_FUNCTIONS) {
        std::memset(supported, 0, sizeof(SQLUSMALLINT) * SQL_API_ODBC3_ALL_FUNCTIONS_SIZE);
        for (SQLUSMALLINT f : kFunctions)
            supported[f >> 4] |= static_cast<SQLUSMALLINT>(1 << (f & 0xF));
        return SQL_SUCCESS;
    }
    if (function == SQL_API_ALL_FUNCTIONS) {
        std::memset(supported, 0, sizeof(SQLUSMALLINT) * 100);
        for (SQLUSMALLINT f : kFunctions)
            if (f < 100) supported[f] = SQL_TRUE;
        return SQL_SUCCESS;
    }
    *supported = SQL_FALSE;
    for (SQLUSMALLINT f : kFunctions)
        if (f == function) *supported = SQL_TRUE;
    return SQL_SUCCESS;
}

}  // namespace odbcdrv
