#include "tests/drivers/OdbcTestHandles.h"

#include <gtest/gtest.h>

namespace drivertest {

void OdbcStmt::MustExec(const std::string& sql) {
    SQLRETURN rc = Exec(sql);
    EXPECT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA)
        << sql.substr(0, 200) << "\n"
        << Error();
}

std::string OdbcStmt::Scalar(const std::string& sql) {
    MustExec(sql);
    std::string v = SQLFetch(h) == SQL_SUCCESS ? Text(1) : "<no row>";
    Close();
    return v;
}

}  // namespace drivertest
