// The copy's inserts from markers and bound values store what its literal
// inserts store, byte for byte, for every column type of both kinds.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>

#include "archive/rows/BinaryValues.h"
#include "archive/rows/ColumnText.h"
#include "archive/rows/PidList.h"
#include "archive/rows/SqlLiteral.h"
#include "archive/rows/TableCopy.h"
#include "core/Globals.h"
#include "db/ODBCStmt.h"
#include "tests/archive/ArchiveFixture.h"

namespace archivetest {
namespace {

using BoundInsertTest = ArchiveTest;

std::string Hex(const void* data, size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    const auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

// Every row of the table by pid, each column read in the C type that holds
// its value whole (numbers of fixed point as text), as hex.
std::vector<std::vector<std::string>> Stored(ArchiveDbPair& db, const std::string& table) {
    std::vector<std::vector<std::string>> rows;
    ODBCStmt stmt(db.Connection);
    EXPECT_TRUE(stmt.ExecDirect("select * from " + table + " order by pid"));
    const SQLHSTMT h = stmt.Handle();
    SQLSMALLINT count = 0;
    SQLNumResultCols(h, &count);
    std::vector<SQLSMALLINT> types;
    for (SQLSMALLINT i = 1; i <= count; ++i) {
        SQLSMALLINT type = 0;
        SQLDescribeCol(h, SQLUSMALLINT(i), nullptr, 0, nullptr, &type, nullptr, nullptr, nullptr);
        types.push_back(type);
    }
    while (SQL_SUCCEEDED(SQLFetch(h))) {
        std::vector<std::string> row;
        for (SQLSMALLINT i = 1; i <= count; ++i) {
            const SQLSMALLINT type = types[size_t(i - 1)];
            SQLLEN indicator = 0;
            std::string value;
            char buffer[64] = {0};
            auto fixed = [&](SQLSMALLINT cType, size_t size) {
                EXPECT_TRUE(SQL_SUCCEEDED(
                    SQLGetData(h, SQLUSMALLINT(i), cType, buffer, sizeof buffer, &indicator)));
                value = Hex(buffer, size);
            };
            switch (type) {
                case SQL_BIT:
                case SQL_TINYINT:
                case SQL_SMALLINT:
                case SQL_INTEGER:
                case SQL_BIGINT:
                    fixed(SQL_C_SBIGINT, 8);
                    break;
                case SQL_DOUBLE:
                case SQL_FLOAT:
                case SQL_REAL:
                    fixed(SQL_C_DOUBLE, 8);
                    break;
                case SQL_TYPE_DATE:
                    fixed(SQL_C_TYPE_DATE, sizeof(SQL_DATE_STRUCT));
                    break;
                case SQL_TYPE_TIME:
                    fixed(SQL_C_TYPE_TIME, sizeof(SQL_TIME_STRUCT));
                    break;
                case SQL_TYPE_TIMESTAMP:
                    fixed(SQL_C_TYPE_TIMESTAMP, sizeof(SQL_TIMESTAMP_STRUCT));
                    break;
                case SQL_BINARY:
                case SQL_VARBINARY:
                case SQL_LONGVARBINARY:
                    EXPECT_TRUE(ReadColumnBytes(h, SQLUSMALLINT(i), value, indicator));
                    value = Hex(value.data(), value.size());
                    break;
                default:
                    EXPECT_TRUE(ReadColumnText(h, SQLUSMALLINT(i), value, indicator));
                    value = Hex(value.data(), value.size());
                    break;
            }
            row.push_back(indicator == SQL_NULL_DATA ? "null" : value);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

// On the Access kind, the SQLite file's own storage: type and bytes of
// every value.
std::vector<std::string> Storage(const std::string& file, const std::string& table,
                                 const std::vector<std::string>& columns) {
    std::vector<std::string> out;
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    std::string sql = "select ";
    for (const std::string& c : columns)
        sql += (c == columns.front() ? "" : ", ") + std::string("typeof(\"") + c + "\"), hex(\"" +
               c + "\")";
    sql += " from " + table + " order by pid";
    sqlite3_stmt* stmt = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    while (stmt && sqlite3_step(stmt) == SQLITE_ROW)
        for (int i = 0; i < sqlite3_column_count(stmt); ++i)
            out.push_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)));
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return out;
}

TEST_P(BoundInsertTest, StoresWhatTheLiteralInsertStoresForEveryColumnType) {
    Install(PracticePatients);
    const bool fb = Kind() == DatabaseKind::Firebird;
    ArchiveDbPair& main = set_->MainDatabase();
    ArchiveDbPair& archive = set_->Archive;
    const std::string create =
        fb ? "create table alltypes (pid integer, n_small smallint, n_int integer, n_big bigint, "
             "n_num numeric(12,2), n_dec decimal(18,4), n_dbl double precision, n_flt float, "
             "d_date date, d_time time, d_stamp timestamp, t_char char(10), t_var varchar(40), "
             "t_memo blob sub_type text, b_blob blob sub_type binary, b_var varchar(16) "
             "character set octets, f_bool boolean, \"text\" varchar(20))"
           : "create table alltypes (pid integer, n_small smallint, n_int integer, n_byte byte, "
             "n_dbl double, n_sgl single, n_cur currency, d_date date, d_time time, d_stamp "
             "datetime, t_char char(10), t_var text(40), t_memo memo, b_blob longbinary, b_var "
             "varbinary(16), f_bool bit, \"text\" text(20))";
    Exec(main, create);
    Exec(archive, create);
    const std::string q = fb ? "'" : "#";
    const std::string yes = fb ? "true" : "1";
    const std::string columns =
        fb ? "pid, n_small, n_int, n_big, n_num, n_dec, n_dbl, n_flt, d_date, d_time, d_stamp, "
             "t_char, t_var, t_memo, f_bool, \"text\""
           : "pid, n_small, n_int, n_byte, n_dbl, n_sgl, n_cur, d_date, d_time, d_stamp, t_char, "
             "t_var, t_memo, f_bool, \"text\"";
    std::string memo;
    for (int i = 0; memo.size() < 100 * 1024; ++i)
        memo += "Zeile " + std::to_string(i) + ": ä'ß\r\n";
    // A fraction of a second only where a literal can carry one.
    const std::string fraction = fb ? ".1234" : "";
    auto row = [&](int pid, const std::string& values) {
        Exec(main, "insert into alltypes (" + columns + ") values (" + std::to_string(pid) + ", " +
                       values + ")");
    };
    // Values of every kind, with quotes, umlauts and trailing blanks.
    const std::string numbers1 =
        fb ? "-32768, 2147483647, -9007199254740993, -12.34, 99999999999999.9999, " +
                 DoubleLiteral(1.0 / 3.0) + ", " + DoubleLiteral(0.1)
           : "-32768, 2147483647, 255, " + DoubleLiteral(1.0 / 3.0) + ", " + DoubleLiteral(0.1) +
                 ", -12.34";
    row(1, numbers1 + ", " + q + "1899-12-30" + q + ", " + q + "23:59:59" + q + ", " + q +
               "2020-02-29 08:05:09" + fraction + q + ", 'O''Brien', 'Größ  ', " +
               TextLiteral(memo) + ", " + yes + ", 'x'");
    // Nothing but the pid.
    std::string nulls = "null";
    for (int i = 0; i < (fb ? 14 : 13); ++i) nulls += ", null";
    row(2, nulls);
    // Empty texts, zeros, extremes.
    const std::string numbers3 =
        fb ? "0, -2147483648, 0, 0, 0, " + DoubleLiteral(1e300) + ", " + DoubleLiteral(-1e-7)
           : "0, -2147483648, 0, " + DoubleLiteral(1e300) + ", " + DoubleLiteral(-1e-7) + ", 0";
    row(3, numbers3 + ", " + q + "2099-12-31" + q + ", " + q + "00:00:00" + q + ", " + q +
               "1970-01-01 00:00:00" + q + ", '', '', '', " + (fb ? "false" : "0") + ", ''");
    // The columns of the first row again, the texts longer, the memo and
    // the bytes shorter: the same prepared insert takes them.
    row(4, numbers1 + ", " + q + "2000-01-01" + q + ", " + q + "12:00:00" + q + ", " + q +
               "2001-02-03 04:05:06" + q +
               ", 'Zehn Bytes', 'a text longer than the first row''s', 'kurz', " + yes +
               ", 'a longer text'");
    // Binary values of every length, with zero bytes, bound as the run binds them.
    std::string blob(70000, '\0');
    for (size_t i = 0; i < blob.size(); ++i) blob[i] = char(i * 7 % 256);
    const std::vector<std::pair<int, std::vector<std::string>>> binary{
        {1, {blob, std::string("\0\x01\xff", 3)}},
        {3, {std::string(), std::string()}},
        {4, {std::string("\x07\0", 2), std::string(16, '\xee')}}};
    for (const auto& [pid, values] : binary) {
        BinaryValues bound;
        for (const std::string& v : values) bound.Add(v);
        ODBCStmt stmt(main.Connection);
        ASSERT_TRUE(bound.Bind(stmt.Handle()));
        ASSERT_TRUE(stmt.ExecDirect("update alltypes set b_blob = ?, b_var = ? where pid = " +
                                    std::to_string(pid)));
    }

    archive.Tables += ",alltypes";
    const std::vector<std::string> parts = SplitPidList("1,2,3,4");
    std::vector<std::vector<std::vector<std::string>>> stored;
    std::vector<std::vector<std::string>> storage;
    std::vector<RowsPrint> prints;
    for (const bool literal : {false, true}) {
        TableCopy copy(parts, nullptr);
        copy.SetLiteralInserts(literal);
        int64_t rows = 0;
        RowsPrint print;
        EXPECT_TRUE(copy.Copy(main, "alltypes", set_->ArchiveList, rows, &print)) << literal;
        EXPECT_EQ(rows, 4) << literal;
        prints.push_back(print);
        stored.push_back(Stored(archive, "alltypes"));
        if (!fb)
            storage.push_back(Storage(
                (dir_.path() / "Database" / "archiv.mdb").string(), "alltypes",
                {"pid", "n_small", "n_int", "n_byte", "n_dbl", "n_sgl", "n_cur", "d_date", "d_time",
                 "d_stamp", "t_char", "t_var", "t_memo", "b_blob", "b_var", "f_bool", "text"}));
        Exec(archive, "delete from alltypes");
    }
    ASSERT_EQ(stored[0].size(), 4u);
    EXPECT_EQ(stored[0], stored[1]);
    EXPECT_EQ(storage.size() == 2 ? storage[0] : std::vector<std::string>(),
              storage.size() == 2 ? storage[1] : std::vector<std::string>());
    EXPECT_EQ(prints[0], prints[1]);
    // The copy of the row with every value holds the source's values.
    const std::vector<std::vector<std::string>> source = Stored(main, "alltypes");
    ASSERT_EQ(source.size(), 4u);
    EXPECT_EQ(stored[0][0], source[0]);
    for (const auto& line : LogLines()) EXPECT_NE(line.colour, ColourRed) << line.text;
}

INSTANTIATE_TEST_SUITE_P(Kinds, BoundInsertTest,
                         testing::Values(DatabaseKind::Firebird, DatabaseKind::Access), KindName);

}  // namespace
}  // namespace archivetest
