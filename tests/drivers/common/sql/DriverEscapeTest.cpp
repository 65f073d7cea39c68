// ODBC's escape sequences and its rules for dates, once per driver profile
// through unixODBC: what SQLGetInfo claims runs on the engine and gives the
// same answers on both kinds, and a date or time that does not exist never
// reaches a table.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <ctime>
#include <string>
#include <vector>

#include "tests/drivers/DriverFixture.h"

namespace drivertest {
namespace {

class DriverEscapes : public DriverFixture {
  protected:
    SQLUINTEGER InfoMask(SQLUSMALLINT type) {
        SQLUINTEGER v = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(connection->dbc, type, &v, sizeof v, nullptr));
        return v;
    }
    std::string InfoText(SQLUSMALLINT type) {
        char buf[64] = {};
        SQLSMALLINT len = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(connection->dbc, type, buf, sizeof buf, &len));
        return buf;
    }
    // The state of executing `sql` (and fetching its first row) that
    // fails, or "ok".
    std::string Outcome(const std::string& sql) {
        SQLRETURN rc = st->Exec(sql);
        SQLSMALLINT columns = 0;
        if (SQL_SUCCEEDED(rc) && SQL_SUCCEEDED(SQLNumResultCols(st->h, &columns)) && columns > 0)
            rc = SQLFetch(st->h);
        std::string s = SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA ? "ok" : State();
        st->Close();
        return s;
    }
    // Binds one character parameter, declared as `sqlType`, and executes.
    SQLRETURN WithText(const std::string& sql, const std::string& value, SQLSMALLINT sqlType) {
        st->Close();
        SQLFreeStmt(st->h, SQL_RESET_PARAMS);
        text_ = value;
        textLength_ = static_cast<SQLLEN>(text_.size());
        SQLBindParameter(st->h, 1, SQL_PARAM_INPUT, SQL_C_CHAR, sqlType, 40, 0, text_.data(),
                         textLength_, &textLength_);
        SQLRETURN rc = SQLExecDirect(st->h, (SQLCHAR*)sql.c_str(), SQL_NTS);
        return rc;
    }
    std::string text_;
    SQLLEN textLength_ = 0;
};

struct Function {
    SQLUSMALLINT info;
    SQLUINTEGER bit;
    std::string expression;
    std::string expected;  // empty: the current year; "<user>": the engine's user
};

// Every scalar function either driver may claim, with an expression that
// reads the same on both engines. Numbers go through CONVERT to integers so
// that the engines' number formats do not matter.
std::vector<Function> Functions() {
    const std::string i = "SQL_INTEGER)}";
    return {
        {SQL_STRING_FUNCTIONS, SQL_FN_STR_ASCII, "{fn ASCII('A')}", "65"},
        {SQL_STRING_FUNCTIONS, SQL_FN_STR_CHAR, "{fn CHAR(65)}", "A"},
        {SQL_STRING_FUNCTIONS, SQL_FN_STR_CHAR_LENGTH, "{fn CHAR_LENGTH(name)}", "8"},
        {SQL_STRING_FUNCTIONS, SQL_FN_STR_CHARACTER_LENGTH, "{fn CHARACTER_LENGTH(name)}", "8"},
        {SQL_STRING_FUNCTIONS, SQL_FN_STR_CONCAT, "{fn CONCAT('a', 'b')}", "ab"},
        {SQL_STRING_FUNCTIONS, SQL_FN_STR_LCASE, "{fn LCASE('AbC')}", "abc"},
        {SQL_STRING_FUNCTIONS, SQL_FN_STR_LEFT, "{fn LEFT('abcdef', 2)}", "ab"},
        {SQL_STRING_FUNCTIONS, SQL_FN_STR_LENGTH, "{fn LENGTH('abc  ')}", "3"},
        {SQL_STRING_FUNCTIONS, SQL_FN_STR_LOCATE_2, "{fn LOCATE('c', 'abcabc')}", "3"},
        {SQL_STRING_FUNCTIONS, SQL_FN_STR_LOCATE, "{fn LOCATE('c', 'abcabc', 4)}", "6"},
        {SQL_STRING_FUNCTIONS, SQL_FN_STR_LTRIM, "{fn LTRIM('  ab')}", "ab"},
        {SQL_STRING_FUNCTIONS, SQL_FN_STR_OCTET_LENGTH, "{fn OCTET_LENGTH('abc')}", "3"},
        {SQL_STRING_FUNCTIONS, SQL_FN_STR_REPLACE, "{fn REPLACE('abcabc', 'b', 'x')}", "axcaxc"},
        {SQL_STRING_FUNCTIONS, SQL_FN_STR_RIGHT, "{fn RIGHT('abcdef', 2)}", "ef"},
        {SQL_STRING_FUNCTIONS, SQL_FN_STR_RTRIM, "{fn CONCAT({fn RTRIM('ab  ')}, '|')}", "ab|"},
        {SQL_STRING_FUNCTIONS, SQL_FN_STR_SPACE, "{fn CONCAT({fn SPACE(2)}, 'x')}", "  x"},
        {SQL_STRING_FUNCTIONS, SQL_FN_STR_SUBSTRING, "{fn SUBSTRING('abcdef', 2, 3)}", "bcd"},
        {SQL_STRING_FUNCTIONS, SQL_FN_STR_UCASE, "{fn UCASE(name)}", " M\xDCLLER "},
        {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_ABS, "{fn ABS(-2)}", "2"},
        {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_CEILING, "{fn CONVERT({fn CEILING(2.5)}, " + i, "3"},
        {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_COS, "{fn CONVERT({fn COS(0)}, " + i, "1"},
        {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_EXP, "{fn CONVERT({fn EXP(0)}, " + i, "1"},
        {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_FLOOR, "{fn CONVERT({fn FLOOR(-2.5)}, " + i, "-3"},
        {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_LOG, "{fn CONVERT({fn LOG(1)}, " + i, "0"},
        {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_LOG10, "{fn CONVERT({fn LOG10(100)}, " + i, "2"},
        {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_MOD, "{fn CONVERT({fn MOD(7, 3)}, " + i, "1"},
        {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_PI, "{fn CONVERT({fn PI()} * 100, " + i, "314"},
        {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_POWER, "{fn CONVERT({fn POWER(2, 10)}, " + i, "1024"},
        {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_ROUND, "{fn CONVERT({fn ROUND(2.567, 2)} * 100, " + i,
         "257"},
        {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_SIGN, "{fn CONVERT({fn SIGN(-5)}, " + i, "-1"},
        {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_SIN, "{fn CONVERT({fn SIN(0)}, " + i, "0"},
        {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_SQRT, "{fn CONVERT({fn SQRT(16)}, " + i, "4"},
        {SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_TAN, "{fn CONVERT({fn TAN(0)}, " + i, "0"},
        {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_CURDATE, "{fn YEAR({fn CURDATE()})}", ""},
        {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_CURRENT_DATE, "{fn YEAR({fn CURRENT_DATE()})}", ""},
        {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_NOW, "{fn YEAR({fn NOW()})}", ""},
        {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_CURRENT_TIMESTAMP, "{fn YEAR({fn CURRENT_TIMESTAMP()})}",
         ""},
        {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_CURTIME,
         "{fn CONVERT({fn FLOOR({fn HOUR({fn CURTIME()})} / 24)}, " + i, "0"},
        {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_CURRENT_TIME,
         "{fn CONVERT({fn FLOOR({fn MINUTE({fn CURRENT_TIME()})} / 60)}, " + i, "0"},
        {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_DAYOFMONTH, "{fn DAYOFMONTH(datum)}", "31"},
        {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_DAYOFWEEK, "{fn DAYOFWEEK(datum)}", "4"},
        {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_DAYOFYEAR, "{fn DAYOFYEAR(datum)}", "91"},
        {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_HOUR, "{fn HOUR(ts)}", "13"},
        {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_MINUTE, "{fn MINUTE(ts)}", "45"},
        {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_MONTH, "{fn MONTH(datum)}", "3"},
        {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_SECOND, "{fn SECOND(ts)}", "10"},
        {SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_YEAR, "{fn YEAR(datum)}", "2004"},
        {SQL_SYSTEM_FUNCTIONS, SQL_FN_SYS_IFNULL, "{fn IFNULL(leer, 'x')}", "x"},
        {SQL_SYSTEM_FUNCTIONS, SQL_FN_SYS_USERNAME, "{fn USER()}", "<user>"},
        {SQL_CONVERT_FUNCTIONS, SQL_FN_CVT_CONVERT, "{fn CONVERT('12', SQL_INTEGER)}", "12"},
    };
}

TEST_P(DriverEscapes, EveryClaimedEscapeRunsAndGivesTheSameAnswerOnBothKinds) {
    st->MustExec("create table f (id integer, name " + Varchar(40) + ", datum " +
                 TypeOf(SQL_TYPE_DATE) + ", ts " + TypeOf(SQL_TYPE_TIMESTAMP) + ", leer " +
                 Varchar(10) + ")");
    st->MustExec(
        "insert into f (id, name, datum, ts) values (1, ' M\xFCller ', "
        "{d '2004-03-31'}, {ts '2004-03-31 13:45:10'})");
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const std::string year = std::to_string(local.tm_year + 1900);

    // The claims are exactly the functions that run: every claimed bit has
    // its case here and gives its answer.
    for (SQLUSMALLINT info : {SQL_STRING_FUNCTIONS, SQL_NUMERIC_FUNCTIONS, SQL_TIMEDATE_FUNCTIONS,
                              SQL_SYSTEM_FUNCTIONS, SQL_CONVERT_FUNCTIONS}) {
        const SQLUINTEGER claimed = InfoMask(info);
        SQLUINTEGER covered = 0;
        for (const Function& f : Functions()) {
            if (f.info != info || !(claimed & f.bit)) continue;
            covered |= f.bit;
            const std::string user = IsFirebird() ? "SYSDBA" : "Admin";
            EXPECT_EQ(f.expected.empty()       ? year
                      : f.expected == "<user>" ? user
                                               : f.expected,
                      st->Scalar("select " + f.expression + " from f"))
                << f.expression;
        }
        EXPECT_EQ(claimed, covered) << "info type " << info;
        EXPECT_NE(0u, claimed) << "info type " << info;
    }
    // Every conversion SQL_CONVERT_... claims for a source type runs.
    struct Target {
        SQLUINTEGER bit;
        std::string type;
        std::string text;  // a text of the target type
    };
    const std::vector<Target> targets = {
        {SQL_CVT_CHAR, "SQL_CHAR", "'x'"},
        {SQL_CVT_VARCHAR, "SQL_VARCHAR", "'x'"},
        {SQL_CVT_WCHAR, "SQL_WCHAR", "'x'"},
        {SQL_CVT_WVARCHAR, "SQL_WVARCHAR", "'x'"},
        {SQL_CVT_SMALLINT, "SQL_SMALLINT", "'12'"},
        {SQL_CVT_INTEGER, "SQL_INTEGER", "'12'"},
        {SQL_CVT_BIGINT, "SQL_BIGINT", "'12'"},
        {SQL_CVT_REAL, "SQL_REAL", "'1.5'"},
        {SQL_CVT_FLOAT, "SQL_FLOAT", "'1.5'"},
        {SQL_CVT_DOUBLE, "SQL_DOUBLE", "'1.5'"},
        {SQL_CVT_DATE, "SQL_DATE", "'2004-03-31'"},
        {SQL_CVT_TIME, "SQL_TIME", "'13:45:10'"},
        {SQL_CVT_TIMESTAMP, "SQL_TIMESTAMP", "'2004-03-31 13:45:10'"},
    };
    SQLUINTEGER anyTarget = 0;
    for (const auto& [info, source] :
         std::vector<std::pair<SQLUSMALLINT, std::string>>{{SQL_CONVERT_INTEGER, "id"},
                                                           {SQL_CONVERT_VARCHAR, ""},
                                                           {SQL_CONVERT_DATE, "datum"},
                                                           {SQL_CONVERT_TIMESTAMP, "ts"},
                                                           {SQL_CONVERT_LONGVARBINARY, "id"}}) {
        const SQLUINTEGER claimed = InfoMask(info);
        anyTarget |= claimed;
        for (const Target& t : targets)
            if (claimed & t.bit) {
                const std::string sql = "select {fn CONVERT(" + (source.empty() ? t.text : source) +
                                        ", " + t.type + ")} from f where id = 1";
                EXPECT_EQ("ok", Outcome(sql)) << sql;
            }
    }
    EXPECT_NE(0u, anyTarget & SQL_CVT_INTEGER);
    EXPECT_EQ(0u, InfoMask(SQL_CONVERT_LONGVARBINARY));
    // A function the table does not know is the engine's own; one given the
    // wrong number of arguments is refused.
    EXPECT_EQ("2", st->Scalar("select {fn coalesce(leer, '2')} from f"));
    EXPECT_EQ("42000", Outcome("select {fn LEFT(name)} from f"));

    // Literals, in the short and the long form, in the form LibreOffice's
    // table filter sends, and as a character parameter bound to the column.
    EXPECT_EQ("1", st->Scalar("select id from f where datum = {d '2004-03-31' }"));
    EXPECT_EQ("1", st->Scalar("select id from f where ts = {ts '2004-03-31 13:45:10'}"));
    EXPECT_EQ("1", st->Scalar("select count(*) from f where ts > {ts '2004-03-31 13:45:09.5'}"));
    EXPECT_EQ("1", st->Scalar("select id from f where datum = "
                              "--(*vendor(Microsoft),product(ODBC) d '2004-03-31' *)--"));
    st->MustExec("create table zeiten (id integer, zeit " + TypeOf(SQL_TYPE_TIME) + ")");
    st->MustExec("insert into zeiten (id, zeit) values (1, {t '13:45:10'})");
    EXPECT_EQ("13:45:10", st->Scalar("select zeit from zeiten"));
    ASSERT_EQ(SQL_SUCCESS,
              WithText("select id from f where datum = ?", "{d '2004-03-31'}", SQL_VARCHAR));
    EXPECT_EQ(std::vector<std::string>{"1"}, Rows());
    // Braces inside literals and quoted names are text.
    EXPECT_EQ("{d '1'}", st->Scalar("select '{d ''1''}' from f"));
    // Dates that do not exist, text that is no date, escapes not closed or unknown.
    EXPECT_EQ("22008", Outcome("select id from f where datum = {d '2004-02-30'}"));
    EXPECT_EQ("22008", Outcome("select id from f where ts = {ts '2004-03-31 24:00:00'}"));
    EXPECT_EQ("22007", Outcome("select id from f where datum = {d '31.03.2004'}"));
    EXPECT_EQ("42000", Outcome("select id from f where datum = {d '2004-03-31'"));
    EXPECT_EQ("42000", Outcome("select {guid '1'} from f"));

    // Outer joins, left, right, full and nested, and the LIKE escape.
    st->MustExec("create table b (aid integer, v " + Varchar(10) + ")");
    st->MustExec("create table c (bid integer, w " + Varchar(10) + ")");
    st->MustExec("insert into f (id, name) values (2, 'a_b')");
    st->MustExec("insert into f (id, name) values (3, 'axb')");
    st->MustExec("insert into b (aid, v) values (1, 'eins')");
    st->MustExec("insert into b (aid, v) values (9, 'neun')");
    st->MustExec("insert into c (bid, w) values (1, 'x')");
    const SQLUINTEGER oj = InfoMask(SQL_OJ_CAPABILITIES);
    EXPECT_EQ(SQLUINTEGER(SQL_OJ_LEFT | SQL_OJ_RIGHT | SQL_OJ_FULL | SQL_OJ_NESTED |
                          SQL_OJ_NOT_ORDERED | SQL_OJ_INNER | SQL_OJ_ALL_COMPARISON_OPS),
              oj);
    st->MustExec(
        "select f.id, b.v, c.w from {oj f left outer join b on f.id = b.aid left outer "
        "join c on b.aid = c.bid} order by f.id");
    EXPECT_EQ((std::vector<std::string>{"1|eins|x", "2|<null>|<null>", "3|<null>|<null>"}), Rows());
    st->MustExec(
        "select b.v, f.id from {oj b right outer join f on b.aid >= f.id} "
        "where f.id = 1 order by b.v");
    EXPECT_EQ((std::vector<std::string>{"eins|1", "neun|1"}), Rows());
    st->MustExec(
        "select f.id, b.v from {oj f full outer join b on f.id = b.aid} "
        "where f.id is null or b.v is null order by f.id");
    EXPECT_EQ((std::vector<std::string>{"<null>|neun", "2|<null>", "3|<null>"}), Rows());
    EXPECT_EQ("Y", InfoText(SQL_LIKE_ESCAPE_CLAUSE));
    EXPECT_EQ("2", st->Scalar("select id from f where name like 'a\\_%' {escape '\\'}"));

    // Procedure calls where the engine has procedures.
    if (IsFirebird()) {
        EXPECT_EQ("Y", InfoText(SQL_PROCEDURES));
        st->MustExec(
            "create procedure twice (x integer) returns (y integer) as "
            "begin y = x * 2; suspend; y = x * 3; suspend; end");
        st->MustExec(
            "create procedure half (x integer) returns (y integer) as "
            "begin y = x / 2; end");
        st->MustExec("{call twice(21)}");
        EXPECT_EQ((std::vector<std::string>{"42", "63"}), Rows());
        ASSERT_EQ(SQL_SUCCESS, WithText("{call half(?)}", "84", SQL_INTEGER));
        EXPECT_EQ(std::vector<std::string>{"42"}, Rows());
        EXPECT_EQ("HYC00", Outcome("{?= call half(2)}"));
    } else {
        EXPECT_EQ("N", InfoText(SQL_PROCEDURES));
        EXPECT_EQ("HYC00", Outcome("{call twice(21)}"));
    }

    // SQL_ATTR_NOSCAN hands the text to the engine as written.
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(st->h, SQL_ATTR_NOSCAN, (SQLPOINTER)SQL_NOSCAN_ON, 0));
    SQLULEN noscan = 0;
    SQLGetStmtAttr(st->h, SQL_ATTR_NOSCAN, &noscan, 0, nullptr);
    EXPECT_EQ(SQLULEN(SQL_NOSCAN_ON), noscan);
    EXPECT_EQ("42000", Outcome("select id from f where datum = {d '2004-03-31'}"));
}

TEST_P(DriverEscapes, DatesThatDoNotExistAreRefusedAndTextDatesReadAsDates) {
    st->MustExec("create table d (id integer, datum " + TypeOf(SQL_TYPE_DATE) + ", ts " +
                 TypeOf(SQL_TYPE_TIMESTAMP) + ")");
    auto insertStruct = [&](SQLSMALLINT cType, SQLSMALLINT sqlType, void* value) {
        st->Close();
        SQLFreeStmt(st->h, SQL_RESET_PARAMS);
        SQLLEN ind = 0;
        SQLBindParameter(st->h, 1, SQL_PARAM_INPUT, cType, sqlType, 0, 0, value, 0, &ind);
        SQLRETURN rc = SQLExecDirect(
            st->h,
            (SQLCHAR*)(sqlType == SQL_TYPE_DATE ? "insert into d (id, datum) values (1, ?)"
                                                : "insert into d (id, ts) values (1, ?)"),
            SQL_NTS);
        return rc == SQL_ERROR ? State() : std::string("ok");
    };
    // Structures: a month 13, a 30 February, an hour 25.
    SQL_DATE_STRUCT month13{2020, 13, 45};
    SQL_TIMESTAMP_STRUCT feb30{2020, 2, 30, 25, 61, 61, 0};
    SQL_TIMESTAMP_STRUCT hour25{2020, 2, 28, 25, 0, 0, 0};
    SQL_TIME_STRUCT minute61{12, 61, 0};
    EXPECT_EQ("22008", insertStruct(SQL_C_TYPE_DATE, SQL_TYPE_DATE, &month13));
    EXPECT_EQ("22008", insertStruct(SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, &feb30));
    EXPECT_EQ("22008", insertStruct(SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, &hour25));
    EXPECT_EQ("22008", insertStruct(SQL_C_TYPE_TIME, SQL_TYPE_TIMESTAMP, &minute61));

    // Text declared as a date, or as text for a date column: a form ODBC
    // writes whose date does not exist is 22008, text of no date form 22007
    // (22018 where the engine reads its own forms).
    auto insertText = [&](const std::string& value, SQLSMALLINT sqlType) {
        SQLRETURN rc = WithText("insert into d (id, ts) values (2, ?)", value, sqlType);
        return rc == SQL_ERROR ? State() : std::string("ok");
    };
    EXPECT_EQ("22008", insertText("2020-02-30", SQL_TYPE_DATE));
    EXPECT_EQ("22008", insertText("2020-02-30", SQL_VARCHAR));
    EXPECT_EQ("22008", insertText("2021-02-29 10:00:00", SQL_VARCHAR));
    EXPECT_EQ("22008", insertText("{ts '2020-02-28 24:00:00'}", SQL_VARCHAR));
    EXPECT_EQ("22007", insertText("30.02.2020", SQL_TYPE_TIMESTAMP));
    EXPECT_EQ("0", st->Scalar("select count(*) from d"));

    // A valid date as text is taken for a date column, and a text date in a
    // comparison finds the row on both kinds.
    EXPECT_EQ("ok", insertText("2020-02-29", SQL_VARCHAR));
    EXPECT_EQ("ok", insertText("2020-02-29 13:45:10", SQL_CHAR));
    st->MustExec("insert into d (id, datum) values (3, '2004-03-31')");
    EXPECT_EQ((std::vector<std::string>{"2020-02-29 00:00:00", "2020-02-29 13:45:10"}),
              (st->MustExec("select ts from d where id = 2 order by ts"), Rows()));
    EXPECT_EQ("3", st->Scalar("select id from d where datum = '2004-03-31'"));
    EXPECT_EQ("3", st->Scalar("select id from d where '2004-03-31' = datum"));
    EXPECT_EQ("2", st->Scalar("select count(*) from d where ts >= '2020-02-29'"));
    EXPECT_EQ("1", st->Scalar("select count(*) from d where ts = '2020-02-29 13:45:10'"));
    st->MustExec("update d set datum = '2004-04-01' where id = 3");
    EXPECT_EQ("2004-04-01", st->Scalar("select datum from d where id = 3"));
    // A literal date that does not exist is refused.
    const std::string literal = Outcome("insert into d (id, datum) values (4, '2020-02-30')");
    EXPECT_TRUE(literal == "22007" || literal == "22008") << literal;
    const std::string compared = Outcome("select id from d where datum = '2020-02-30'");
    EXPECT_TRUE(compared == "22007" || compared == "22008") << compared;
    EXPECT_EQ("3", st->Scalar("select count(*) from d"));

    // One rule for text in a date position, literal and parameter alike:
    // blanks around it ignored, ODBC's forms taken, text in no date form
    // 22007, a date that does not exist 22008. Firebird's engine reads the
    // literals and the parameters in no ODBC form itself: it takes forms of
    // its own, gives 22018 for text in none, and takes no timestamp as a
    // literal for a date column.
    auto count = [&](SQLRETURN rc) {
        std::string result = State();
        if (SQL_SUCCEEDED(rc)) rc = SQLFetch(st->h);
        if (SQL_SUCCEEDED(rc)) result = st->Text(1);
        if (rc == SQL_ERROR) result = State();
        st->Close();
        SQLFreeStmt(st->h, SQL_RESET_PARAMS);
        return result;
    };
    struct Case {
        std::string text;
        std::string access;  // literal and parameter
        std::string firebirdLiteral, firebirdParameter;
    };
    const Case cases[] = {
        {"  2004-04-01  ", "1", "1", "1"},         {"2004-04-01 00:00:00", "1", "22018", "1"},
        {"{d '2004-04-01'}", "1", "22018", "1"},   {"2004/04/01", "22007", "1", "1"},
        {"01.04.2004", "22007", "1", "1"},         {"2004-04-01 13:00", "22007", "22018", "22018"},
        {"xyz", "22007", "22018", "22018"},        {"", "22007", "22018", "22018"},
        {"2004-02-30", "22008", "22008", "22008"},
    };
    for (const Case& c : cases) {
        std::string quoted;
        for (char ch : c.text) quoted += ch == '\'' ? "''" : std::string(1, ch);
        const std::string literal = "select count(*) from d where datum = '" + quoted + "'";
        const std::string parameter = "select count(*) from d where datum = ?";
        EXPECT_EQ(IsFirebird() ? c.firebirdLiteral : c.access, count(st->Exec(literal))) << literal;
        EXPECT_EQ(IsFirebird() ? c.firebirdParameter : c.access,
                  count(WithText(parameter, c.text, SQL_VARCHAR)))
            << "parameter '" << c.text << "'";
    }
    // On the Access kind also in the other date positions, and never in a
    // LIKE pattern.
    if (!IsFirebird()) {
        EXPECT_EQ("1",
                  count(st->Exec("select count(*) from d where datum between ' 2004-03-01' "
                                 "and '2004-04-01 ' and datum in ('2004-04-01 ', '2004-05-01')")));
        EXPECT_EQ("22007", count(st->Exec("select count(*) from d where datum between 'x' and "
                                          "'2004-04-01'")));
        EXPECT_EQ("22007",
                  count(WithText("select count(*) from d where datum in (?)", "x", SQL_VARCHAR)));
        EXPECT_EQ("1", count(st->Exec("select count(*) from d where datum like '2004-04%'")));
        EXPECT_EQ("1", count(WithText("select count(*) from d where datum like ?", "2004-04%",
                                      SQL_VARCHAR)));
    }
}

INSTANTIATE_TEST_SUITE_P(Drivers, DriverEscapes, ::testing::ValuesIn(ProfileNames()),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

}  // namespace
}  // namespace drivertest
