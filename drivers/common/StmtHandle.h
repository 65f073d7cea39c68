// A statement handle: executes SQL texts on its connection, with parameters
// the application binds (one set or an array of sets, values given at once
// or in pieces at execution time), and serves the rows of the current result
// set column by column. The catalog functions serve their rows the same way.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/DbcHandle.h"
#include "common/ParameterBindings.h"
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
    SQLRETURN FetchScroll(SQLSMALLINT orientation);
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
    SQLRETURN SetAttr(SQLINTEGER attribute, SQLPOINTER value);
    SQLRETURN GetAttr(SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER bufferLength,
                      SQLINTEGER* length);
    SQLRETURN FreeStmt(SQLUSMALLINT option);
    SQLRETURN CloseCursor();
    SQLRETURN MoreResults();
    SQLRETURN Cancel();

    // Parameters (StmtHandleParams.cpp).
    SQLRETURN BindParameter(SQLUSMALLINT number, SQLSMALLINT ioType, SQLSMALLINT cType,
                            SQLSMALLINT sqlType, SQLULEN columnSize, SQLSMALLINT decimalDigits,
                            SQLPOINTER value, SQLLEN bufferLength, SQLLEN* indicator);
    SQLRETURN NumParams(SQLSMALLINT* count);
    SQLRETURN DescribeParam(SQLUSMALLINT number, SQLSMALLINT* dataType, SQLULEN* size,
                            SQLSMALLINT* decimalDigits, SQLSMALLINT* nullable);
    SQLRETURN ParamData(SQLPOINTER* token);
    SQLRETURN PutData(SQLPOINTER data, SQLLEN length);

    // Catalog functions (StmtHandleCatalog.cpp). Text arguments are code
    // page 1252; a null pointer stands for an argument the application left
    // out. Table and column arguments of SQLColumns and SQLTables are search
    // patterns (SearchPattern.h); the others are names.
    SQLRETURN Columns(const std::string* table, const std::string* column);
    SQLRETURN Tables(const std::string* catalog, const std::string* schema,
                     const std::string* tablePattern, const std::string* types);
    SQLRETURN PrimaryKeys(const std::string* table);
    SQLRETURN Statistics(const std::string* table, SQLUSMALLINT unique);
    SQLRETURN SpecialColumns(SQLUSMALLINT identifierType, const std::string* table,
                             SQLUSMALLINT nullable);
    SQLRETURN GetTypeInfo(SQLSMALLINT dataType);
    SQLRETURN ForeignKeys();
    SQLRETURN Procedures();
    SQLRETURN ProcedureColumns();

    // Drops the current result set (its engine cursor and transaction).
    void CloseResults();
    // Drops the result set, a pending execution and the prepared statement:
    // the connection is about to end.
    void DropEngineState();
    bool OpenedWide() const override { return dbc.OpenedWide(); }
    const ClientCharset& Charset() const override { return dbc.Charset(); }

    DbcHandle& dbc;

  private:
    struct Binding {
        SQLSMALLINT cType = 0;
        SQLPOINTER target = nullptr;
        SQLLEN bufferLength = 0;
        SQLLEN* indicator = nullptr;
    };
    // An execution under way over the parameter sets, waiting for values
    // that the application sends at execution time.
    struct Pending {
        size_t markers = 0;
        SQLULEN row = 0;
        bool valuesReady = false;
        std::vector<Value> values;
        std::vector<size_t> atExecution;  // markers of this set whose values come in pieces
        size_t next = 0;                  // index into atExecution of the marker being sent
        bool sending = false;             // SQLParamData has asked for atExecution[next]
        std::string pieces;
        bool piecesNull = false;
        bool piecesSent = false;
        SQLLEN rowCount = -1;
        bool searched = false;
    };

    // Refuses calls while an execution waits for data (HY010) or a cursor
    // is open (24000); false after recording the error.
    bool Ready(bool cursorMayBeOpen = false);
    SQLRETURN Run(const std::string& sql);
    // Executes the prepared statement once per parameter set.
    SQLRETURN StartExecution();
    SQLRETURN ContinueExecution();
    SQLRETURN SetFailed(const DriverError& e);
    void SetResult(std::unique_ptr<ResultSet> rows);
    // The columns as this connection describes them (wide types when it
    // was opened through the wide functions).
    std::vector<ColumnInfo> Described(std::vector<ColumnInfo> columns) const;
    const ColumnInfo* Column(SQLUSMALLINT column);
    // Common start of every catalog function; false after recording an error.
    bool BeginCatalog();

    std::unique_ptr<ResultSet> rows_;
    // The result's columns as this connection describes them; before an
    // execution those of the prepared statement.
    std::vector<ColumnInfo> columns_;
    std::vector<Value> row_;
    std::vector<GetDataState> getState_;
    std::vector<Binding> bindings_;
    bool onRow_ = false;
    bool atEnd_ = false;
    SQLULEN fetched_ = 0;
    SQLLEN rowCount_ = -1;

    std::unique_ptr<PreparedStatement> prepared_;
    std::string preparedSql_;
    bool isPrepared_ = false;  // SQLPrepare succeeded: SQLExecute may run it
    ParameterBindings params_;
    std::optional<Pending> pending_;
    std::atomic<bool> executing_{false};

    SQLULEN queryTimeout_ = 0;
    SQLULEN maxRows_ = 0;
    SQLULEN maxLength_ = 0;
    bool metadataId_ = false;
    SQLULEN* rowsFetchedPtr_ = nullptr;
    SQLUSMALLINT* rowStatusPtr_ = nullptr;
};

}  // namespace odbcdrv
