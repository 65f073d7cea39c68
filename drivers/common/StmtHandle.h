// A statement handle: executes SQL texts on its connection and serves the
// rows of the current result set column by column.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "common/DbcHandle.h"
#include "common/StringOut.h"
#include "common/ValueConverter.h"

namespace odbcdrv {

class StmtHandle : public Handle {
  public:
    explicit StmtHandle(DbcHandle& dbc);
    ~StmtHandle() override;

    SQLRETURN ExecDirect(const std::string& sql);
    SQLRETURN Prepare(const std::string& sql);
    SQLRETURN Execute();
    SQLRETURN Fetch();
    SQLRETURN GetData(SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER target,
                      SQLLEN bufferLength, SQLLEN* indicator);
    SQLRETURN BindCol(SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER target,
                      SQLLEN bufferLength, SQLLEN* indicator);
    SQLRETURN NumResultCols(SQLSMALLINT* count);
    SQLRETURN DescribeCol(SQLUSMALLINT column, SQLPOINTER name, SQLSMALLINT bufferLength,
                          SQLSMALLINT* nameLength, SQLSMALLINT* dataType, SQLULEN* columnSize,
                          SQLSMALLINT* decimalDigits, SQLSMALLINT* nullable,
                          TextForm form = TextForm::Narrow);
    SQLRETURN ColAttribute(SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER charValue,
                           SQLSMALLINT bufferLength, SQLSMALLINT* stringLength,
                           SQLLEN* numericValue, TextForm form = TextForm::Narrow);
    SQLRETURN RowCount(SQLLEN* count);
    SQLRETURN Columns(const std::string& table, const std::string* columnPattern);
    // SQLTables: the tables whose names match `tablePattern` (null: all), when
    // `types` is null or names TABLE; the special calls that list catalogs,
    // schemas or table types.
    SQLRETURN Tables(const std::string* catalog, const std::string* schema,
                     const std::string* tablePattern, const std::string* types);
    SQLRETURN SetAttr(SQLINTEGER attribute, SQLPOINTER value);
    SQLRETURN GetAttr(SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER bufferLength,
                      SQLINTEGER* length);
    SQLRETURN FreeStmt(SQLUSMALLINT option);
    SQLRETURN CloseCursor();
    SQLRETURN MoreResults();
    SQLRETURN Cancel();
    SQLRETURN NumParams(SQLSMALLINT* count);

    // Drops the current result set (its engine cursor and transaction).
    void CloseResults();
    bool OpenedWide() const override { return dbc.OpenedWide(); }

    DbcHandle& dbc;

  private:
    struct Binding {
        SQLSMALLINT cType = 0;
        SQLPOINTER target = nullptr;
        SQLLEN bufferLength = 0;
        SQLLEN* indicator = nullptr;
    };

    SQLRETURN Run(const std::string& sql);
    void SetResult(std::unique_ptr<ResultSet> rows);
    const ColumnInfo* Column(SQLUSMALLINT column);

    std::unique_ptr<ResultSet> rows_;
    // The result's columns as this connection describes them.
    std::vector<ColumnInfo> columns_;
    std::vector<Value> row_;
    std::vector<GetDataState> getState_;
    std::vector<Binding> bindings_;
    bool onRow_ = false;
    bool atEnd_ = false;
    SQLULEN fetched_ = 0;
    SQLLEN rowCount_ = -1;
    std::string prepared_;
    bool isPrepared_ = false;
    std::atomic<bool> executing_{false};

    SQLULEN queryTimeout_ = 0;
    SQLULEN maxRows_ = 0;
    SQLULEN maxLength_ = 0;
    SQLULEN* rowsFetchedPtr_ = nullptr;
    SQLUSMALLINT* rowStatusPtr_ = nullptr;
};

}  // namespace odbcdrv
