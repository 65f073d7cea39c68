// Calls a driver library's entry points directly, without unixODBC, which
// would otherwise catch bad handles before the driver sees them.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>

#include "tests/drivers/DriverProfile.h"
#include "tests/fixtures/FirebirdSupport.h"
#include "tests/fixtures/TestEnv.h"

namespace drivertest {
namespace {

class RawEntryPoints : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        testenv::IsolateFirebirdLocks();
        lib = dlopen(P().library.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(nullptr, lib) << dlerror();
    }
    void TearDown() override {
        // The library stays loaded: the engine below it does not like to be unloaded.
    }
    const DriverProfile& P() const { return ProfileNamed(GetParam()); }
    template <class F>
    F* Fn(const char* name) {
        void* f = dlsym(lib, name);
        EXPECT_NE(nullptr, f) << name;
        return reinterpret_cast<F*>(f);
    }

    void* lib = nullptr;
    testenv::TempDir dir{"tamaro-raw"};
};

TEST_P(RawEntryPoints, NullWrongKindAndFreedHandlesGiveInvalidHandle) {
    auto alloc = Fn<SQLRETURN(SQLSMALLINT, SQLHANDLE, SQLHANDLE*)>("SQLAllocHandle");
    auto freeH = Fn<SQLRETURN(SQLSMALLINT, SQLHANDLE)>("SQLFreeHandle");
    auto setEnv = Fn<SQLRETURN(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER)>("SQLSetEnvAttr");
    auto connect = Fn<SQLRETURN(SQLHDBC, SQLHWND, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT,
                                SQLSMALLINT*, SQLUSMALLINT)>("SQLDriverConnect");
    auto disconnect = Fn<SQLRETURN(SQLHDBC)>("SQLDisconnect");
    auto exec = Fn<SQLRETURN(SQLHSTMT, SQLCHAR*, SQLINTEGER)>("SQLExecDirect");
    auto fetch = Fn<SQLRETURN(SQLHSTMT)>("SQLFetch");
    auto getData = Fn<SQLRETURN(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN*)>(
        "SQLGetData");
    auto error = Fn<SQLRETURN(SQLHENV, SQLHDBC, SQLHSTMT, SQLCHAR*, SQLINTEGER*, SQLCHAR*,
                              SQLSMALLINT, SQLSMALLINT*)>("SQLError");
    auto diagRec = Fn<SQLRETURN(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLCHAR*, SQLINTEGER*,
                                SQLCHAR*, SQLSMALLINT, SQLSMALLINT*)>("SQLGetDiagRec");
    ASSERT_FALSE(HasFailure());

    EXPECT_EQ(SQL_INVALID_HANDLE, exec(nullptr, (SQLCHAR*)"select 1", SQL_NTS));
    EXPECT_EQ(SQL_INVALID_HANDLE, fetch(nullptr));
    EXPECT_EQ(SQL_INVALID_HANDLE, disconnect(nullptr));
    EXPECT_EQ(SQL_INVALID_HANDLE, freeH(SQL_HANDLE_STMT, nullptr));
    int notAHandle = 0;
    EXPECT_EQ(SQL_INVALID_HANDLE, fetch(&notAHandle));

    SQLHANDLE env = nullptr, dbc = nullptr, stmt = nullptr;
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_ENV, nullptr, &env));
    setEnv(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_DBC, env, &dbc));
    EXPECT_EQ(SQL_ERROR, alloc(SQL_HANDLE_STMT, dbc, &stmt)) << "statement before connect";
    std::string cs = P().connectString(dir.path() / ("raw" + P().extension), true);
    ASSERT_EQ(SQL_SUCCESS, connect(dbc, nullptr, (SQLCHAR*)cs.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                   SQL_DRIVER_NOPROMPT));
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_STMT, dbc, &stmt));
    EXPECT_EQ(SQL_INVALID_HANDLE, exec(dbc, (SQLCHAR*)"select 1", SQL_NTS)) << "wrong kind";

    EXPECT_EQ(SQL_ERROR, exec(stmt, (SQLCHAR*)"this is no sql", SQL_NTS));
    SQLCHAR state[6], msg[600];
    SQLINTEGER native;
    SQLSMALLINT len;
    EXPECT_EQ(SQL_SUCCESS,
              diagRec(SQL_HANDLE_STMT, stmt, 1, state, &native, msg, sizeof msg, &len));
    EXPECT_EQ(SQL_NO_DATA,
              diagRec(SQL_HANDLE_STMT, stmt, 2, state, &native, msg, sizeof msg, &len));
    EXPECT_EQ(SQL_SUCCESS, error(env, dbc, stmt, state, &native, msg, sizeof msg, &len));
    EXPECT_EQ(SQL_NO_DATA, error(env, dbc, stmt, state, &native, msg, sizeof msg, &len));
    // Cut messages: the full length is reported, the buffer is terminated.
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
              diagRec(SQL_HANDLE_STMT, stmt, 1, state, &native, msg, 5, &len));
    EXPECT_EQ(4u, std::string(reinterpret_cast<char*>(msg)).size());
    EXPECT_GT(len, 4);

    EXPECT_EQ(SQL_ERROR, fetch(stmt)) << "no cursor";
    char buf[8];
    SQLLEN ind;
    EXPECT_EQ(SQL_ERROR, getData(stmt, 1, SQL_C_CHAR, buf, sizeof buf, &ind));

    EXPECT_EQ(SQL_ERROR, freeH(SQL_HANDLE_DBC, dbc)) << "still connected";
    EXPECT_EQ(SQL_SUCCESS, freeH(SQL_HANDLE_STMT, stmt));
    EXPECT_EQ(SQL_INVALID_HANDLE, exec(stmt, (SQLCHAR*)"select 1", SQL_NTS));
    EXPECT_EQ(SQL_INVALID_HANDLE, freeH(SQL_HANDLE_STMT, stmt));
    EXPECT_EQ(SQL_SUCCESS, disconnect(dbc));
    EXPECT_EQ(SQL_ERROR, disconnect(dbc)) << "not connected";
    EXPECT_EQ(SQL_ERROR, freeH(SQL_HANDLE_ENV, env)) << "connection still allocated";
    EXPECT_EQ(SQL_SUCCESS, freeH(SQL_HANDLE_DBC, dbc));
    EXPECT_EQ(SQL_SUCCESS, freeH(SQL_HANDLE_ENV, env));
    EXPECT_EQ(SQL_INVALID_HANDLE, disconnect(dbc));
    EXPECT_EQ(SQL_INVALID_HANDLE, freeH(SQL_HANDLE_ENV, env));
}

// SQLGetFunctions claims exactly the functions the library exports, so that a
// client never calls one the driver lacks, nor works around one it has.
TEST_P(RawEntryPoints, GetFunctionsClaimsExactlyTheExportedFunctions) {
    struct Function {
        SQLUSMALLINT id;
        const char* name;
    };
#define FUNCTION(id, name) \
    { SQL_API_SQL##id, "SQL" #name }
    static const Function all[] = {
        FUNCTION(ALLOCCONNECT, AllocConnect),
        FUNCTION(ALLOCENV, AllocEnv),
        FUNCTION(ALLOCSTMT, AllocStmt),
        FUNCTION(BINDCOL, BindCol),
        FUNCTION(CANCEL, Cancel),
        FUNCTION(COLATTRIBUTE, ColAttribute),
        FUNCTION(CONNECT, Connect),
        FUNCTION(DESCRIBECOL, DescribeCol),
        FUNCTION(DISCONNECT, Disconnect),
        FUNCTION(ERROR, Error),
        FUNCTION(EXECDIRECT, ExecDirect),
        FUNCTION(EXECUTE, Execute),
        FUNCTION(FETCH, Fetch),
        FUNCTION(FREECONNECT, FreeConnect),
        FUNCTION(FREEENV, FreeEnv),
        FUNCTION(FREESTMT, FreeStmt),
        FUNCTION(GETCURSORNAME, GetCursorName),
        FUNCTION(NUMRESULTCOLS, NumResultCols),
        FUNCTION(PREPARE, Prepare),
        FUNCTION(ROWCOUNT, RowCount),
        FUNCTION(SETCURSORNAME, SetCursorName),
        FUNCTION(SETPARAM, SetParam),
        FUNCTION(TRANSACT, Transact),
        FUNCTION(BULKOPERATIONS, BulkOperations),
        FUNCTION(COLUMNS, Columns),
        FUNCTION(DRIVERCONNECT, DriverConnect),
        FUNCTION(GETCONNECTOPTION, GetConnectOption),
        FUNCTION(GETDATA, GetData),
        FUNCTION(GETFUNCTIONS, GetFunctions),
        FUNCTION(GETINFO, GetInfo),
        FUNCTION(GETSTMTOPTION, GetStmtOption),
        FUNCTION(GETTYPEINFO, GetTypeInfo),
        FUNCTION(PARAMDATA, ParamData),
        FUNCTION(PUTDATA, PutData),
        FUNCTION(SETCONNECTOPTION, SetConnectOption),
        FUNCTION(SETSTMTOPTION, SetStmtOption),
        FUNCTION(SPECIALCOLUMNS, SpecialColumns),
        FUNCTION(STATISTICS, Statistics),
        FUNCTION(TABLES, Tables),
        FUNCTION(BROWSECONNECT, BrowseConnect),
        FUNCTION(COLUMNPRIVILEGES, ColumnPrivileges),
        FUNCTION(DESCRIBEPARAM, DescribeParam),
        FUNCTION(EXTENDEDFETCH, ExtendedFetch),
        FUNCTION(FOREIGNKEYS, ForeignKeys),
        FUNCTION(MORERESULTS, MoreResults),
        FUNCTION(NATIVESQL, NativeSql),
        FUNCTION(NUMPARAMS, NumParams),
        FUNCTION(PARAMOPTIONS, ParamOptions),
        FUNCTION(PRIMARYKEYS, PrimaryKeys),
        FUNCTION(PROCEDURECOLUMNS, ProcedureColumns),
        FUNCTION(PROCEDURES, Procedures),
        FUNCTION(SETPOS, SetPos),
        FUNCTION(SETSCROLLOPTIONS, SetScrollOptions),
        FUNCTION(TABLEPRIVILEGES, TablePrivileges),
        FUNCTION(BINDPARAMETER, BindParameter),
        FUNCTION(ALLOCHANDLE, AllocHandle),
        FUNCTION(BINDPARAM, BindParam),
        FUNCTION(CLOSECURSOR, CloseCursor),
        FUNCTION(COPYDESC, CopyDesc),
        FUNCTION(ENDTRAN, EndTran),
        FUNCTION(FREEHANDLE, FreeHandle),
        FUNCTION(GETCONNECTATTR, GetConnectAttr),
        FUNCTION(GETDESCFIELD, GetDescField),
        FUNCTION(GETDESCREC, GetDescRec),
        FUNCTION(GETDIAGFIELD, GetDiagField),
        FUNCTION(GETDIAGREC, GetDiagRec),
        FUNCTION(GETENVATTR, GetEnvAttr),
        FUNCTION(GETSTMTATTR, GetStmtAttr),
        FUNCTION(SETCONNECTATTR, SetConnectAttr),
        FUNCTION(SETDESCFIELD, SetDescField),
        FUNCTION(SETDESCREC, SetDescRec),
        FUNCTION(SETENVATTR, SetEnvAttr),
        FUNCTION(SETSTMTATTR, SetStmtAttr),
        FUNCTION(FETCHSCROLL, FetchScroll),
    };
#undef FUNCTION
    auto alloc = Fn<SQLRETURN(SQLSMALLINT, SQLHANDLE, SQLHANDLE*)>("SQLAllocHandle");
    auto freeH = Fn<SQLRETURN(SQLSMALLINT, SQLHANDLE)>("SQLFreeHandle");
    auto functions = Fn<SQLRETURN(SQLHDBC, SQLUSMALLINT, SQLUSMALLINT*)>("SQLGetFunctions");
    ASSERT_FALSE(HasFailure());
    SQLHANDLE env = nullptr, dbc = nullptr;
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_ENV, nullptr, &env));
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_DBC, env, &dbc));
    SQLUSMALLINT bitmap[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE] = {};
    ASSERT_EQ(SQL_SUCCESS, functions(dbc, SQL_API_ODBC3_ALL_FUNCTIONS, bitmap));
    // A function of the driver itself, not of a library it loads with it
    // (dlsym searches those too).
    Dl_info own{};
    ASSERT_NE(0, dladdr(reinterpret_cast<void*>(functions), &own));
    auto exports = [&](const char* name) {
        Dl_info where{};
        void* f = dlsym(lib, name);
        return f && dladdr(f, &where) && where.dli_fbase == own.dli_fbase;
    };
    for (const Function& f : all) {
        SQLUSMALLINT claimed = SQL_FALSE;
        ASSERT_EQ(SQL_SUCCESS, functions(dbc, f.id, &claimed));
        const bool exported = exports(f.name);
        EXPECT_EQ(exported, claimed == SQL_TRUE) << f.name;
        EXPECT_EQ(exported, SQL_FUNC_EXISTS(bitmap, f.id) == SQL_TRUE) << f.name;
    }
    // What the common clients need is there.
    for (const char* name : {"SQLBindParameter", "SQLDescribeParam", "SQLPrimaryKeys",
                             "SQLStatistics", "SQLGetTypeInfo", "SQLSpecialColumns",
                             "SQLFetchScroll", "SQLPrimaryKeysW", "SQLGetTypeInfoW"})
        EXPECT_TRUE(exports(name)) << name;
    freeH(SQL_HANDLE_DBC, dbc);
    freeH(SQL_HANDLE_ENV, env);
}

INSTANTIATE_TEST_SUITE_P(Drivers, RawEntryPoints, ::testing::ValuesIn(ProfileNames()),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

}  // namespace
}  // namespace drivertest
