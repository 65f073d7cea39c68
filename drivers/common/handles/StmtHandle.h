// A statement handle: executes SQL texts on its connection, with parameters
// the application binds (one set or an array of sets, values given at once
// or in pieces at execution time), and serves the rows of the current result
// set in rowsets through bound columns or column by column. The cursor moves
// forward only, or is static and scrolls. The catalog functions serve their
// rows the same way.
//
// Its code stands in files by what it does: the life of the statement and
// its execution (StmtHandle.cpp), parameters (StmtHandleParams.cpp), the
// result's description (StmtHandleColumns.cpp), the cursor
// (StmtHandleCursor.cpp), the rowset's values into the application's buffers
// (StmtHandleData.cpp), the statement attributes (StmtHandleAttributes.cpp)
// and the catalog functions (StmtHandleCatalog.cpp).
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "drivers/common/handles/DbcHandle.h"
#include "drivers/common/handles/DbcStatement.h"
#include "drivers/common/handles/ParameterBindings.h"
#include "drivers/common/values/StringOut.h"
#include "drivers/common/values/ValueConverter.h"

namespace odbcdrv {

class StmtHandle final : public DbcStatement {
  public:
    // The most rows a rowset holds: a larger SQL_ATTR_ROW_ARRAY_SIZE or
    // SQL_ROWSET_SIZE is lowered to it with 01S02.
    static constexpr SQLULEN kMaxRowsetSize = 65536;

    explicit StmtHandle(DbcHandle& dbc);
    ~StmtHandle() override;

    SQLRETURN ExecDirect(const std::string& sql);
    SQLRETURN Prepare(const std::string& sql);
    SQLRETURN Execute();
    SQLRETURN Fetch();
    SQLRETURN FetchScroll(SQLSMALLINT orientation, SQLLEN offset);
    // ODBC 2's fetch (PHP's odbc functions call it): a rowset of
    // SQL_ROWSET_SIZE rows, its count and row status into the arguments; a
    // bookmark fetch takes the bookmark as the offset.
    SQLRETURN ExtendedFetch(SQLUSMALLINT orientation, SQLLEN offset, SQLULEN* rowCount,
                            SQLUSMALLINT* rowStatus);
    SQLRETURN SetPos(SQLSETPOSIROW row, SQLUSMALLINT operation, SQLUSMALLINT lock);
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
    // Called from any thread without the turn (SQLCancel): stops the engine
    // while this statement runs, otherwise ends an execution waiting for
    // values and the cursor, which the driver manager takes for closed after
    // a cancel.
    SQLRETURN Cancel();
    std::mutex& Turn() override { return dbc.Turn(); }
    void Enter() override;
    void Leave(SQLRETURN rc) override;

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

    void CloseResults() override;
    void SetMetadataId(bool on) override { metadataId_ = on; }
    void DropEngineState() override;
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
    // Where the current rowset stands in a static cursor's result.
    enum class Place { BeforeStart, OnRowset, AfterEnd };
    // Where a fetch puts its rowset: how many rows, and the row status
    // array and rows-fetched count it fills (the statement's attributes for
    // SQLFetch and SQLFetchScroll, SQLExtendedFetch's own arguments).
    struct RowsetOut {
        SQLULEN size = 1;
        SQLUSMALLINT* status = nullptr;
        SQLULEN* fetched = nullptr;
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
    // The text the engine runs: escape sequences translated unless
    // SQL_ATTR_NOSCAN is on; a statement of more markers than
    // SQLNumParams can count is refused.
    std::string EngineText(const std::string& sql);
    void CheckMarkers(size_t markers) const;
    // Runs an engine call under the statement's query time-out; a call the
    // time-out cancelled fails with HYT00.
    void Engine(const std::function<void()>& f);
    // A character value for marker i that is a date, time or timestamp
    // written as ODBC writes it, as that value when the marker stands for a
    // datetime column.
    void DatetimeFromText(size_t i, Value& v);
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
    // SQL_ATTR_CONCURRENCY, SQL_ATTR_CURSOR_TYPE and the other attributes
    // that shape a cursor, set while none is open.
    SQLRETURN SetCursorShape(SQLINTEGER attribute, SQLULEN v);

    // Cursor (StmtHandleCursor.cpp).
    // Moves the cursor as SQLFetchScroll does and delivers the rowset into
    // `out`; `bookmark` is the row a bookmark fetch starts from.
    SQLRETURN FetchRows(SQLSMALLINT orientation, SQLLEN offset, SQLLEN bookmark,
                        const RowsetOut& out);
    // The next rowset of a forward-only cursor.
    SQLRETURN FetchForward();
    // The first row (1-based) of the rowset a static cursor moves to, as
    // ODBC's positioning rules place it: 0 before the start, kAfterEnd after
    // the end. `beforeFirstRowset` is set when the move went back past the
    // first rowset (01S06).
    long long ScrollTarget(SQLSMALLINT orientation, SQLLEN offset, bool& beforeFirstRowset);
    // The next row from the engine, within SQL_ATTR_MAX_ROWS.
    bool ReadEngineRow(std::vector<Value>& row);
    // A static cursor's rows up to the 0-based `index` read into the cache;
    // false when the result has fewer rows.
    bool Cache(size_t index);
    // Reads every row of a static cursor; their number.
    size_t CacheAll();
    // The row `index` (0-based) of a static cursor's result.
    const std::vector<Value>& Cached(size_t index) const;
    // Makes the rows [start, start + count) of a static cursor the rowset.
    void SetRowset(size_t start, size_t count);
    // Values into the application's buffers (StmtHandleData.cpp).
    // Delivers row k of the rowset into the bound columns.
    SQLRETURN DeliverBound(size_t k, bool& rowWarned);
    // Fills the bound columns, status array and rows-fetched count for the
    // current rowset.
    SQLRETURN DeliverRowset(SQLRETURN rc);
    SQLRETURN NoRowset(Place place);
    SQLULEN RowsetSize() const { return out_.size; }
    // Sets a rowset size, lowered with 01S02 to what a fetch serves.
    SQLRETURN SetRowsetSize(SQLULEN requested, SQLULEN& size);
    // The bookmark of row k of the rowset: its 1-based row number.
    SQLUINTEGER Bookmark(size_t k) const;
    const std::vector<Value>& CurrentRow() const { return *rowset_[pos_]; }

    std::unique_ptr<ResultSet> rows_;
    // The result's columns as this connection describes them; before an
    // execution those of the prepared statement.
    std::vector<ColumnInfo> columns_;
    // The rows of the current rowset; the forward-only cursor keeps them in
    // forwardRows_, the static one in its cache.
    std::vector<const std::vector<Value>*> rowset_;
    std::vector<std::vector<Value>> forwardRows_;
    size_t pos_ = 0;  // the row of the rowset that SQLGetData reads
    std::vector<GetDataState> getState_;
    std::vector<Binding> bindings_;
    Binding bookmarkBinding_;
    bool staticCursor_ = false;  // the current result scrolls
    bool engineDone_ = false;    // the engine has delivered its last row
    SQLULEN fetched_ = 0;        // rows read from the engine
    Place place_ = Place::BeforeStart;
    RowsetOut out_;           // of the last fetch; SQLSetPos refreshes into it
    size_t rowsetStart_ = 0;  // 0-based row number of the rowset's first row
    std::deque<std::vector<Value>> cache_;
    size_t cacheFirst_ = 0;  // row number of cache_.front()
    size_t cacheBytes_ = 0;
    std::atomic<SQLLEN> rowCount_{-1};  // also read by SQLGetDiagField from any thread

    std::unique_ptr<PreparedStatement> prepared_;
    std::string preparedSql_;
    bool isPrepared_ = false;  // SQLPrepare succeeded: SQLExecute may run it
    ParameterBindings params_;
    std::optional<Pending> pending_;
    std::atomic<bool> executing_{false};
    // A cancel came while a call held the connection's turn: the end of that
    // call, or the start of this statement's next one, acts on it.
    std::atomic<bool> cancelRequested_{false};

    // Marker types of the prepared statement, asked of the engine once each
    // when a character value may be a datetime: -1 unknown.
    std::vector<int> markerTypes_;

    SQLULEN queryTimeout_ = 0;
    SQLULEN maxRows_ = 0;
    SQLULEN maxLength_ = 0;
    bool metadataId_ = false;
    bool noScan_ = false;
    SQLULEN cursorType_ = SQL_CURSOR_FORWARD_ONLY;
    SQLULEN sensitivity_ = SQL_INSENSITIVE;
    SQLULEN rowArraySize_ = 1;
    SQLULEN rowsetSize2_ = 1;  // SQL_ROWSET_SIZE of ODBC 2's SQLExtendedFetch
    SQLULEN rowBindType_ = SQL_BIND_BY_COLUMN;
    SQLULEN* rowBindOffset_ = nullptr;
    SQLUSMALLINT* rowOperationPtr_ = nullptr;
    SQLULEN useBookmarks_ = SQL_UB_OFF;
    SQLPOINTER fetchBookmarkPtr_ = nullptr;
    SQLULEN retrieveData_ = SQL_RD_ON;
    SQLULEN simulateCursor_ = SQL_SC_UNIQUE;
    SQLULEN keysetSize_ = 0;
    SQLULEN* rowsFetchedPtr_ = nullptr;
    SQLUSMALLINT* rowStatusPtr_ = nullptr;
};

}  // namespace odbcdrv
