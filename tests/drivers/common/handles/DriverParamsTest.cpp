// Parameter markers on both kinds: values bound in every C type the common
// clients send, markers left unbound, values sent in pieces at execution
// time, arrays of parameter sets, and what the driver says about a marker.
#include <cstring>

#include "tests/drivers/DriverFixture.h"

namespace drivertest {
namespace {

using DriverParams = DriverFixture;

// Binds one input parameter; the value and indicator must outlive the execution.
SQLRETURN Bind(SQLHSTMT h, SQLUSMALLINT n, SQLSMALLINT cType, SQLSMALLINT sqlType, void* value,
               SQLLEN bufferLength, SQLLEN* indicator, SQLULEN size = 0) {
    return SQLBindParameter(h, n, SQL_PARAM_INPUT, cType, sqlType, size, 0, value, bufferLength,
                            indicator);
}

TEST_P(DriverParams, ValuesOfEveryCTypeArriveAsTheSqlTypeDeclared) {
    st->MustExec("create table p (id " + P().integerType + " not null, name " + Varchar(40) +
                 ", note " + P().memoType + ", amount " + TypeOf(SQL_DOUBLE) + ", born " +
                 TypeOf(SQL_TYPE_DATE) + ", seen " + TypeOf(SQL_TYPE_TIMESTAMP) + ", flag " +
                 TypeOf(SQL_BIT) + ", payload " + P().binaryType + ")");
    const std::string insert =
        "insert into p (id, name, note, amount, born, seen, flag, payload) "
        "values (?, ?, ?, ?, ?, ?, ?, ?)";

    SQLINTEGER id = 7;
    char name[] = "M\xFCller d'Arc";
    std::u16string note = u"Notiz \u2022 \u00e4\u20ac";
    SQLLEN noteLength = static_cast<SQLLEN>(note.size() * 2);
    double amount = 2.5;
    SQL_DATE_STRUCT day{2024, 2, 29};
    SQL_TIMESTAMP_STRUCT stamp{2024, 2, 29, 13, 45, 10, 0};
    unsigned char flag = 1;
    char data[] = {'\x00', '\xFF', 'A'};
    SQLLEN dataLength = 3, nts = SQL_NTS;
    ASSERT_EQ(SQL_SUCCESS, Bind(st->h, 1, SQL_C_SLONG, SQL_INTEGER, &id, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, Bind(st->h, 2, SQL_C_CHAR, SQL_VARCHAR, name, 0, &nts, 40));
    ASSERT_EQ(SQL_SUCCESS,
              Bind(st->h, 3, SQL_C_WCHAR, SQL_WLONGVARCHAR, note.data(), noteLength, &noteLength));
    ASSERT_EQ(SQL_SUCCESS, Bind(st->h, 4, SQL_C_DOUBLE, SQL_DOUBLE, &amount, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, Bind(st->h, 5, SQL_C_TYPE_DATE, SQL_TYPE_DATE, &day, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS,
              Bind(st->h, 6, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, &stamp, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, Bind(st->h, 7, SQL_C_BIT, SQL_BIT, &flag, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS,
              Bind(st->h, 8, SQL_C_BINARY, SQL_LONGVARBINARY, data, 3, &dataLength, 3));
    ASSERT_EQ(SQL_SUCCESS, st->Exec(insert)) << st->Error();
    SQLLEN count = 0;
    SQLRowCount(st->h, &count);
    EXPECT_EQ(1, count);

    // Text for numbers and dates, nulls by their indicator, and other C types.
    char idText[] = "8", amountText[] = "-0.125", dayText[] = "2023-12-31",
         stampText[] = "2023-12-31 08:00:00";
    signed char noFlag = 0;
    SQLLEN null = SQL_NULL_DATA;
    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(st->h, SQL_RESET_PARAMS));
    Bind(st->h, 1, SQL_C_CHAR, SQL_INTEGER, idText, 0, &nts);
    Bind(st->h, 2, SQL_C_CHAR, SQL_VARCHAR, name, 0, &null);
    Bind(st->h, 3, SQL_C_WCHAR, SQL_WLONGVARCHAR, nullptr, 0, &null);
    Bind(st->h, 4, SQL_C_CHAR, SQL_DOUBLE, amountText, 0, &nts);
    Bind(st->h, 5, SQL_C_CHAR, SQL_TYPE_DATE, dayText, 0, &nts);
    Bind(st->h, 6, SQL_C_CHAR, SQL_TYPE_TIMESTAMP, stampText, 0, &nts);
    Bind(st->h, 7, SQL_C_STINYINT, SQL_BIT, &noFlag, 0, nullptr);
    Bind(st->h, 8, SQL_C_BINARY, SQL_LONGVARBINARY, data, 3, &null);
    ASSERT_EQ(SQL_SUCCESS, st->Exec(insert)) << st->Error();

    // A value that is no number of the declared type, or out of its range,
    // fails the execution with the standard state, and nothing is stored.
    char notANumber[] = "zw\xF6lf";
    Bind(st->h, 1, SQL_C_CHAR, SQL_INTEGER, notANumber, 0, &nts);
    EXPECT_EQ(SQL_ERROR, st->Exec(insert));
    EXPECT_EQ("22018", State());
    SQLINTEGER big = 70000;
    Bind(st->h, 1, SQL_C_SLONG, SQL_SMALLINT, &big, 0, nullptr);
    EXPECT_EQ(SQL_ERROR, st->Exec(insert));
    EXPECT_EQ("22003", State());

    SQLFreeStmt(st->h, SQL_RESET_PARAMS);
    SQLBIGINT wanted = 7;
    Bind(st->h, 1, SQL_C_SBIGINT, SQL_BIGINT, &wanted, 0, nullptr);
    ASSERT_EQ(SQL_SUCCESS,
              st->Exec("select id, name, note, amount, born, seen, flag, payload from p "
                       "where id >= ? order by id"))
        << st->Error();
    EXPECT_EQ(
        (std::vector<std::string>{
            "7|M\xFCller d'Arc|Notiz \x95 \xE4\x80|2.5|2024-02-29|2024-02-29 13:45:10|1|00FF41",
            "8|<null>|<null>|-0.125|2023-12-31|2023-12-31 08:00:00|0|<null>"}),
        Rows());
    SQLFreeStmt(st->h, SQL_RESET_PARAMS);
    EXPECT_EQ("2", st->Scalar("select count(*) from p"));

    // An exact number keeps its digits: SQL_C_NUMERIC, and decimal text.
    st->MustExec("create table n (v " +
                 (IsFirebird() ? std::string("numeric(12,2)") : TypeOf(SQL_DOUBLE)) + ")");
    SQL_NUMERIC_STRUCT exact{};
    exact.precision = 12;
    exact.scale = 2;
    exact.sign = 1;
    exact.val[0] = 1234 & 0xFF;
    exact.val[1] = 1234 >> 8;
    Bind(st->h, 1, SQL_C_NUMERIC, SQL_NUMERIC, &exact, 0, nullptr, 12);
    ASSERT_EQ(SQL_SUCCESS, st->Exec("insert into n (v) values (?)")) << st->Error();
    char decimalText[] = "-0.5";
    Bind(st->h, 1, SQL_C_CHAR, SQL_DECIMAL, decimalText, 0, &nts, 12);
    ASSERT_EQ(SQL_SUCCESS, st->Exec("insert into n (v) values (?)")) << st->Error();
    SQLFreeStmt(st->h, SQL_RESET_PARAMS);
    st->MustExec("select v from n order by v");
    EXPECT_EQ(IsFirebird() ? (std::vector<std::string>{"-0.50", "12.34"})
                           : (std::vector<std::string>{"-0.5", "12.34"}),
              Rows());
}

TEST_P(DriverParams, UnboundMarkersAreRefusedAndChangeNothing) {
    st->MustExec("create table u (id " + P().integerType + ", titel " + Varchar(20) + ")");
    st->MustExec("insert into u (id, titel) values (51, 'Dr.')");
    EXPECT_EQ(SQL_ERROR, st->Exec("update u set titel = ? where id = 51"));
    EXPECT_EQ(
        "07002: COUNT field incorrect: the statement has 1 parameter marker, but none is "
        "bound.",
        st->Error());
    EXPECT_EQ(SQL_ERROR, st->Exec("select count(*) from u where id = ?"));
    EXPECT_EQ("07002", State());
    EXPECT_EQ("Dr.", st->Scalar("select titel from u where id = 51"));

    ASSERT_EQ(SQL_SUCCESS,
              SQLPrepare(st->h, (SQLCHAR*)"update u set titel = ? where id = ?", SQL_NTS));
    SQLSMALLINT markers = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLNumParams(st->h, &markers));
    EXPECT_EQ(2, markers);
    char titel[] = "Prof.";
    SQLLEN nts = SQL_NTS;
    Bind(st->h, 1, SQL_C_CHAR, SQL_VARCHAR, titel, 0, &nts);
    EXPECT_EQ(SQL_ERROR, SQLExecute(st->h));
    EXPECT_EQ(
        "07002: COUNT field incorrect: the statement has 2 parameter markers, but 1 is bound.",
        st->Error());
    SQLINTEGER id = 51;
    Bind(st->h, 2, SQL_C_SLONG, SQL_INTEGER, &id, 0, nullptr);
    EXPECT_EQ(SQL_SUCCESS, SQLExecute(st->h)) << st->Error();
    SQLFreeStmt(st->h, SQL_RESET_PARAMS);
    EXPECT_EQ("Prof.", st->Scalar("select titel from u where id = 51"));

    // A "?" inside a literal or a quoted name is no marker.
    const char q = IsFirebird() ? '"' : '[';
    const char qe = IsFirebird() ? '"' : ']';
    st->MustExec(std::string("create table ") + q + "w?" + qe + " (id " + P().integerType + ")");
    const std::string literal =
        std::string("select count(*) from ") + q + "w?" + qe + " where 'a?b' <> ''";
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(st->h, (SQLCHAR*)literal.c_str(), SQL_NTS)) << st->Error();
    EXPECT_EQ(SQL_SUCCESS, SQLNumParams(st->h, &markers));
    EXPECT_EQ(0, markers);
    EXPECT_EQ(SQL_SUCCESS, SQLExecute(st->h));
    EXPECT_EQ((std::vector<std::string>{"0"}), Rows());
}

TEST_P(DriverParams, LongValuesAreSentInPiecesAtExecution) {
    st->MustExec("create table m (id " + P().integerType + ", note " + P().memoType + ")");
    ASSERT_EQ(SQL_SUCCESS,
              SQLPrepare(st->h, (SQLCHAR*)"insert into m (id, note) values (?, ?)", SQL_NTS));
    SQLINTEGER id = 1;
    int token = 0;
    SQLLEN atExecution = SQL_LEN_DATA_AT_EXEC(0);
    Bind(st->h, 1, SQL_C_SLONG, SQL_INTEGER, &id, 0, nullptr);
    Bind(st->h, 2, SQL_C_CHAR, SQL_LONGVARCHAR, &token, 0, &atExecution, 300000);

    std::string piece;
    for (int k = 0; k < 70000; ++k) piece.push_back("ab\xE4\x95z"[k % 5]);
    ASSERT_EQ(SQL_NEED_DATA, SQLExecute(st->h));
    // Nothing but the data calls while the statement waits for its values.
    EXPECT_EQ(SQL_ERROR, SQLExecDirect(st->h, (SQLCHAR*)"select id from m", SQL_NTS));
    EXPECT_EQ("HY010", State());
    SQLPOINTER asked = nullptr;
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(st->h, &asked));
    EXPECT_EQ(&token, asked);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(SQL_SUCCESS, SQLPutData(st->h, piece.data(), static_cast<SQLLEN>(piece.size())));
    ASSERT_EQ(SQL_SUCCESS, SQLParamData(st->h, &asked)) << st->Error();

    id = 2;
    ASSERT_EQ(SQL_NEED_DATA, SQLExecute(st->h));
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(st->h, &asked));
    ASSERT_EQ(SQL_SUCCESS, SQLPutData(st->h, nullptr, SQL_NULL_DATA));
    ASSERT_EQ(SQL_SUCCESS, SQLParamData(st->h, &asked)) << st->Error();

    // A cancelled execution stores nothing; pieces of a fixed-size value are refused.
    id = 3;
    ASSERT_EQ(SQL_NEED_DATA, SQLExecute(st->h));
    EXPECT_EQ(SQL_SUCCESS, SQLCancel(st->h));
    Bind(st->h, 1, SQL_C_SLONG, SQL_INTEGER, &id, 0, &atExecution);
    ASSERT_EQ(SQL_NEED_DATA, SQLExecute(st->h));
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(st->h, &asked));
    EXPECT_EQ(&id, asked);
    EXPECT_EQ(SQL_SUCCESS, SQLPutData(st->h, &id, 0));
    EXPECT_EQ(SQL_ERROR, SQLPutData(st->h, &id, 0));
    EXPECT_EQ("HY019", State());
    EXPECT_EQ(SQL_SUCCESS, SQLCancel(st->h));
    SQLFreeStmt(st->h, SQL_RESET_PARAMS);

    // In an array of sets each set asks for its own values; a null needs none.
    SQLINTEGER ids[3] = {10, 11, 12};
    int tokens[3] = {};
    SQLLEN notes[3] = {SQL_LEN_DATA_AT_EXEC(0), SQL_NULL_DATA, SQL_LEN_DATA_AT_EXEC(0)};
    SQLSetStmtAttr(st->h, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)3, 0);
    Bind(st->h, 1, SQL_C_SLONG, SQL_INTEGER, ids, 0, nullptr);
    Bind(st->h, 2, SQL_C_CHAR, SQL_LONGVARCHAR, tokens, sizeof tokens[0], notes, 300000);
    ASSERT_EQ(SQL_NEED_DATA, st->Exec("insert into m (id, note) values (?, ?)"));
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(st->h, &asked));
    EXPECT_EQ(&tokens[0], asked);
    SQLPutData(st->h, (SQLPOINTER) "first", SQL_NTS);
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(st->h, &asked));
    EXPECT_EQ(&tokens[2], asked);
    SQLPutData(st->h, (SQLPOINTER) "third", SQL_NTS);
    ASSERT_EQ(SQL_SUCCESS, SQLParamData(st->h, &asked)) << st->Error();
    SQLSetStmtAttr(st->h, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)1, 0);
    SQLFreeStmt(st->h, SQL_RESET_PARAMS);

    st->MustExec("select id, note from m order by id");
    EXPECT_EQ((std::vector<std::string>{"1|" + piece + piece + piece, "2|<null>", "10|first",
                                        "11|<null>", "12|third"}),
              Rows());
}

TEST_P(DriverParams, ArraysOfSetsRunEverySetAndReportEach) {
    st->MustExec("create table a (id " + P().integerType + " not null primary key, name " +
                 Varchar(20) + ")");
    constexpr int kSets = 100;
    SQLINTEGER ids[kSets];
    char names[kSets][21];
    SQLLEN lengths[kSets];
    SQLUSMALLINT status[kSets];
    SQLULEN processed = 0;
    for (int i = 0; i < kSets; ++i) {
        ids[i] = i + 1;
        std::snprintf(names[i], sizeof names[i], "K\xF6ln %d", i + 1);
        lengths[i] = i % 10 == 0 ? SQL_NULL_DATA : SQL_NTS;
    }
    SQLSetStmtAttr(st->h, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)kSets, 0);
    SQLSetStmtAttr(st->h, SQL_ATTR_PARAM_STATUS_PTR, status, 0);
    SQLSetStmtAttr(st->h, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0);
    Bind(st->h, 1, SQL_C_SLONG, SQL_INTEGER, ids, 0, nullptr);
    Bind(st->h, 2, SQL_C_CHAR, SQL_VARCHAR, names, sizeof names[0], lengths, 20);
    ASSERT_EQ(SQL_SUCCESS, st->Exec("insert into a (id, name) values (?, ?)")) << st->Error();
    EXPECT_EQ(static_cast<SQLULEN>(kSets), processed);
    SQLLEN count = 0;
    SQLRowCount(st->h, &count);
    EXPECT_EQ(kSets, count);
    for (int i = 0; i < kSets; ++i) EXPECT_EQ(SQL_PARAM_SUCCESS, status[i]) << i;

    // Bound by row; the third set breaks the key: the two before it stay,
    // the ones after it are not run.
    struct Row {
        SQLINTEGER id;
        char name[21];
        SQLLEN nameLength;
    } rows[5] = {{201, "a", SQL_NTS},
                 {202, "b", SQL_NTS},
                 {1, "dup", SQL_NTS},
                 {204, "d", SQL_NTS},
                 {205, "e", SQL_NTS}};
    SQLFreeStmt(st->h, SQL_RESET_PARAMS);
    SQLSetStmtAttr(st->h, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)5, 0);
    SQLSetStmtAttr(st->h, SQL_ATTR_PARAM_BIND_TYPE, (SQLPOINTER)sizeof(Row), 0);
    Bind(st->h, 1, SQL_C_SLONG, SQL_INTEGER, &rows[0].id, 0, nullptr);
    Bind(st->h, 2, SQL_C_CHAR, SQL_VARCHAR, rows[0].name, sizeof rows[0].name, &rows[0].nameLength,
         20);
    EXPECT_EQ(SQL_ERROR, st->Exec("insert into a (id, name) values (?, ?)"));
    EXPECT_EQ("23000", State());
    EXPECT_EQ(3u, processed);
    EXPECT_EQ((std::vector<SQLUSMALLINT>{SQL_PARAM_SUCCESS, SQL_PARAM_SUCCESS, SQL_PARAM_ERROR,
                                         SQL_PARAM_UNUSED, SQL_PARAM_UNUSED}),
              std::vector<SQLUSMALLINT>(status, status + 5));

    // A set marked to be ignored is skipped.
    SQLUSMALLINT operations[5] = {SQL_PARAM_PROCEED, SQL_PARAM_PROCEED, SQL_PARAM_IGNORE,
                                  SQL_PARAM_PROCEED, SQL_PARAM_PROCEED};
    rows[0].id = 300;
    rows[1].id = 301;
    SQLSetStmtAttr(st->h, SQL_ATTR_PARAM_OPERATION_PTR, operations, 0);
    ASSERT_EQ(SQL_SUCCESS, st->Exec("insert into a (id, name) values (?, ?)")) << st->Error();
    EXPECT_EQ(SQL_PARAM_UNUSED, status[2]);
    SQLFreeStmt(st->h, SQL_RESET_PARAMS);
    SQLSetStmtAttr(st->h, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)1, 0);
    SQLSetStmtAttr(st->h, SQL_ATTR_PARAM_BIND_TYPE, (SQLPOINTER)SQL_PARAM_BIND_BY_COLUMN, 0);
    SQLSetStmtAttr(st->h, SQL_ATTR_PARAM_OPERATION_PTR, nullptr, 0);
    EXPECT_EQ("106", st->Scalar("select count(*) from a"));
    EXPECT_EQ("10", st->Scalar("select count(*) from a where name is null"));
    EXPECT_EQ("K\xF6ln 99", st->Scalar("select name from a where id = 99"));
}

TEST_P(DriverParams, MarkersAreDescribedWithTheTypeTheyStandFor) {
    st->MustExec("create table d (id " + P().integerType + ", name " + Varchar(40) + ", born " +
                 TypeOf(SQL_TYPE_DATE) + ")");
    struct Expected {
        SQLSMALLINT type;
        SQLULEN size;
    };
    auto describe = [&](const std::string& sql, std::vector<Expected> expected) {
        SCOPED_TRACE(sql);
        ASSERT_EQ(SQL_SUCCESS, SQLPrepare(st->h, (SQLCHAR*)sql.c_str(), SQL_NTS)) << st->Error();
        SQLSMALLINT markers = 0;
        SQLNumParams(st->h, &markers);
        ASSERT_EQ(static_cast<SQLSMALLINT>(expected.size()), markers);
        for (SQLUSMALLINT i = 1; i <= expected.size(); ++i) {
            SQLSMALLINT type = 0, digits = -1, nullable = -1;
            SQLULEN size = 0;
            ASSERT_EQ(SQL_SUCCESS, SQLDescribeParam(st->h, i, &type, &size, &digits, &nullable));
            EXPECT_EQ(expected[i - 1].type, type) << i;
            EXPECT_EQ(expected[i - 1].size, size) << i;
        }
        SQLSMALLINT type;
        SQLULEN size;
        SQLSMALLINT digits, nullable;
        EXPECT_EQ(SQL_ERROR,
                  SQLDescribeParam(st->h, markers + 1, &type, &size, &digits, &nullable));
        EXPECT_EQ("07009", State());
    };
    describe("insert into d (id, name, born) values (?, ?, ?)",
             {{SQL_INTEGER, 10}, {SQL_VARCHAR, 40}, {SQL_TYPE_DATE, 10}});
    describe("select id from d where name = ? and id > ?", {{SQL_VARCHAR, 40}, {SQL_INTEGER, 10}});
    describe("update d set born = ? where id = ?", {{SQL_TYPE_DATE, 10}, {SQL_INTEGER, 10}});
}

INSTANTIATE_TEST_SUITE_P(Drivers, DriverParams, ::testing::ValuesIn(ProfileNames()),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

}  // namespace
}  // namespace drivertest
