// A fixture for driver tests that run once per registered driver profile: a
// fresh database of the profile's kind in a temporary folder, a connection to
// it through unixODBC, one statement, and helpers for the calls the tests
// repeat.
#pragma once

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/drivers/DriverProfile.h"
#include "tests/drivers/OdbcTestHandles.h"
#include "tests/fixtures/FirebirdSupport.h"
#include "tests/fixtures/TestEnv.h"

namespace drivertest {

class DriverFixture : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        testenv::UseBuiltDrivers();
        testenv::IsolateFirebirdLocks();
        file = dir.path() / ("test" + P().extension);
        connection = std::make_unique<OdbcConn>();
        SQLRETURN rc = connection->Connect(P().connectString(file, true));
        ASSERT_TRUE(SQL_SUCCEEDED(rc)) << Diag(SQL_HANDLE_DBC, connection->dbc);
        st = std::make_unique<OdbcStmt>(*connection);
    }
    const DriverProfile& P() const { return ProfileNamed(GetParam()); }
    std::string Varchar(int n) const { return P().varcharType + "(" + std::to_string(n) + ")"; }
    // The DDL type of the profile's type case with this SQL type.
    std::string TypeOf(SQLSMALLINT sqlType) const {
        for (const TypeCase& t : P().types)
            if (t.sqlType == sqlType) return t.ddl;
        ADD_FAILURE() << "no type case for SQL type " << sqlType;
        return "";
    }
    bool IsFirebird() const { return P().extension == ".fdb"; }
    std::string FirstState(SQLSMALLINT type, SQLHANDLE h) const {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLCHAR message[1024];
        SQLSMALLINT length = 0;
        SQLGetDiagRec(type, h, 1, state, &native, message, sizeof message, &length);
        return reinterpret_cast<char*>(state);
    }
    std::string State() const { return FirstState(SQL_HANDLE_STMT, st->h); }
    // Every row of the current result as text, columns joined by "|".
    std::vector<std::string> Rows(OdbcStmt& s) {
        std::vector<std::string> rows;
        SQLSMALLINT columns = 0;
        SQLNumResultCols(s.h, &columns);
        while (SQLFetch(s.h) == SQL_SUCCESS) {
            std::string row;
            for (SQLUSMALLINT c = 1; c <= columns; ++c) row += (c > 1 ? "|" : "") + s.Text(c);
            rows.push_back(row);
        }
        s.Close();
        return rows;
    }
    std::vector<std::string> Rows() { return Rows(*st); }

    testenv::TempDir dir{"tamaro-drv"};
    std::filesystem::path file;
    std::unique_ptr<OdbcConn> connection;
    std::unique_ptr<OdbcStmt> st;
};

}  // namespace drivertest
