// One statement of Access SQL on a connection of the Access kind: split into
// tokens and translated once, then run with the application's values bound
// to its markers through SQLite. Data definition runs through AccessSchema.
#pragma once

#include <sqlite3.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "drivers/access/AccessLexer.h"
#include "drivers/access/SqliteStatement.h"
#include "drivers/common/base/Backend.h"

namespace accessdrv {

class AccessStatement : public odbcdrv::PreparedStatement {
  public:
    // Throws odbcdrv::DriverError for text that is no statement of the
    // dialect. With `check` SQLite compiles the translation at once, so that
    // errors show and the result columns are known before the execution.
    // `conn` describes the tables; `beginIfManual` opens the connection's
    // transaction that an execution without autocommit joins.
    AccessStatement(odbcdrv::Connection& conn, std::function<void()> beginIfManual, sqlite3* db,
                    const std::string& sql1252, bool check);

    size_t ParamCount() const override { return markers_; }
    // The type of the table column a marker is compared with or assigned to
    // ("col = ?", "insert into t (col) values (?)"); text otherwise.
    odbcdrv::ColumnInfo DescribeParam(size_t i) override;
    const std::vector<odbcdrv::ColumnInfo>& Columns() const override { return columns_; }
    odbcdrv::ExecResult Execute(const std::vector<odbcdrv::Value>& params) override;

  private:
    SqliteStatement Compile() const;
    // The tables the statement names (after INTO, UPDATE, FROM and JOIN).
    std::vector<std::string> Tables() const;
    // The tokens with the engine's text order (AccessCollation) given to
    // text compared with <, >, <=, >= or BETWEEN and to the argument of
    // min() and max(): when an operand is a text literal or a text column of
    // the tables, or the argument an expression. Numbers and dates keep
    // their order, and the indexes that serve it.
    std::vector<SqlToken> TextOrder();
    // The table column that marker i stands for, or empty.
    std::string ColumnOfMarker(size_t i, std::vector<std::string>& tables,
                               bool* pattern = nullptr) const;
    // The table column that the token at `at` (a marker or a literal) is
    // compared with ("col = ?", "col between ? and ?", "col in (?, ?)") or
    // assigned to, or empty; `tables` gets the statement's tables, `pattern`
    // whether the comparison is LIKE.
    std::string ColumnAt(size_t at, std::vector<std::string>& tables,
                         bool* pattern = nullptr) const;
    // The description of a column of one of the tables, or null.
    const odbcdrv::ColumnInfo* FindColumn(const std::string& column,
                                          const std::vector<std::string>& tables);
    // Text literals in a date position ("datum = ' 2004-03-31 '") become
    // date literals by the rule for character parameters: ODBC's forms,
    // blanks around them ignored; 22007 for text of no such form, 22008 for
    // a date that does not exist.
    void DatesFromText();

    std::map<std::string, std::vector<odbcdrv::ColumnInfo>> tableColumns_;

    odbcdrv::Connection& conn_;
    std::function<void()> beginIfManual_;
    sqlite3* db_;
    std::vector<SqlToken> tokens_;
    std::string sqlite_;  // the translation (not for data definition)
    bool define_ = false;
    bool query_ = false;
    bool searched_ = false;
    bool insert_ = false;
    size_t markers_ = 0;
    std::vector<odbcdrv::ColumnInfo> columns_;
    // The compiled statement of the last execution of a statement without
    // a result, reset, for the next: SQLite compiles it once, not per
    // execution.
    SqliteStatement reusable_;
};

}  // namespace accessdrv
