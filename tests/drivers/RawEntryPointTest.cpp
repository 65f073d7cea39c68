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

INSTANTIATE_TEST_SUITE_P(Drivers, RawEntryPoints, ::testing::ValuesIn(ProfileNames()),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

}  // namespace
}  // namespace drivertest
