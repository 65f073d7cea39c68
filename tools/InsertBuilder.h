// Builds one literal insert statement. Values go in as SQL literals; date and
// time literals are quoted with "'" for Firebird and "#" for Access.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "tools/PracticeKind.h"

class InsertBuilder {
  public:
    InsertBuilder(PracticeKind kind, const std::string& table);

    InsertBuilder& Int(const std::string& column, int64_t value);
    // Apostrophes are doubled; the text is taken as code page 1252 bytes.
    InsertBuilder& Text(const std::string& column, const std::string& value);
    InsertBuilder& Real(const std::string& column, double value, int decimals = 2);
    // Calendar parts of a stored date (seconds since 1970, UTC).
    InsertBuilder& Date(const std::string& column, int64_t seconds);
    InsertBuilder& Time(const std::string& column, int64_t seconds);
    InsertBuilder& Timestamp(const std::string& column, int64_t seconds);

    std::string Sql() const;
    const std::string& Table() const { return table_; }
    const std::string& Columns() const { return columns_; }
    const std::string& Values() const { return values_; }

  private:
    InsertBuilder& Add(const std::string& column, const std::string& literal);
    static std::tm Utc(int64_t seconds);

    char quote_;
    std::string table_;
    std::string columns_;
    std::string values_;
};
