// Owns one prepared SQLite statement and finalizes it.
#pragma once

#include <sqlite3.h>

#include <string>

namespace accessdrv {

class SqliteStatement {
  public:
    SqliteStatement() = default;
    explicit SqliteStatement(sqlite3_stmt* s) : stmt_(s) {}
    // Prepares `sql`; throws odbcdrv::DriverError when SQLite refuses it.
    SqliteStatement(sqlite3* db, const std::string& sql);
    ~SqliteStatement() { sqlite3_finalize(stmt_); }
    SqliteStatement(SqliteStatement&& o) noexcept : stmt_(o.stmt_) { o.stmt_ = nullptr; }
    SqliteStatement& operator=(SqliteStatement&& o) noexcept;
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    sqlite3_stmt* get() const { return stmt_; }
    void Bind(int index, const std::string& text);
    // True for a row, false when done; throws odbcdrv::DriverError.
    bool Step();
    void StepDone() {
        while (Step()) {
        }
    }
    std::string Text(int column) const;

  private:
    sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace accessdrv
