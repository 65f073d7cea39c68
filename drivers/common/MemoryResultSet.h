// A result set held in memory, for the catalog functions: a fixed column
// description and rows built by the plumbing, read through the ordinary
// SQLFetch/SQLGetData path like any engine result.
#pragma once

#include "common/Backend.h"

namespace odbcdrv {

class MemoryResultSet : public ResultSet {
  public:
    explicit MemoryResultSet(std::vector<ColumnInfo> columns) : columns_(std::move(columns)) {}
    void AddRow(std::vector<Value> row) { rows_.push_back(std::move(row)); }
    const std::vector<ColumnInfo>& Columns() const override { return columns_; }
    bool Next(std::vector<Value>& row) override;

  private:
    std::vector<ColumnInfo> columns_;
    std::vector<std::vector<Value>> rows_;
    size_t next_ = 0;
};

}  // namespace odbcdrv
