// Rows of a query, delivered in the column types of the Access kind. Columns
// that stand for a table column take its declared type; expressions take
// the type of their first value.
#pragma once

#include <optional>
#include <vector>

#include "drivers/access/AccessType.h"
#include "drivers/access/SqliteStatement.h"
#include "drivers/common/base/Backend.h"

namespace accessdrv {

class AccessResultSet : public odbcdrv::ResultSet {
  public:
    // `stmt` has been stepped once; `hasRow` tells whether that gave a row.
    AccessResultSet(SqliteStatement stmt, bool hasRow);
    const std::vector<odbcdrv::ColumnInfo>& Columns() const override { return columns_; }
    bool Next(std::vector<odbcdrv::Value>& row) override;

    // The columns of a prepared query; an expression takes the type of its
    // value in the current row when `hasRow`, else that of a number.
    static void Describe(sqlite3_stmt* s, bool hasRow, std::vector<odbcdrv::ColumnInfo>& columns,
                         std::vector<AccessType>& types);

  private:
    odbcdrv::Value Convert(int column);

    SqliteStatement stmt_;
    bool pending_;  // the first row has been stepped but not delivered
    bool done_ = false;
    std::vector<odbcdrv::ColumnInfo> columns_;
    std::vector<AccessType> types_;
};

}  // namespace accessdrv
