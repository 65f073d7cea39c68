// A fresh database of the Access kind in a temporary folder, opened through
// the driver's backend, with helpers to run statements and read rows.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "drivers/common/base/Backend.h"
#include "tests/fixtures/TestEnv.h"

namespace accesstest {

inline odbcdrv::ConnectKeys Keys(const std::string& path, const std::string& pwd, bool create) {
    odbcdrv::ConnectKeys k{
        {"DRIVER", "{Microsoft Access Driver (*.mdb)}"}, {"DBQ", path}, {"PWD", pwd}};
    if (create) k["CREATEDB"] = "1";
    return k;
}

class AccessTestDb : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = (dir_.path() / "test.mdb").string();
        db_ = odbcdrv::TheBackend().Connect(Keys(path_, "lamp(hurz)", true));
    }
    odbcdrv::ExecResult Exec(const std::string& sql) { return db_->Execute(sql); }
    // Runs a query and returns every row.
    std::vector<std::vector<odbcdrv::Value>> Rows(const std::string& sql) {
        auto r = db_->Execute(sql);
        std::vector<std::vector<odbcdrv::Value>> rows;
        std::vector<odbcdrv::Value> row;
        while (r.rows->Next(row)) rows.push_back(row);
        return rows;
    }
    int64_t Int(const std::string& sql) {
        auto rows = Rows(sql);
        EXPECT_EQ(rows.size(), 1u) << sql;
        return rows.empty() ? -999 : rows[0][0].i;
    }
    std::string Text(const std::string& sql) {
        auto rows = Rows(sql);
        EXPECT_EQ(rows.size(), 1u) << sql;
        return rows.empty() ? "<none>" : rows[0][0].s;
    }
    // The SQLSTATE and message of a statement that must fail.
    odbcdrv::DriverError Fails(const std::string& sql) {
        try {
            db_->Execute(sql);
        } catch (const odbcdrv::DriverError& e) {
            return e;
        }
        ADD_FAILURE() << "statement did not fail: " << sql;
        return odbcdrv::DriverError("", "");
    }

    testenv::TempDir dir_{"tamaro-access"};
    std::string path_;
    std::unique_ptr<odbcdrv::Connection> db_;
};

}  // namespace accesstest
