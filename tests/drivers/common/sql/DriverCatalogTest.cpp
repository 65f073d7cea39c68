// The catalog as clients such as LibreOffice, DBI and pyodbc read it, on both
// kinds: keys, indexes and row identifiers from the engine's own catalog,
// search patterns with NULL arguments and the escape character, the data
// types, and result columns described alike before execution, after it and
// in the catalog. Also the statement functions those clients rely on.
#include <algorithm>
#include <cctype>

#include "core/AsciiText.h"
#include "tests/drivers/DriverFixture.h"

namespace drivertest {
namespace {

using asciitext::Lower;

using DriverCatalog = DriverFixture;

// Rows in lower case, some columns only (1-based), sorted unless `keepOrder`.
std::vector<std::string> Pick(const std::vector<std::string>& rows, std::vector<size_t> columns,
                              bool keepOrder = false) {
    std::vector<std::string> out;
    for (const std::string& row : rows) {
        std::vector<std::string> cells;
        size_t at = 0;
        for (;;) {
            size_t bar = row.find('|', at);
            cells.push_back(row.substr(at, bar == std::string::npos ? bar : bar - at));
            if (bar == std::string::npos) break;
            at = bar + 1;
        }
        std::string picked;
        for (size_t c : columns) picked += (picked.empty() ? "" : "|") + Lower(cells.at(c - 1));
        out.push_back(picked);
    }
    if (!keepOrder) std::sort(out.begin(), out.end());
    return out;
}

SQLCHAR* Sql(const char* s) {
    return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s));
}

TEST_P(DriverCatalog, KeysIndexesAndRowIdentifiersComeFromTheEngine) {
    const std::string integer = P().integerType;
    st->MustExec("create table k (aid " + integer + " not null, pid " + integer +
                 " not null, name " + Varchar(40) + ", ort " + Varchar(40) +
                 ", primary key (aid, pid))");
    st->MustExec("create unique index k_name on k (name)");
    st->MustExec("create index k_ort on k (ort)");
    st->MustExec("create table nokey (x " + integer + ")");
    st->MustExec("create table coded (code " + Varchar(10) + " not null, x " + integer + ")");
    st->MustExec("create unique index coded_code on coded (code)");

    ASSERT_EQ(SQL_SUCCESS, SQLPrimaryKeys(st->h, nullptr, 0, nullptr, 0, Sql("k"), SQL_NTS));
    SQLSMALLINT columns = 0;
    SQLNumResultCols(st->h, &columns);
    EXPECT_EQ(6, columns);
    EXPECT_EQ((std::vector<std::string>{"k|aid|1", "k|pid|2"}), Pick(Rows(), {3, 4, 5}));
    ASSERT_EQ(SQL_SUCCESS, SQLPrimaryKeys(st->h, nullptr, 0, nullptr, 0, Sql("nokey"), SQL_NTS));
    EXPECT_TRUE(Rows().empty());

    ASSERT_EQ(SQL_SUCCESS, SQLStatistics(st->h, nullptr, 0, nullptr, 0, Sql("k"), SQL_NTS,
                                         SQL_INDEX_ALL, SQL_QUICK));
    std::vector<std::string> stats = Rows();
    ASSERT_EQ(5u, stats.size());
    // The table's own row comes first, then the unique indexes.
    EXPECT_EQ("k|<null>|<null>|0", Pick({stats[0]}, {3, 4, 6, 7}).front());
    std::vector<std::string> indexes(stats.begin() + 1, stats.end());
    std::vector<std::string> nonUnique = Pick(indexes, {4}, true);
    EXPECT_TRUE(std::is_sorted(nonUnique.begin(), nonUnique.end()));
    std::vector<std::string> named = Pick(indexes, {4, 6, 8, 9, 10});
    EXPECT_EQ("0|k_name|1|name|a", named[0]);
    EXPECT_EQ((std::vector<std::string>{"0|1|aid|a", "0|2|pid|a"}),
              Pick({named[1], named[2]}, {1, 3, 4, 5}));
    EXPECT_EQ("1|k_ort|1|ort|a", named[3]);
    ASSERT_EQ(SQL_SUCCESS, SQLStatistics(st->h, nullptr, 0, nullptr, 0, Sql("k"), SQL_NTS,
                                         SQL_INDEX_UNIQUE, SQL_QUICK));
    EXPECT_EQ(4u, Rows().size());

    auto special = [&](SQLUSMALLINT type, const char* table) {
        EXPECT_EQ(SQL_SUCCESS, SQLSpecialColumns(st->h, type, nullptr, 0, nullptr, 0, Sql(table),
                                                 SQL_NTS, SQL_SCOPE_SESSION, SQL_NO_NULLS));
        return Pick(Rows(), {1, 2, 3, 8}, true);
    };
    EXPECT_EQ((std::vector<std::string>{"2|aid|4|1", "2|pid|4|1"}), special(SQL_BEST_ROWID, "k"));
    EXPECT_EQ((std::vector<std::string>{"2|code|12|1"}), special(SQL_BEST_ROWID, "coded"));
    EXPECT_TRUE(special(SQL_BEST_ROWID, "nokey").empty());
    EXPECT_TRUE(special(SQL_ROWVER, "k").empty());

    // Neither kind reports relationships or procedures: empty, in shape.
    ASSERT_EQ(SQL_SUCCESS, SQLForeignKeys(st->h, nullptr, 0, nullptr, 0, Sql("k"), SQL_NTS, nullptr,
                                          0, nullptr, 0, nullptr, 0));
    SQLNumResultCols(st->h, &columns);
    EXPECT_EQ(14, columns);
    EXPECT_TRUE(Rows().empty());
    ASSERT_EQ(SQL_SUCCESS, SQLProcedures(st->h, nullptr, 0, nullptr, 0, nullptr, 0));
    SQLNumResultCols(st->h, &columns);
    EXPECT_EQ(8, columns);
    EXPECT_TRUE(Rows().empty());
}

TEST_P(DriverCatalog, ColumnsAndTablesTakePatternsNullsAndTheEscape) {
    const std::string integer = P().integerType;
    st->MustExec("create table pat_a (n1 " + integer + ", n2 " + integer + ", m " + integer + ")");
    st->MustExec("create table patxa (n1 " + integer + ")");
    st->MustExec("create table other (n1 " + integer + ")");
    auto columns = [&](SQLCHAR* table, SQLCHAR* column) {
        EXPECT_EQ(SQL_SUCCESS, SQLColumns(st->h, nullptr, 0, nullptr, 0, table, table ? SQL_NTS : 0,
                                          column, column ? SQL_NTS : 0));
        return Pick(Rows(), {3, 4, 17});
    };
    EXPECT_EQ((std::vector<std::string>{"other|n1|1", "pat_a|m|3", "pat_a|n1|1", "pat_a|n2|2",
                                        "patxa|n1|1"}),
              columns(nullptr, nullptr));
    EXPECT_EQ((std::vector<std::string>{"pat_a|m|3", "pat_a|n1|1", "pat_a|n2|2", "patxa|n1|1"}),
              columns(Sql("pat%"), nullptr));
    EXPECT_EQ((std::vector<std::string>{"pat_a|m|3", "pat_a|n1|1", "pat_a|n2|2"}),
              columns(Sql("PAT\\_A"), nullptr));
    EXPECT_EQ((std::vector<std::string>{"pat_a|n1|1", "pat_a|n2|2", "patxa|n1|1"}),
              columns(Sql("pat%"), Sql("N%")));
    EXPECT_TRUE(columns(Sql("pat"), nullptr).empty());
    // The engine's own tables, left out of the lists, are still found by name.
    if (IsFirebird()) {
        EXPECT_EQ(4u, columns(Sql("RDB$INDEX_SEGMENTS"), nullptr).size());
    }

    auto tables = [&](SQLCHAR* catalog, SQLCHAR* schema, SQLCHAR* table, SQLCHAR* types) {
        EXPECT_EQ(SQL_SUCCESS,
                  SQLTables(st->h, catalog, catalog ? SQL_NTS : 0, schema, schema ? SQL_NTS : 0,
                            table, table ? SQL_NTS : 0, types, types ? SQL_NTS : 0));
        return Pick(Rows(), {3, 4});
    };
    EXPECT_EQ((std::vector<std::string>{"other|table", "pat_a|table", "patxa|table"}),
              tables(nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ((std::vector<std::string>{"pat_a|table"}),
              tables(nullptr, nullptr, Sql("pat\\_%"), Sql("'TABLE','VIEW'")));
    EXPECT_TRUE(tables(nullptr, nullptr, nullptr, Sql("VIEW")).empty());
    // The list of table types, asked with empty or left-out arguments.
    const std::vector<std::string> types{"<null>|table", "<null>|view"};
    EXPECT_EQ(types, tables(nullptr, nullptr, nullptr, Sql("%")));
    EXPECT_EQ(types, tables(Sql(""), Sql(""), Sql(""), Sql("%")));
    EXPECT_TRUE(tables(Sql("%"), Sql(""), Sql(""), nullptr).empty());
}

TEST_P(DriverCatalog, TypeInfoListsEveryTypeTheColumnsReport) {
    std::string ddl = "create table every (";
    for (size_t i = 0; i < P().types.size(); ++i)
        ddl += (i ? ", c" : "c") + std::to_string(i) + " " + P().types[i].ddl;
    st->MustExec(ddl + ")");
    ASSERT_EQ(SQL_SUCCESS,
              SQLColumns(st->h, nullptr, 0, nullptr, 0, Sql("every"), SQL_NTS, nullptr, 0));
    std::vector<std::string> used = Pick(Rows(), {6, 5});

    ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(st->h, SQL_ALL_TYPES));
    SQLSMALLINT columns = 0;
    SQLNumResultCols(st->h, &columns);
    EXPECT_EQ(19, columns);
    std::vector<std::string> all = Rows();
    std::vector<std::string> known = Pick(all, {1, 2});
    for (const std::string& u : used)
        EXPECT_TRUE(std::binary_search(known.begin(), known.end(), u)) << u;
    std::vector<int> order;
    for (const std::string& t : Pick(all, {2}, true)) order.push_back(std::stoi(t));
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));

    ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(st->h, SQL_VARCHAR));
    EXPECT_EQ((std::vector<std::string>{"varchar|12"}), Pick(Rows(), {1, 2}));
}

// The size and digits of every type, in the result of a prepared statement
// before and after its execution, and in SQLColumns.
TEST_P(DriverCatalog, ResultsAndCatalogDescribeColumnsAlike) {
    int i = 0;
    for (const TypeCase& t : P().types) {
        SCOPED_TRACE(t.ddl);
        std::string table = "sized" + std::to_string(++i);
        st->MustExec("create table " + table + " (v " + t.ddl + ")");
        ASSERT_EQ(SQL_SUCCESS, SQLColumns(st->h, nullptr, 0, nullptr, 0, Sql(table.c_str()),
                                          SQL_NTS, nullptr, 0));
        std::string catalog = Pick(Rows(), {5, 7, 9}).at(0);
        if (catalog.back() == '>') catalog = catalog.substr(0, catalog.rfind('|')) + "|0";

        const std::string query = "select v from " + table;
        ASSERT_EQ(SQL_SUCCESS, SQLPrepare(st->h, Sql(query.c_str()), SQL_NTS));
        auto describe = [&] {
            SQLCHAR name[64];
            SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
            SQLULEN size = 0;
            EXPECT_EQ(SQL_SUCCESS, SQLDescribeCol(st->h, 1, name, sizeof name, &length, &type,
                                                  &size, &digits, &nullable));
            return std::to_string(type) + "|" + std::to_string(size) + "|" + std::to_string(digits);
        };
        EXPECT_EQ(catalog, describe()) << "prepared";
        ASSERT_EQ(SQL_SUCCESS, SQLExecute(st->h));
        EXPECT_EQ(catalog, describe()) << "executed";
        st->Close();
    }
}

TEST_P(DriverCatalog, PreparedQueriesRunAgainAndFetchForwardOnly) {
    st->MustExec("create table r (id " + P().integerType + ", name " + Varchar(40) + ")");
    for (int id = 1; id <= 3; ++id)
        st->MustExec("insert into r (id, name) values (" + std::to_string(id) + ", 'n" +
                     std::to_string(id) + "')");
    ASSERT_EQ(SQL_SUCCESS,
              SQLPrepare(st->h, Sql("select id, name from r where id >= ? order by id"), SQL_NTS));
    SQLSMALLINT columns = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLNumResultCols(st->h, &columns));
    EXPECT_EQ(2, columns);
    SQLINTEGER from = 1;
    SQLBindParameter(st->h, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &from, 0, nullptr);
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(st->h));
    EXPECT_EQ(3u, Rows().size());
    from = 2;
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(st->h));
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(st->h, SQL_FETCH_NEXT, 0));
    EXPECT_EQ("2", st->Text(1));
    EXPECT_EQ(SQL_ERROR, SQLFetchScroll(st->h, SQL_FETCH_FIRST, 0));
    EXPECT_EQ("HY106", State());
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(st->h, SQL_FETCH_NEXT, 0));
    EXPECT_EQ("n3", st->Text(2));
    EXPECT_EQ(SQL_NO_DATA, SQLFetchScroll(st->h, SQL_FETCH_NEXT, 0));
    st->Close();
    SQLFreeStmt(st->h, SQL_RESET_PARAMS);

    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(st->h, Sql("delete from r where id = 99"), SQL_NTS));
    EXPECT_EQ(SQL_SUCCESS, SQLNumResultCols(st->h, &columns));
    EXPECT_EQ(0, columns);
    EXPECT_EQ(SQL_NO_DATA, SQLExecute(st->h));
    // The engine checks the text when it is prepared.
    EXPECT_EQ(SQL_ERROR, SQLPrepare(st->h, Sql("select nosuchcolumn from r"), SQL_NTS));
    EXPECT_EQ(SQL_ERROR, SQLExecute(st->h));
    EXPECT_EQ("HY010", State());
}

// Access refuses a division by zero as Firebird does (SQLSTATE 22012), and
// divides as its own "/" does; each kind keeps its own arithmetic otherwise.
TEST_P(DriverCatalog, DivisionByZeroIsAnError) {
    st->MustExec("create table z (a " + P().integerType + ", b " + P().integerType + ")");
    st->MustExec("insert into z (a, b) values (7, 0)");
    auto fails = [&](const std::string& sql) {
        SCOPED_TRACE(sql);
        SQLRETURN rc = st->Exec(sql);
        if (SQL_SUCCEEDED(rc)) rc = SQLFetch(st->h);
        EXPECT_EQ(SQL_ERROR, rc);
        EXPECT_EQ("22012", State());
        st->Close();
    };
    fails("select a / b from z");
    fails("select 1 / (b * 2) from z");
    EXPECT_EQ(IsFirebird() ? "3" : "3.5", st->Scalar("select a / 2 from z"));
    EXPECT_EQ("<null>", st->Scalar("select a / null from z"));
    if (!IsFirebird()) {
        fails("select a mod b from z");
        EXPECT_EQ("1", st->Scalar("select a mod 3 from z"));
        EXPECT_EQ("3.5", st->Scalar("select (a + b) / -(-2) from z"));
    }
}

INSTANTIATE_TEST_SUITE_P(Drivers, DriverCatalog, ::testing::ValuesIn(ProfileNames()),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

}  // namespace
}  // namespace drivertest
