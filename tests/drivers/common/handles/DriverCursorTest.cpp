// Cursors and attributes as ODBC defines them, once per driver profile
// through unixODBC: rowsets in bound arrays with bind offsets, static
// cursors that scroll every way, attributes kept, applied, refused or
// substituted, and SQLDisconnect inside a transaction.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "tests/drivers/DriverFixture.h"

namespace drivertest {
namespace {

class DriverCursors : public DriverFixture {
  protected:
    // A table n of the numbers 1 to `rows`, with their names.
    void Numbers(int rows) {
        st->MustExec("create table n (i integer, name " + Varchar(20) + ")");
        for (int i = 1; i <= rows; ++i)
            st->MustExec("insert into n (i, name) values (" + std::to_string(i) + ", 'Nr. " +
                         std::to_string(i) + "')");
    }
    SQLRETURN Attr(SQLINTEGER attribute, SQLULEN value) {
        return SQLSetStmtAttr(st->h, attribute, reinterpret_cast<SQLPOINTER>(value), 0);
    }
    SQLULEN ReadAttr(SQLINTEGER attribute) {
        SQLULEN v = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(st->h, attribute, &v, 0, nullptr));
        return v;
    }
    SQLUINTEGER ConnAttr(SQLINTEGER attribute) {
        SQLUINTEGER v = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(connection->dbc, attribute, &v, 0, nullptr));
        return v;
    }
};

TEST_P(DriverCursors, BoundRowsetsLandWhereTheOffsetsAndBindTypesSay) {
    Numbers(5);
    // One row per fetch, the offset moving the buffers: each row lands in
    // its own element, data and indicator alike.
    SQLBIGINT values[3] = {};
    SQLLEN indicators[3] = {};
    SQLULEN offset = 0;
    st->MustExec("select i from n where i <= 3 order by i");
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(st->h, 1, SQL_C_SBIGINT, values, 0, indicators));
    ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_ROW_BIND_OFFSET_PTR, reinterpret_cast<SQLULEN>(&offset)));
    for (SQLULEN k = 0; k < 3; ++k) {
        offset = k * sizeof(SQLBIGINT);
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(st->h));
    }
    EXPECT_EQ((std::vector<SQLBIGINT>{1, 2, 3}), std::vector<SQLBIGINT>(values, values + 3));
    EXPECT_EQ((std::vector<SQLLEN>{8, 8, 8}), std::vector<SQLLEN>(indicators, indicators + 3));
    st->Close();
    SQLFreeStmt(st->h, SQL_UNBIND);

    // Rowsets of three rows bound by row, behind an offset of one record.
    struct Record {
        SQLINTEGER i;
        SQLLEN iInd;
        char name[12];
        SQLLEN nameInd;
    } records[4] = {};
    SQLULEN fetched = 0;
    SQLUSMALLINT status[3] = {};
    offset = sizeof(Record);
    ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_ROW_BIND_TYPE, sizeof(Record)));
    ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_ROW_ARRAY_SIZE, 3));
    ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_ROWS_FETCHED_PTR, reinterpret_cast<SQLULEN>(&fetched)));
    ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_ROW_STATUS_PTR, reinterpret_cast<SQLULEN>(status)));
    st->MustExec("select i, name from n order by i");
    SQLBindCol(st->h, 1, SQL_C_SLONG, &records[0].i, 0, &records[0].iInd);
    SQLBindCol(st->h, 2, SQL_C_CHAR, records[0].name, sizeof records[0].name, &records[0].nameInd);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st->h));
    EXPECT_EQ(3u, fetched);
    EXPECT_EQ(0, records[0].i);
    EXPECT_EQ((std::vector<int>{1, 2, 3}),
              (std::vector<int>{records[1].i, records[2].i, records[3].i}));
    EXPECT_STREQ("Nr. 3", records[3].name);
    EXPECT_EQ(5, records[3].nameInd);
    // SQLGetData reads the row SQLSetPos positions on.
    ASSERT_EQ(SQL_SUCCESS, SQLSetPos(st->h, 2, SQL_POSITION, SQL_LOCK_NO_CHANGE));
    EXPECT_EQ("Nr. 2", st->Text(2));
    EXPECT_EQ(SQL_ERROR, SQLSetPos(st->h, 4, SQL_POSITION, SQL_LOCK_NO_CHANGE));
    EXPECT_EQ("HY107", State());
    EXPECT_EQ(SQL_ERROR, SQLSetPos(st->h, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE));
    EXPECT_EQ("HYC00", State());
    // The last rowset is short; the status array says which rows are there.
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st->h));
    EXPECT_EQ(2u, fetched);
    EXPECT_EQ((std::vector<SQLUSMALLINT>{SQL_ROW_SUCCESS, SQL_ROW_SUCCESS, SQL_ROW_NOROW}),
              std::vector<SQLUSMALLINT>(status, status + 3));
    EXPECT_EQ(5, records[2].i);
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(st->h));
    st->Close();
    SQLFreeStmt(st->h, SQL_UNBIND);

    // Bound by column, three rows to the array.
    SQLINTEGER column[3] = {};
    SQLLEN columnInd[3] = {};
    ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_ROW_BIND_TYPE, SQL_BIND_BY_COLUMN));
    ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_ROW_BIND_OFFSET_PTR, 0));
    st->MustExec("select i from n where i > 2 order by i");
    SQLBindCol(st->h, 1, SQL_C_SLONG, column, 0, columnInd);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st->h));
    EXPECT_EQ((std::vector<SQLINTEGER>{3, 4, 5}), std::vector<SQLINTEGER>(column, column + 3));
    st->Close();
    SQLFreeStmt(st->h, SQL_UNBIND);
    EXPECT_EQ(SQL_ERROR, Attr(SQL_ATTR_ROW_ARRAY_SIZE, 0));
    EXPECT_EQ("HY024", State());
    EXPECT_EQ(3u, ReadAttr(SQL_ATTR_ROW_ARRAY_SIZE));
    ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_ROW_ARRAY_SIZE, 1));
    Attr(SQL_ATTR_ROWS_FETCHED_PTR, 0);
    Attr(SQL_ATTR_ROW_STATUS_PTR, 0);

    // Parameters behind an offset, bound by row.
    struct Param {
        SQLINTEGER i;
        SQLLEN ind;
    } params[2] = {{0, 0}, {41, 0}};
    SQLULEN paramOffset = sizeof(Param);
    ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_PARAM_BIND_TYPE, sizeof(Param)));
    ASSERT_EQ(SQL_SUCCESS,
              Attr(SQL_ATTR_PARAM_BIND_OFFSET_PTR, reinterpret_cast<SQLULEN>(&paramOffset)));
    SQLBindParameter(st->h, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &params[0].i, 0,
                     &params[0].ind);
    st->MustExec("insert into n (i, name) values (?, 'offset')");
    SQLFreeStmt(st->h, SQL_RESET_PARAMS);
    EXPECT_EQ("41", st->Scalar("select i from n where name = 'offset'"));
}

TEST_P(DriverCursors, StaticCursorsScrollEveryWayAndForwardOnlyOnesDoNot) {
    Numbers(10);
    SQLUINTEGER scroll = 0, static1 = 0;
    SQLGetInfo(connection->dbc, SQL_SCROLL_OPTIONS, &scroll, sizeof scroll, nullptr);
    SQLGetInfo(connection->dbc, SQL_STATIC_CURSOR_ATTRIBUTES1, &static1, sizeof static1, nullptr);
    EXPECT_EQ(SQLUINTEGER(SQL_SO_FORWARD_ONLY | SQL_SO_STATIC), scroll);
    EXPECT_EQ(SQLUINTEGER(SQL_CA1_NEXT | SQL_CA1_ABSOLUTE | SQL_CA1_RELATIVE | SQL_CA1_BOOKMARK |
                          SQL_CA1_LOCK_NO_CHANGE | SQL_CA1_POS_POSITION | SQL_CA1_POS_REFRESH),
              static1);

    // Forward only: the next rowset and nothing else.
    st->MustExec("select i from n order by i");
    EXPECT_EQ(SQL_ERROR, SQLFetchScroll(st->h, SQL_FETCH_PRIOR, 0));
    EXPECT_EQ("HY106", State());
    st->Close();

    // A keyset-driven cursor becomes a static one, and says so.
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Attr(SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_KEYSET_DRIVEN));
    EXPECT_EQ("01S02", State());
    EXPECT_EQ(SQLULEN(SQL_CURSOR_STATIC), ReadAttr(SQL_ATTR_CURSOR_TYPE));
    EXPECT_EQ(SQLULEN(SQL_SCROLLABLE), ReadAttr(SQL_ATTR_CURSOR_SCROLLABLE));
    ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_USE_BOOKMARKS, SQL_UB_VARIABLE));
    ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_ROW_ARRAY_SIZE, 3));
    SQLINTEGER values[3] = {};
    SQLULEN fetched = 0;
    Attr(SQL_ATTR_ROWS_FETCHED_PTR, reinterpret_cast<SQLULEN>(&fetched));
    st->MustExec("select i from n order by i");
    SQLBindCol(st->h, 1, SQL_C_SLONG, values, 0, nullptr);
    // The first row of the rowset each orientation gives, 0 for none.
    auto first = [&](SQLSMALLINT orientation, SQLLEN offset) -> int {
        SQLRETURN rc = SQLFetchScroll(st->h, orientation, offset);
        if (rc == SQL_NO_DATA) return 0;
        EXPECT_TRUE(SQL_SUCCEEDED(rc)) << st->Error();
        return values[0];
    };
    EXPECT_EQ(1, first(SQL_FETCH_NEXT, 0));
    EXPECT_EQ(4, first(SQL_FETCH_NEXT, 0));
    EXPECT_EQ(1, first(SQL_FETCH_PRIOR, 0));
    EXPECT_EQ(0, first(SQL_FETCH_PRIOR, 0));
    EXPECT_EQ(8, first(SQL_FETCH_LAST, 0));
    EXPECT_EQ(3u, fetched);
    EXPECT_EQ(0, first(SQL_FETCH_NEXT, 0));
    EXPECT_EQ(8, first(SQL_FETCH_PRIOR, 0));
    EXPECT_EQ(5, first(SQL_FETCH_ABSOLUTE, 5));
    EXPECT_EQ(9, first(SQL_FETCH_ABSOLUTE, -2));
    EXPECT_EQ(2u, fetched);
    EXPECT_EQ(10, values[1]);
    EXPECT_EQ(7, first(SQL_FETCH_RELATIVE, -2));
    EXPECT_EQ(0, first(SQL_FETCH_RELATIVE, 100));
    EXPECT_EQ(1, first(SQL_FETCH_FIRST, 0));
    // Moving back past the first rowset gives the first rowset, with 01S06.
    EXPECT_EQ(3, first(SQL_FETCH_ABSOLUTE, 3));
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLFetchScroll(st->h, SQL_FETCH_PRIOR, 0));
    EXPECT_EQ("01S06", State());
    EXPECT_EQ(1, values[0]);
    // Bookmarks: a row's bookmark brings it back, also with an offset.
    EXPECT_EQ(6, first(SQL_FETCH_ABSOLUTE, 6));
    ASSERT_EQ(SQL_SUCCESS, SQLSetPos(st->h, 2, SQL_POSITION, SQL_LOCK_NO_CHANGE));
    SQLUINTEGER mark = 0;
    SQLLEN markLength = 0;
    ASSERT_EQ(SQL_SUCCESS,
              SQLGetData(st->h, 0, SQL_C_VARBOOKMARK, &mark, sizeof mark, &markLength));
    EXPECT_EQ("7", st->Text(1));
    SQLULEN rowNumber = ReadAttr(SQL_ATTR_ROW_NUMBER);
    EXPECT_EQ(7u, rowNumber);
    EXPECT_EQ(1, first(SQL_FETCH_FIRST, 0));
    ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_FETCH_BOOKMARK_PTR, reinterpret_cast<SQLULEN>(&mark)));
    EXPECT_EQ(7, first(SQL_FETCH_BOOKMARK, 0));
    EXPECT_EQ(9, first(SQL_FETCH_BOOKMARK, 2));
    st->Close();

    // MAX_ROWS limits what the static cursor holds: LAST is the limit's last row.
    ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_MAX_ROWS, 4));
    st->MustExec("select i from n order by i");
    EXPECT_EQ(2, first(SQL_FETCH_LAST, 0));
    EXPECT_EQ(4, values[2]);
    st->Close();
}

// Offsets of any size place the rowset as ODBC's rules say, without
// wrapping; a rowset larger than a fetch serves is lowered with 01S02; and
// ODBC 2's SQLExtendedFetch (PHP's odbc functions) serves the same cursor.
TEST_P(DriverCursors, OffsetsAndRowsetsOfAnySizeStayWithinTheResult) {
    Numbers(10);
    st->Close();
    ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_STATIC));
    ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_USE_BOOKMARKS, SQL_UB_VARIABLE));
    ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_ROW_ARRAY_SIZE, 3));
    SQLINTEGER values[3] = {};
    st->MustExec("select i from n order by i");
    SQLBindCol(st->h, 1, SQL_C_SLONG, values, 0, nullptr);
    // The first row of the rowset, 0 before the start, -1 after the end.
    auto first = [&](SQLSMALLINT orientation, SQLLEN offset, const char* state = "") -> int {
        const SQLRETURN rc = SQLFetchScroll(st->h, orientation, offset);
        if (*state) {
            EXPECT_EQ(SQL_SUCCESS_WITH_INFO, rc);
            EXPECT_EQ(state, State());
        } else {
            EXPECT_TRUE(rc == SQL_SUCCESS || rc == SQL_NO_DATA) << st->Error();
        }
        if (rc != SQL_NO_DATA) return values[0];
        // Where NO_DATA left the cursor (NEXT from before the start is row
        // 1), put back there.
        const SQLRETURN next = SQLFetchScroll(st->h, SQL_FETCH_NEXT, 0);
        SQLFetchScroll(st->h, SQL_FETCH_ABSOLUTE, next == SQL_NO_DATA ? 1000 : 0);
        return next == SQL_NO_DATA ? -1 : 0;
    };
    constexpr SQLLEN kMax = std::numeric_limits<SQLLEN>::max();
    constexpr SQLLEN kMin = std::numeric_limits<SQLLEN>::min();
    EXPECT_EQ(5, first(SQL_FETCH_ABSOLUTE, 5));
    EXPECT_EQ(-1, first(SQL_FETCH_RELATIVE, kMax));
    EXPECT_EQ(5, first(SQL_FETCH_ABSOLUTE, 5));
    EXPECT_EQ(0, first(SQL_FETCH_RELATIVE, kMin));
    EXPECT_EQ(0, first(SQL_FETCH_ABSOLUTE, kMin));
    EXPECT_EQ(-1, first(SQL_FETCH_ABSOLUTE, kMax));
    EXPECT_EQ(8, first(SQL_FETCH_PRIOR, 0));
    EXPECT_EQ(-1, first(SQL_FETCH_NEXT, 0));
    EXPECT_EQ(0, first(SQL_FETCH_RELATIVE, kMin)) << "after the end, as ABSOLUTE";
    EXPECT_EQ(-1, first(SQL_FETCH_RELATIVE, kMax)) << "before the start, as ABSOLUTE";
    // Back from the first rowset is before the start; from a later one that
    // is within a rowset of the start, the first rowset with 01S06.
    EXPECT_EQ(1, first(SQL_FETCH_FIRST, 0));
    EXPECT_EQ(0, first(SQL_FETCH_RELATIVE, -1));
    EXPECT_EQ(2, first(SQL_FETCH_ABSOLUTE, 2));
    EXPECT_EQ(1, first(SQL_FETCH_RELATIVE, -3, "01S06"));
    EXPECT_EQ(4, first(SQL_FETCH_ABSOLUTE, 4));
    EXPECT_EQ(0, first(SQL_FETCH_RELATIVE, -4));
    EXPECT_EQ(0, first(SQL_FETCH_ABSOLUTE, -11));
    SQLUINTEGER mark = 7;
    ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_FETCH_BOOKMARK_PTR, reinterpret_cast<SQLULEN>(&mark)));
    EXPECT_EQ(-1, first(SQL_FETCH_BOOKMARK, kMax));
    EXPECT_EQ(0, first(SQL_FETCH_BOOKMARK, kMin));
    EXPECT_EQ(9, first(SQL_FETCH_BOOKMARK, 2));
    st->Close();

    // 2^40 rows to a rowset: lowered to 65,536, and a fetch of the ten rows
    // fills ten statuses and marks the rest as no row.
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Attr(SQL_ATTR_ROW_ARRAY_SIZE, SQLULEN{1} << 40));
    EXPECT_EQ("01S02", State());
    const SQLULEN most = ReadAttr(SQL_ATTR_ROW_ARRAY_SIZE);
    EXPECT_EQ(65536u, most);
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Attr(SQL_ROWSET_SIZE, SQLULEN{1} << 40));
    EXPECT_EQ(most, ReadAttr(SQL_ROWSET_SIZE));
    std::vector<SQLINTEGER> many(most);
    std::vector<SQLUSMALLINT> status(most, 99);
    SQLULEN fetched = 0;
    Attr(SQL_ATTR_ROW_STATUS_PTR, reinterpret_cast<SQLULEN>(status.data()));
    Attr(SQL_ATTR_ROWS_FETCHED_PTR, reinterpret_cast<SQLULEN>(&fetched));
    st->MustExec("select i from n order by i");
    SQLBindCol(st->h, 1, SQL_C_SLONG, many.data(), 0, nullptr);
    EXPECT_EQ(SQL_SUCCESS, SQLFetchScroll(st->h, SQL_FETCH_NEXT, 0));
    EXPECT_EQ(10u, fetched);
    EXPECT_EQ(10, many[9]);
    EXPECT_EQ(SQL_ROW_SUCCESS, status[9]);
    EXPECT_EQ(SQL_ROW_NOROW, status[10]);
    EXPECT_EQ(SQL_ROW_NOROW, status[most - 1]);
    EXPECT_EQ(SQL_NO_DATA, SQLFetchScroll(st->h, SQL_FETCH_NEXT, 0));
    EXPECT_EQ(0u, fetched);
    st->Close();
    Attr(SQL_ATTR_ROW_STATUS_PTR, 0);
    Attr(SQL_ATTR_ROWS_FETCHED_PTR, 0);
    ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_ROW_ARRAY_SIZE, 1));

    // SQLExtendedFetch: rowsets of SQL_ROWSET_SIZE rows, the count and the
    // statuses into its own arguments, a bookmark as its offset.
    ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ROWSET_SIZE, 4));
    SQLINTEGER four[4] = {};
    SQLUSMALLINT rowStatus[4] = {};
    SQLULEN count = 0;
    st->MustExec("select i from n order by i");
    SQLBindCol(st->h, 1, SQL_C_SLONG, four, 0, nullptr);
    auto extended = [&](SQLUSMALLINT orientation, SQLLEN offset) -> std::string {
        count = 99;
        const SQLRETURN rc = SQLExtendedFetch(st->h, orientation, offset, &count, rowStatus);
        if (rc == SQL_NO_DATA) return "no data, count " + std::to_string(count);
        if (!SQL_SUCCEEDED(rc)) return State();
        std::string rows;
        for (SQLULEN k = 0; k < 4; ++k)
            rows += (k ? " " : "") + (rowStatus[k] == SQL_ROW_SUCCESS ? std::to_string(four[k])
                                      : rowStatus[k] == SQL_ROW_NOROW ? std::string("-")
                                                                      : std::string("?"));
        return rows + ", count " + std::to_string(count);
    };
    EXPECT_EQ("1 2 3 4, count 4", extended(SQL_FETCH_NEXT, 0));
    EXPECT_EQ("5 6 7 8, count 4", extended(SQL_FETCH_NEXT, 0));
    EXPECT_EQ("9 10 - -, count 2", extended(SQL_FETCH_NEXT, 0));
    EXPECT_EQ("no data, count 0", extended(SQL_FETCH_NEXT, 0));
    EXPECT_EQ("3 4 5 6, count 4", extended(SQL_FETCH_ABSOLUTE, 3));
    EXPECT_EQ("7 8 9 10, count 4", extended(SQL_FETCH_LAST, 0));
    EXPECT_EQ("5 6 7 8, count 4", extended(SQL_FETCH_BOOKMARK, 5));
    EXPECT_EQ("no data, count 0", extended(SQL_FETCH_RELATIVE, kMin));
    st->Close();
    // A forward-only cursor moves forward only.
    ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_FORWARD_ONLY));
    st->MustExec("select i from n order by i");
    SQLBindCol(st->h, 1, SQL_C_SLONG, four, 0, nullptr);
    EXPECT_EQ("1 2 3 4, count 4", extended(SQL_FETCH_NEXT, 0));
    EXPECT_EQ("HY106", extended(SQL_FETCH_FIRST, 0));
    st->Close();
}

TEST_P(DriverCursors, StaticCursorHoldsTheLast64MiBOfItsRows) {
    st->MustExec("create table big (i integer, txt " + P().memoType + ")");
    std::string value(1 << 20, 'x');
    SQLLEN length = static_cast<SQLLEN>(value.size());
    SQLINTEGER i = 0;
    SQLBindParameter(st->h, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &i, 0, nullptr);
    SQLBindParameter(st->h, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, value.size(), 0,
                     value.data(), length, &length);
    for (i = 1; i <= 70; ++i) st->MustExec("insert into big (i, txt) values (?, ?)");
    SQLFreeStmt(st->h, SQL_RESET_PARAMS);
    st->Close();
    ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_STATIC)) << st->Error();
    st->MustExec("select i, txt from big order by i");
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(st->h, SQL_FETCH_LAST, 0));
    EXPECT_EQ("70", st->Text(1));
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(st->h, SQL_FETCH_ABSOLUTE, 20));
    EXPECT_EQ("20", st->Text(1));
    EXPECT_EQ(SQL_ERROR, SQLFetchScroll(st->h, SQL_FETCH_FIRST, 0));
    EXPECT_EQ("HY000", State());
    EXPECT_NE(std::string::npos, st->Error().find("row 1 is no longer held")) << st->Error();
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(st->h, SQL_FETCH_ABSOLUTE, 69));
    EXPECT_EQ(value, st->Text(2));
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(st->h, SQL_FETCH_NEXT, 0));
    EXPECT_EQ("70", st->Text(1));
    EXPECT_EQ(SQL_NO_DATA, SQLFetchScroll(st->h, SQL_FETCH_NEXT, 0));
}

TEST_P(DriverCursors, AttributesAreKeptAppliedRefusedOrSubstituted) {
    Numbers(3);
    st->MustExec(
        "insert into n (i, name) values (4, 'M\xFCllerstra\xDF"
        "e')");
    // MAX_LENGTH cuts text without a warning; RETRIEVE_DATA off moves the
    // cursor without filling the bound buffers.
    ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_MAX_LENGTH, 4));
    EXPECT_EQ(4u, ReadAttr(SQL_ATTR_MAX_LENGTH));
    st->MustExec("select name from n where i = 4");
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st->h));
    char text[32] = {};
    SQLLEN length = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetData(st->h, 1, SQL_C_CHAR, text, sizeof text, &length));
    EXPECT_STREQ("M\xFCll", text);
    EXPECT_EQ(4, length);
    st->Close();
    Attr(SQL_ATTR_MAX_LENGTH, 0);
    ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_RETRIEVE_DATA, SQL_RD_OFF));
    EXPECT_EQ(SQLULEN(SQL_RD_OFF), ReadAttr(SQL_ATTR_RETRIEVE_DATA));
    SQLINTEGER bound = -1;
    st->MustExec("select i from n order by i");
    SQLBindCol(st->h, 1, SQL_C_SLONG, &bound, 0, nullptr);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st->h));
    EXPECT_EQ(-1, bound);
    EXPECT_EQ("1", st->Text(1));
    st->Close();
    SQLFreeStmt(st->h, SQL_UNBIND);
    Attr(SQL_ATTR_RETRIEVE_DATA, SQL_RD_ON);

    // Substituted with 01S02 and read back as substituted, or refused.
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLSetConnectAttr(connection->dbc, SQL_ATTR_TXN_ISOLATION,
                                                       (SQLPOINTER)SQL_TXN_READ_UNCOMMITTED, 0));
    EXPECT_EQ("01S02", FirstState(SQL_HANDLE_DBC, connection->dbc));
    EXPECT_EQ(SQLUINTEGER(SQL_TXN_READ_COMMITTED), ConnAttr(SQL_ATTR_TXN_ISOLATION));
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
              SQLSetConnectAttr(connection->dbc, SQL_ATTR_CONNECTION_TIMEOUT, (SQLPOINTER)30, 0));
    EXPECT_EQ(0u, ConnAttr(SQL_ATTR_CONNECTION_TIMEOUT));
    EXPECT_EQ(SQL_ERROR,
              SQLSetConnectAttr(connection->dbc, SQL_ATTR_CURRENT_CATALOG, (SQLPOINTER) "x", 1));
    EXPECT_EQ("HYC00", FirstState(SQL_HANDLE_DBC, connection->dbc));
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Attr(SQL_ATTR_ASYNC_ENABLE, SQL_ASYNC_ENABLE_ON));
    EXPECT_EQ(SQLULEN(SQL_ASYNC_ENABLE_OFF), ReadAttr(SQL_ATTR_ASYNC_ENABLE));
    EXPECT_EQ(SQL_ERROR, Attr(SQL_ATTR_CURSOR_SENSITIVITY, SQL_SENSITIVE));
    EXPECT_EQ("HYC00", State());

    // METADATA_ID on the connection: kept, and the statements take it.
    ASSERT_EQ(SQL_SUCCESS,
              SQLSetConnectAttr(connection->dbc, SQL_ATTR_METADATA_ID, (SQLPOINTER)SQL_TRUE, 0));
    EXPECT_EQ(SQLUINTEGER(SQL_TRUE), ConnAttr(SQL_ATTR_METADATA_ID));
    EXPECT_EQ(SQLULEN(SQL_TRUE), ReadAttr(SQL_ATTR_METADATA_ID));
    OdbcStmt later(*connection);
    SQLULEN laterId = 0;
    SQLGetStmtAttr(later.h, SQL_ATTR_METADATA_ID, &laterId, 0, nullptr);
    EXPECT_EQ(SQLULEN(SQL_TRUE), laterId);
    SQLSetConnectAttr(connection->dbc, SQL_ATTR_METADATA_ID, (SQLPOINTER)SQL_FALSE, 0);

    // A read-only connection reads and refuses every change, until it is
    // read-write again.
    ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(connection->dbc, SQL_ATTR_ACCESS_MODE,
                                             (SQLPOINTER)SQL_MODE_READ_ONLY, 0));
    EXPECT_EQ(SQLUINTEGER(SQL_MODE_READ_ONLY), ConnAttr(SQL_ATTR_ACCESS_MODE));
    EXPECT_EQ("4", st->Scalar("select count(*) from n"));
    for (const std::string& change :
         {std::string("insert into n (i, name) values (5, 'x')"),
          std::string("update n set name = 'y'"), std::string("delete from n"),
          "create table nix (i " + P().integerType + ")"}) {
        EXPECT_EQ(SQL_ERROR, st->Exec(change)) << change;
        EXPECT_EQ("25006", State()) << change;
    }
    ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(connection->dbc, SQL_ATTR_ACCESS_MODE,
                                             (SQLPOINTER)SQL_MODE_READ_WRITE, 0));
    st->MustExec("insert into n (i, name) values (5, 'x')");
    EXPECT_EQ("5", st->Scalar("select count(*) from n"));

    // A query time-out cancels a statement that runs longer, and the
    // statement runs the next one.
    ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_QUERY_TIMEOUT, 1));
    EXPECT_EQ(1u, ReadAttr(SQL_ATTR_QUERY_TIMEOUT));
    const std::string slow =
        IsFirebird() ? "select count(*) from rdb$fields a, rdb$fields b, rdb$fields c, "
                       "rdb$fields d, rdb$fields e"
                     : "select count(*) from n a, n b, n c, n d, n e, n f, n g, n h, n i, n j, "
                       "n k, n l, n m, n o, n p";
    const auto start = std::chrono::steady_clock::now();
    SQLRETURN rc = st->Exec(slow);
    if (SQL_SUCCEEDED(rc)) rc = SQLFetch(st->h);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(SQL_ERROR, rc);
    EXPECT_EQ("HYT00", State());
    EXPECT_LT(seconds, 20.0);
    EXPECT_EQ("5", st->Scalar("select count(*) from n"));
}

TEST_P(DriverCursors, DisconnectInsideATransactionKeepsConnectionAndTransaction) {
    st->MustExec("create table tx (id " + P().integerType + ")");
    ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(connection->dbc, SQL_ATTR_AUTOCOMMIT,
                                             (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0));
    st->MustExec("insert into tx (id) values (1)");
    EXPECT_EQ(SQL_ERROR, SQLDisconnect(connection->dbc));
    EXPECT_EQ("25000", FirstState(SQL_HANDLE_DBC, connection->dbc));
    // Connection, statement and transaction are as they were.
    EXPECT_EQ("1", st->Scalar("select count(*) from tx"));
    ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, connection->dbc, SQL_ROLLBACK));
    EXPECT_EQ("0", st->Scalar("select count(*) from tx"));
    ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, connection->dbc, SQL_COMMIT));
    st.reset();
    EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(connection->dbc));
    connection->connected = false;
}

TEST_P(DriverCursors, SmallFaultsGiveTheirOdbcStates) {
    // More markers than SQLNumParams can count are refused at the prepare
    // (by Firebird itself with its own limit state, 54000).
    st->MustExec("create table many (i " + P().integerType + ")");
    std::string sql = "select i from many where i in (?";
    for (int k = 1; k < 40000; ++k) sql += ",?";
    sql += ")";
    EXPECT_EQ(SQL_ERROR, SQLPrepare(st->h, (SQLCHAR*)sql.c_str(), SQL_NTS));
    const std::string prepared = State();
    EXPECT_EQ(IsFirebird() ? "54000" : "42000", prepared) << st->Error();
    // A type code that is no SQL type.
    EXPECT_EQ(SQL_ERROR, SQLGetTypeInfo(st->h, 12345));
    EXPECT_EQ("HY004", State());
    // An expression too deep for the engine is a syntax or limit error.
    std::string deep = "select i from many where i = 1";
    for (int k = 0; k < 1200; ++k) deep += " or i = " + std::to_string(k);
    SQLRETURN rc = st->Exec(deep);
    if (!SQL_SUCCEEDED(rc)) {
        EXPECT_TRUE(State() == "42000" || State() == "54001") << st->Error();
    }
}

INSTANTIATE_TEST_SUITE_P(Drivers, DriverCursors, ::testing::ValuesIn(ProfileNames()),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

}  // namespace
}  // namespace drivertest
