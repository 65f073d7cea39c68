// A result set held in memory, for the catalog functions: a fixed column
// description and rows built by the plumbing, read through the ordinary
// SQLFetch/SQLGetData path like any engine result.
#pragma once

#include <memory>

#include "drivers/common/base/Backend.h"

namespace odbcdrv {

class MemoryResultSet : public ResultSet {
  public:
    explicit MemoryResultSet(std::vector<ColumnInfo> columns) : columns_(std::move(columns)) {}
    void AddRow(std::vector<Value> row) { rows_.push_back(std::move(row)); }
    // The fetch after the first `rows` rows fails with this error (a test hook).
    void BreakAfter(size_t rows, DriverError error) {
        breakAfter_ = rows;
        breakError_ = std::make_unique<DriverError>(std::move(error));
    }
    const std::vector<ColumnInfo>& Columns() const override { return columns_; }
    bool Next(std::vector<Value>& row) override;

  private:
    std::vector<ColumnInfo> columns_;
    std::vector<std::vector<Value>> rows_;
    size_t next_ = 0;
    size_t breakAfter_ = 0;
    std::unique_ptr<DriverError> breakError_;
};

}  // namespace odbcdrv
