// Data definition of the Access kind carried out on SQLite: CREATE TABLE
// with Access types, CREATE/DROP INDEX, DROP TABLE and every ALTER TABLE form
// (add, alter and drop of columns, drop of constraints). Changes SQLite
// cannot make in place are done by rebuilding the table, keeping every row
// and index.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

#include "drivers/access/AccessLexer.h"
#include "drivers/access/AccessType.h"

namespace accessdrv {

struct ColumnDef {
    std::string name;
    AccessType type;
    bool notNull = false;
    std::string defaultSql;  // SQLite expression, empty for none
};

// An index of a table, under the name Access knows it by.
struct AccessIndex {
    std::string name;
    bool unique = false;
    bool primaryKey = false;
    bool descending = false;
    std::vector<std::string> columns;
};

class AccessSchema {
  public:
    explicit AccessSchema(sqlite3* db) : db_(db) {}

    // Runs one CREATE, ALTER or DROP statement. Throws odbcdrv::DriverError.
    void Execute(const std::vector<SqlToken>& tokens);

    // The table's name as stored, found without regard to case; empty when
    // there is no such table.
    std::string StoredTableName(const std::string& table);
    // The stored names of the application's tables, in name order.
    std::vector<std::string> TableNames();
    // Columns of a stored table in ordinal order.
    std::vector<ColumnDef> Columns(const std::string& storedTable);
    // Indexes of a stored table, in name order (the driver's own index of a
    // counter column is none of Access's).
    std::vector<AccessIndex> Indexes(const std::string& storedTable);

    static std::string ColumnSql(const ColumnDef& c);

  private:
    const SqlToken& Peek(size_t ahead = 0) const;
    bool Accept(const char* word);
    void Expect(const char* word);
    std::string Name();
    void ExpectEnd();
    [[noreturn]] void Syntax(const std::string& what) const;
    ColumnDef ColumnDefinition(std::vector<std::string>* uniqueIndexes, bool* primaryKey,
                               std::string* constraintName);
    std::vector<std::string> NameList();
    std::string RequireTable(const std::string& table);

    void CreateTable();
    void CreateIndex(bool unique);
    void AlterTable();
    void DropIndex();
    void DropTable();
    void MakeIndex(const std::string& table, const std::string& index,
                   const std::vector<std::string>& cols, bool unique, bool primaryKey = false);
    // The primary key is the index named PrimaryKey, as Access names it, or
    // the one the driver's table records for the table.
    void ForgetPrimaryKey(const std::string& table, const std::string* index);
    void MakeCounterTrigger(const std::string& table, const std::string& column);
    void Exec(const std::string& sql);
    // Replaces the table by one with `cols`; `sources[i]` is the SQLite
    // expression for new column i over the old table, empty for no value.
    void Rebuild(const std::string& table, const std::vector<ColumnDef>& cols,
                 const std::vector<std::string>& sources, const std::string& droppedColumn);

    sqlite3* db_;
    std::vector<SqlToken> t_;
    size_t pos_ = 0;
};

}  // namespace accessdrv
