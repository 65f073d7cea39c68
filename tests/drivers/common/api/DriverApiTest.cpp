// Behaviour every driver shares, exercised on the raw ODBC API through
// unixODBC, once per registered driver profile.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/AsciiText.h"
#include "tests/drivers/DriverFixture.h"
#include "tests/drivers/DriverProfile.h"
#include "tests/drivers/OdbcTestHandles.h"
#include "tests/fixtures/FirebirdSupport.h"
#include "tests/fixtures/TestEnv.h"

namespace drivertest {
namespace {

using asciitext::EscapeQuotes;

const std::string kCp1252Text =
    "M\xE4\xDFig \x95 \xBB"
    "Arzt\xAB d'Arc";

long ResidentKilobytes() {
    std::ifstream in("/proc/self/statm");
    long pages = 0, resident = 0;
    in >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

class DriverApi : public DriverFixture {
  protected:
    void TearDown() override {
        unsetenv("TAMARO_ODBC_FAIL_AFTER");
        unsetenv("TAMARO_ODBC_FAIL_MATCH");
    }
    OdbcConn& conn() { return *connection; }
};

TEST_P(DriverApi, EveryTypeRoundTripsWithItsDefaultCTypeAndAsText) {
    int i = 0;
    for (const TypeCase& t : P().types) {
        SCOPED_TRACE(t.ddl);
        std::string table = "types" + std::to_string(++i);
        st->MustExec("create table " + table + " (v " + t.ddl + ")");
        st->MustExec("insert into " + table + " (v) values (" + t.literal + ")");
        st->MustExec("insert into " + table + " (v) values (null)");

        st->MustExec("select v from " + table + " where v is not null");
        SQLSMALLINT type = 0;
        SQLCHAR name[64];
        SQLSMALLINT nameLen;
        SQLULEN size;
        SQLSMALLINT digits, nullable;
        ASSERT_EQ(SQL_SUCCESS, SQLDescribeCol(st->h, 1, name, sizeof name, &nameLen, &type, &size,
                                              &digits, &nullable));
        EXPECT_EQ(t.sqlType, type);
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(st->h));
        unsigned char buf[64] = {};
        SQLLEN ind = 0;
        SQLRETURN rc = SQLGetData(st->h, 1, SQL_C_DEFAULT, buf, sizeof buf, &ind);
        ASSERT_TRUE(SQL_SUCCEEDED(rc)) << st->Error();
        EXPECT_EQ(t.defaultSize, ind);
        switch (t.sqlType) {
            case SQL_INTEGER: {
                int32_t v;
                std::memcpy(&v, buf, 4);
                EXPECT_EQ(std::stoll(t.text), v);
                break;
            }
            case SQL_SMALLINT: {
                int16_t v;
                std::memcpy(&v, buf, 2);
                EXPECT_EQ(std::stoll(t.text), v);
                break;
            }
            case SQL_BIGINT: {
                int64_t v;
                std::memcpy(&v, buf, 8);
                EXPECT_EQ(std::stoll(t.text), v);
                break;
            }
            case SQL_BIT:
            case SQL_TINYINT:
                EXPECT_EQ(std::stoll(t.text), buf[0]);
                break;
            case SQL_REAL: {
                float v;
                std::memcpy(&v, buf, 4);
                EXPECT_FLOAT_EQ(std::stof(t.text), v);
                break;
            }
            case SQL_FLOAT:
            case SQL_DOUBLE: {
                double v;
                std::memcpy(&v, buf, 8);
                EXPECT_DOUBLE_EQ(std::stod(t.text), v);
                break;
            }
            case SQL_TYPE_DATE: {
                SQL_DATE_STRUCT d;
                std::memcpy(&d, buf, sizeof d);
                char s[64];
                std::snprintf(s, sizeof s, "%04d-%02u-%02u", d.year, d.month, d.day);
                EXPECT_EQ(t.text, s);
                break;
            }
            case SQL_TYPE_TIME: {
                SQL_TIME_STRUCT d;
                std::memcpy(&d, buf, sizeof d);
                char s[64];
                std::snprintf(s, sizeof s, "%02u:%02u:%02u", d.hour, d.minute, d.second);
                EXPECT_EQ(t.text, s);
                break;
            }
            case SQL_TYPE_TIMESTAMP: {
                SQL_TIMESTAMP_STRUCT d;
                std::memcpy(&d, buf, sizeof d);
                char s[64];
                std::snprintf(s, sizeof s, "%04d-%02u-%02u %02u:%02u:%02u", d.year, d.month, d.day,
                              d.hour, d.minute, d.second);
                EXPECT_EQ(t.text, s);
                break;
            }
            case SQL_BINARY:
            case SQL_VARBINARY:
            case SQL_LONGVARBINARY: {
                std::string hex;
                char two[3];
                for (SQLLEN k = 0; k < ind; ++k) {
                    std::snprintf(two, sizeof two, "%02X", buf[k]);
                    hex += two;
                }
                EXPECT_EQ(t.text, hex);
                break;
            }
            default:
                EXPECT_EQ(t.text, reinterpret_cast<char*>(buf));
        }
        st->Close();

        EXPECT_EQ(t.text, st->Scalar("select v from " + table + " where v is not null"));

        st->MustExec("select v from " + table + " where v is null");
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(st->h));
        buf[0] = 0x55;
        ind = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLGetData(st->h, 1, SQL_C_DEFAULT, buf, sizeof buf, &ind));
        EXPECT_EQ(SQL_NULL_DATA, ind);
        st->Close();
    }
}

const TypeCase* CaseOf(const DriverProfile& p, SQLSMALLINT sqlType) {
    for (const TypeCase& t : p.types)
        if (t.sqlType == sqlType) return &t;
    return nullptr;
}

TEST_P(DriverApi, ValuesConvertToTheCTypesAsked) {
    const TypeCase* dbl = CaseOf(P(), SQL_DOUBLE);
    const TypeCase* ts = CaseOf(P(), SQL_TYPE_TIMESTAMP);
    ASSERT_TRUE(dbl && ts);
    st->MustExec("create table conv (i " + P().integerType + ", d " + dbl->ddl + ", t " + ts->ddl +
                 ", s " + Varchar(20) + ")");
    st->MustExec("insert into conv (i, d, t, s) values (1000, " + dbl->literal + ", " +
                 ts->literal + ", '77')");
    st->MustExec("select i, d, t, s from conv");
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st->h));
    SQLLEN ind;
    SQLSMALLINT small = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetData(st->h, 1, SQL_C_SSHORT, &small, 0, &ind));
    EXPECT_EQ(1000, small);
    EXPECT_EQ(2, ind);
    double d = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetData(st->h, 1, SQL_C_DOUBLE, &d, 0, &ind));
    EXPECT_EQ(1000.0, d);
    signed char tiny = 0;
    EXPECT_EQ(SQL_ERROR, SQLGetData(st->h, 1, SQL_C_STINYINT, &tiny, 0, &ind));
    EXPECT_EQ("22003", FirstState(SQL_HANDLE_STMT, st->h));
    char text[32];
    EXPECT_EQ(SQL_SUCCESS, SQLGetData(st->h, 1, SQL_C_CHAR, text, sizeof text, &ind));
    EXPECT_STREQ("1000", text);

    SQLINTEGER truncated = 0;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetData(st->h, 2, SQL_C_SLONG, &truncated, 0, &ind));
    EXPECT_EQ("01S07", FirstState(SQL_HANDLE_STMT, st->h));
    EXPECT_EQ(static_cast<SQLINTEGER>(std::stod(dbl->text)), truncated);
    float f = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetData(st->h, 2, SQL_C_FLOAT, &f, 0, &ind));
    EXPECT_FLOAT_EQ(std::stof(dbl->text), f);

    SQL_DATE_STRUCT date{};
    SQLGetData(st->h, 3, SQL_C_TYPE_DATE, &date, 0, &ind);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", date.year, date.month, date.day);
    EXPECT_EQ(ts->text.substr(0, 10), buf);
    SQL_TIME_STRUCT time{};
    EXPECT_EQ(SQL_SUCCESS, SQLGetData(st->h, 3, SQL_C_TYPE_TIME, &time, 0, &ind));
    std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", time.hour, time.minute, time.second);
    EXPECT_EQ(ts->text.substr(11, 8), buf);

    SQLBIGINT big = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetData(st->h, 4, SQL_C_SBIGINT, &big, 0, &ind));
    EXPECT_EQ(77, big);
    SQL_TIMESTAMP_STRUCT bad{};
    EXPECT_EQ(SQL_ERROR, SQLGetData(st->h, 4, SQL_C_TYPE_TIMESTAMP, &bad, 0, &ind));
    EXPECT_EQ("22007", FirstState(SQL_HANDLE_STMT, st->h));
}

TEST_P(DriverApi, Cp1252TextKeepsEveryByte) {
    st->MustExec("create table names (id " + P().integerType + ", name " + Varchar(60) + ", note " +
                 P().memoType + ")");
    st->MustExec("insert into names (id, name, note) values (1, '" + EscapeQuotes(kCp1252Text) +
                 "', '" + EscapeQuotes(kCp1252Text) + "')");
    EXPECT_EQ(kCp1252Text, st->Scalar("select name from names"));
    EXPECT_EQ(kCp1252Text, st->Scalar("select note from names"));
    EXPECT_EQ("1", st->Scalar("select count(*) from names where name = '" +
                              EscapeQuotes(kCp1252Text) + "'"));
}

// Unicode clients come through the wide entry points: their text is UTF-16,
// a character code page 1252 lacks is refused, and their connection describes
// text columns with the wide types. The program's narrow connection keeps its
// bytes, diagnostics included, although the driver manager reads those
// through the wide functions.
TEST_P(DriverApi, WideClientsSpeakUtf16AndTheNarrowPathKeepsItsBytes) {
    const std::u16string wideText = u"M\u00e4\u00dfig \u2022 \u00bbArzt\u00ab d''Arc";
    auto wide = [](const std::u16string& s) {
        return reinterpret_cast<SQLWCHAR*>(const_cast<char16_t*>(s.c_str()));
    };
    st->MustExec("create table names (name " + Varchar(40) + ")");
    st->MustExec("insert into names (name) values ('" + EscapeQuotes(kCp1252Text) + "')");
    // SQLError, as the program reads its errors.
    EXPECT_EQ(SQL_ERROR, st->Exec("select * from nosuch\x95\xE4"));
    SQLCHAR narrowState[6] = {}, narrowMessage[512] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLError(conn().env, conn().dbc, st->h, narrowState, &native, narrowMessage, 511, &length);
    std::string narrow = reinterpret_cast<char*>(narrowMessage);
    EXPECT_NE(std::string::npos, narrow.find('\x95')) << narrow;

    OdbcConn client;
    std::string cs = P().connectString(file, false);
    ASSERT_TRUE(SQL_SUCCEEDED(client.ConnectWide(std::u16string(cs.begin(), cs.end()))))
        << Diag(SQL_HANDLE_DBC, client.dbc);
    OdbcStmt ws(client);
    std::u16string select = u"select name from names where name = '" + wideText + u"'";
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirectW(ws.h, wide(select), SQL_NTS)) << ws.Error();
    SQLWCHAR name[8];
    SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    EXPECT_EQ(SQL_SUCCESS,
              SQLDescribeColW(ws.h, 1, name, 8, &nameLength, &type, &size, &digits, &nullable));
    EXPECT_EQ(SQL_WVARCHAR, type);
    EXPECT_EQ(40u, size);
    EXPECT_EQ(4, nameLength);
    SQLLEN octets = 0;
    EXPECT_EQ(SQL_SUCCESS,
              SQLColAttributeW(ws.h, 1, SQL_DESC_OCTET_LENGTH, nullptr, 0, nullptr, &octets));
    EXPECT_EQ(80, octets);

    ASSERT_EQ(SQL_SUCCESS, SQLFetch(ws.h));
    std::u16string read;
    SQLWCHAR piece[6];  // five characters and the terminator at a time
    SQLLEN indicator = 0;
    SQLRETURN rc = SQLGetData(ws.h, 1, SQL_C_WCHAR, piece, sizeof piece, &indicator);
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, rc);
    EXPECT_EQ(static_cast<SQLLEN>(kCp1252Text.size() * 2), indicator);
    for (; SQL_SUCCEEDED(rc);
         rc = SQLGetData(ws.h, 1, SQL_C_WCHAR, piece, sizeof piece, &indicator))
        read += reinterpret_cast<const char16_t*>(piece);
    EXPECT_EQ(SQL_NO_DATA, rc);
    EXPECT_EQ(u"M\u00e4\u00dfig \u2022 \u00bbArzt\u00ab d'Arc", read);
    ws.Close();

    SQLWCHAR state[6] = {}, message[300] = {};
    auto firstDiag = [&] {
        SQLGetDiagRecW(SQL_HANDLE_STMT, ws.h, 1, state, &native, message, 300, &length);
        return std::u16string(reinterpret_cast<const char16_t*>(message));
    };
    EXPECT_EQ(SQL_ERROR,
              SQLExecDirectW(ws.h, wide(u"insert into names (name) values ('\u0141')"), SQL_NTS));
    EXPECT_NE(std::u16string::npos, firstDiag().find(u"U+0141 at position 35"));
    EXPECT_EQ(u"22021", std::u16string(reinterpret_cast<const char16_t*>(state)));
    EXPECT_EQ("1", st->Scalar("select count(*) from names"));
    EXPECT_EQ(SQL_ERROR, SQLExecDirectW(ws.h, wide(u"select * from nosuch\u2022"), SQL_NTS));
    EXPECT_NE(std::u16string::npos, firstDiag().find(u'\u2022'));
}

TEST_P(DriverApi, LongMemoIsReadWholeOrInPieces) {
    st->MustExec("create table memos (id " + P().integerType + ", note " + P().memoType + ")");
    st->MustExec("insert into memos (id, note) values (1, '')");
    std::string expected;
    for (int part = 0; part < 6; ++part) {
        std::string chunk;
        for (int k = 0; k < 20000; ++k)
            chunk.push_back(static_cast<char>("ab\xE4\x95z"[(k + part) % 5]));
        expected += chunk;
        st->MustExec("update memos set note = note " + P().concat + " '" + chunk +
                     "' where id = 1");
    }
    ASSERT_EQ(120000u, expected.size());

    st->MustExec("select note from memos");
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st->h));
    char probe[1] = {0};
    SQLLEN ind = 0;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetData(st->h, 1, SQL_C_CHAR, probe, 0, &ind));
    EXPECT_EQ(120000, ind);
    std::vector<char> whole(ind + 2);
    EXPECT_EQ(SQL_SUCCESS, SQLGetData(st->h, 1, SQL_C_CHAR, whole.data(), ind + 2, &ind));
    EXPECT_EQ(expected, std::string(whole.data()));
    EXPECT_EQ(SQL_NO_DATA, SQLGetData(st->h, 1, SQL_C_CHAR, whole.data(), 10, &ind));
    st->Close();

    st->MustExec("select note from memos");
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st->h));
    std::string pieces;
    char part[4001];
    SQLRETURN rc;
    int calls = 0;
    while ((rc = SQLGetData(st->h, 1, SQL_C_CHAR, part, sizeof part, &ind)) != SQL_NO_DATA) {
        ASSERT_TRUE(SQL_SUCCEEDED(rc));
        ASSERT_EQ(static_cast<SQLLEN>(expected.size() - pieces.size()), ind);
        if (rc == SQL_SUCCESS_WITH_INFO) {
            EXPECT_EQ("01004", FirstState(SQL_HANDLE_STMT, st->h));
        }
        pieces += part;
        ++calls;
    }
    EXPECT_EQ(expected, pieces);
    EXPECT_EQ(30, calls);
    st->Close();

    // The program's shared value buffer: the driver cuts the value to it.
    st->MustExec("select note from memos");
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st->h));
    std::vector<char> shared(64000);
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
              SQLGetData(st->h, 1, SQL_C_DEFAULT, shared.data(), 64000, &ind));
    EXPECT_EQ(120000, ind);
    EXPECT_EQ(expected.substr(0, 63999), std::string(shared.data()));
}

TEST_P(DriverApi, StatementOfMoreThanOneMegabyteRuns) {
    st->MustExec("create table big (id " + P().integerType + ")");
    st->MustExec("insert into big (id) values (7)");
    std::string sql = "select id from big where id = 7 /* " + std::string(1200000, 'x') + " */";
    EXPECT_EQ("7", st->Scalar(sql));
}

TEST_P(DriverApi, ColumnsListsTheTableInStandardShape) {
    st->MustExec("create table Patienten (pid " + P().integerType + " not null, name " +
                 Varchar(40) + ", notiz " + P().memoType + ")");
    ASSERT_EQ(SQL_SUCCESS, SQLColumns(st->h, nullptr, 0, nullptr, 0, (SQLCHAR*)"patienten", SQL_NTS,
                                      nullptr, 0));
    const char* standard[] = {"TABLE_CAT",         "TABLE_SCHEM",      "TABLE_NAME",
                              "COLUMN_NAME",       "DATA_TYPE",        "TYPE_NAME",
                              "COLUMN_SIZE",       "BUFFER_LENGTH",    "DECIMAL_DIGITS",
                              "NUM_PREC_RADIX",    "NULLABLE",         "REMARKS",
                              "COLUMN_DEF",        "SQL_DATA_TYPE",    "SQL_DATETIME_SUB",
                              "CHAR_OCTET_LENGTH", "ORDINAL_POSITION", "IS_NULLABLE"};
    SQLSMALLINT count = 0;
    SQLNumResultCols(st->h, &count);
    ASSERT_EQ(18, count);
    for (SQLUSMALLINT c = 1; c <= 18; ++c) {
        SQLCHAR name[64];
        SQLSMALLINT len, type, digits, nullable;
        SQLULEN size;
        SQLDescribeCol(st->h, c, name, sizeof name, &len, &type, &size, &digits, &nullable);
        EXPECT_STREQ(standard[c - 1], reinterpret_cast<char*>(name));
    }
    struct Row {
        std::string name;
        int16_t type;
        int32_t size;
        int16_t nullable;
    };
    std::vector<Row> rows;
    while (SQLFetch(st->h) == SQL_SUCCESS) {
        Row r{};
        char buf[256] = {};
        SQLLEN ind;
        SQLGetData(st->h, 4, SQL_C_DEFAULT, buf, sizeof buf, &ind);
        r.name = buf;
        for (char& ch : r.name)
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        ASSERT_TRUE(SQL_SUCCEEDED(SQLGetData(st->h, 5, SQL_C_DEFAULT, buf, sizeof buf, &ind)));
        EXPECT_EQ(2, ind);
        std::memcpy(&r.type, buf, 2);
        ASSERT_TRUE(SQL_SUCCEEDED(SQLGetData(st->h, 7, SQL_C_DEFAULT, buf, sizeof buf, &ind)));
        EXPECT_EQ(4, ind);
        std::memcpy(&r.size, buf, 4);
        SQLGetData(st->h, 11, SQL_C_DEFAULT, buf, sizeof buf, &ind);
        std::memcpy(&r.nullable, buf, 2);
        rows.push_back(r);
    }
    ASSERT_EQ(3u, rows.size());
    EXPECT_EQ("pid", rows[0].name);
    EXPECT_EQ(SQL_INTEGER, rows[0].type);
    EXPECT_EQ(SQL_NO_NULLS, rows[0].nullable);
    EXPECT_EQ("name", rows[1].name);
    EXPECT_EQ(SQL_VARCHAR, rows[1].type);
    EXPECT_EQ(40, rows[1].size);
    EXPECT_EQ(SQL_NULLABLE, rows[1].nullable);
    EXPECT_EQ("notiz", rows[2].name);
    EXPECT_EQ(SQL_LONGVARCHAR, rows[2].type);
    st->Close();

    ASSERT_EQ(SQL_SUCCESS, SQLColumns(st->h, nullptr, 0, nullptr, 0, (SQLCHAR*)"nosuchtable",
                                      SQL_NTS, nullptr, 0));
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(st->h));
}

TEST_P(DriverApi, RowCountsAndNoDataForSearchedChanges) {
    st->MustExec("create table counted (id " + P().integerType + ")");
    SQLLEN n = -7;
    for (int i = 1; i <= 3; ++i) {
        ASSERT_EQ(SQL_SUCCESS,
                  st->Exec("insert into counted (id) values (" + std::to_string(i) + ")"));
        SQLRowCount(st->h, &n);
        EXPECT_EQ(1, n);
    }
    EXPECT_EQ(SQL_SUCCESS, st->Exec("update counted set id = id + 10 where id <= 2"));
    SQLRowCount(st->h, &n);
    EXPECT_EQ(2, n);
    EXPECT_EQ(SQL_NO_DATA, st->Exec("update counted set id = 0 where id = 99"));
    EXPECT_EQ(SQL_NO_DATA, st->Exec("delete from counted where id = 99"));
    EXPECT_EQ(SQL_SUCCESS, st->Exec("delete from counted"));
    SQLRowCount(st->h, &n);
    EXPECT_EQ(3, n);
    EXPECT_EQ(SQL_NO_DATA, st->Exec("delete from counted"));
}

TEST_P(DriverApi, ErrorTextsAreTheEnginesAndSQLErrorHandsThemOutOnce) {
    for (const auto& [sql, text] : {std::pair{P().syntaxErrorSql, P().syntaxErrorText},
                                    std::pair{P().missingTableSql, P().missingTableText}}) {
        SCOPED_TRACE(sql);
        EXPECT_EQ(SQL_ERROR, st->Exec(sql));
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLCHAR msg[512] = {};
        SQLSMALLINT len = 0;
        EXPECT_EQ(SQL_SUCCESS,
                  SQLError(conn().env, conn().dbc, st->h, state, &native, msg, 511, &len));
        EXPECT_EQ(text, reinterpret_cast<char*>(msg));
        EXPECT_EQ(5u, std::strlen(reinterpret_cast<char*>(state)));
        EXPECT_EQ(SQL_NO_DATA,
                  SQLError(conn().env, conn().dbc, st->h, state, &native, msg, 511, &len));

        EXPECT_EQ(SQL_ERROR, st->Exec(sql));
        EXPECT_EQ(text, st->Error().substr(7));
    }
}

TEST_P(DriverApi, InjectedFaultFailsOneExecutionOnly) {
    st->MustExec("create table faults (id " + P().integerType + ")");
    setenv("TAMARO_ODBC_FAIL_AFTER", "2", 1);
    EXPECT_EQ(SQL_SUCCESS, st->Exec("insert into faults (id) values (1)"));
    EXPECT_EQ(SQL_SUCCESS, st->Exec("insert into faults (id) values (2)"));
    EXPECT_EQ(SQL_ERROR, st->Exec("insert into faults (id) values (3)"));
    EXPECT_EQ("HY000: Injected fault (TAMARO_ODBC_FAIL_AFTER)", st->Error());
    EXPECT_EQ(SQL_SUCCESS, st->Exec("insert into faults (id) values (4)"));
    EXPECT_EQ(SQL_SUCCESS, st->Exec("insert into faults (id) values (5)"));

    // Only texts that contain the match count.
    setenv("TAMARO_ODBC_FAIL_AFTER", "1", 1);
    setenv("TAMARO_ODBC_FAIL_MATCH", "DELETE FROM faults", 1);
    EXPECT_EQ(SQL_SUCCESS, st->Exec("delete from faults where id = 1"));
    EXPECT_EQ(SQL_SUCCESS, st->Exec("insert into faults (id) values (6)"));
    EXPECT_EQ(SQL_ERROR, st->Exec("delete from faults where id = 2"));
    EXPECT_EQ(SQL_SUCCESS, st->Exec("delete from faults where id = 4"));
    unsetenv("TAMARO_ODBC_FAIL_AFTER");
    unsetenv("TAMARO_ODBC_FAIL_MATCH");
    // Rows 1..5 without 3; then 1 and 4 deleted, 6 added: 2 + 5 + 6.
    EXPECT_EQ("13", st->Scalar("select sum(id) from faults"));
}

TEST_P(DriverApi, TenThousandStatementsDoNotGrowTheProcess) {
    st->MustExec("create table churn (id " + P().integerType + ", name " + Varchar(30) + ")");
    auto round = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            if (i % 2) {
                ASSERT_EQ(SQL_SUCCESS,
                          st->Exec("insert into churn (id, name) values (" + std::to_string(i) +
                                   ", 'n" + std::to_string(i) + "')"));
            } else {
                ASSERT_EQ(SQL_SUCCESS, st->Exec("select count(*) from churn"));
                ASSERT_EQ(SQL_SUCCESS, SQLFetch(st->h));
            }
        }
        st->Close();
    };
    round(0, 2000);
    long before = ResidentKilobytes();
    round(2000, 12000);
    long after = ResidentKilobytes();
    EXPECT_LT(after - before, 8 * 1024)
        << "resident size grew from " << before << " kB to " << after << " kB";
    EXPECT_EQ("6000", st->Scalar("select count(*) from churn"));
}

TEST_P(DriverApi, MissingDatabaseFileFailsToConnectWithTheEnginesText) {
    OdbcConn other;
    std::filesystem::path missing = dir.path() / ("missing" + P().extension);
    EXPECT_EQ(SQL_ERROR, other.Connect(P().connectString(missing, false)));
    std::string diag = Diag(SQL_HANDLE_DBC, other.dbc);
    EXPECT_NE(std::string::npos, diag.find(P().missingFileText(missing))) << diag;
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_P(DriverApi, SubstitutedStatementAttributesAreReported) {
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
              SQLSetStmtAttr(st->h, SQL_ATTR_CONCURRENCY, (SQLPOINTER)SQL_CONCUR_ROWVER, 0));
    EXPECT_EQ("01S02", FirstState(SQL_HANDLE_STMT, st->h));
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
              SQLSetStmtAttr(st->h, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_KEYSET_DRIVEN, 0));
    EXPECT_EQ("01S02", FirstState(SQL_HANDLE_STMT, st->h));
    EXPECT_TRUE(SQL_SUCCEEDED(SQLSetStmtAttr(st->h, SQL_ATTR_QUERY_TIMEOUT, (SQLPOINTER)60, 0)));
    // The statement still works with what the driver chose.
    st->MustExec("create table attrs (id " + P().integerType + ")");
    EXPECT_EQ("0", st->Scalar("select count(*) from attrs"));
}

TEST_P(DriverApi, ManualCommitKeepsWorkUntilEndTran) {
    st->MustExec("create table tx (id " + P().integerType + ")");
    ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(conn().dbc, SQL_ATTR_AUTOCOMMIT,
                                             (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0));
    st->MustExec("insert into tx (id) values (1)");
    EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, conn().dbc, SQL_ROLLBACK));
    EXPECT_EQ("0", st->Scalar("select count(*) from tx"));
    st->MustExec("insert into tx (id) values (2)");
    EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, conn().dbc, SQL_COMMIT));
    ASSERT_EQ(SQL_SUCCESS,
              SQLSetConnectAttr(conn().dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_ON, 0));
    EXPECT_EQ("2", st->Scalar("select sum(id) from tx"));
}

TEST_P(DriverApi, PreparedTextRunsAndLongDataCallsAreOutOfSequence) {
    st->MustExec("create table prep (id " + P().integerType + ")");
    st->MustExec("insert into prep (id) values (41)");
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(st->h, (SQLCHAR*)"select id + 1 from prep", SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(st->h));
    SQLSMALLINT cols = 0;
    SQLNumResultCols(st->h, &cols);
    EXPECT_EQ(1, cols);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st->h));
    EXPECT_EQ("42", st->Text(1));
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(st->h));
    EXPECT_EQ(SQL_NO_DATA, SQLMoreResults(st->h));
    st->Close();

    SQLPOINTER token = nullptr;
    EXPECT_EQ(SQL_ERROR, SQLParamData(st->h, &token));
    EXPECT_EQ("HY010", FirstState(SQL_HANDLE_STMT, st->h));
    EXPECT_EQ(SQL_ERROR, SQLPutData(st->h, (SQLPOINTER) "x", 1));
    EXPECT_EQ("HY010", FirstState(SQL_HANDLE_STMT, st->h));
}

TEST_P(DriverApi, NullAndFreedHandlesAreRefused) {
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLExecDirect(SQL_NULL_HSTMT, (SQLCHAR*)"select 1", SQL_NTS));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLFetch(SQL_NULL_HSTMT));
    SQLHSTMT h = SQL_NULL_HSTMT;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, conn().dbc, &h));
    ASSERT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, h));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLExecDirect(h, (SQLCHAR*)"select 1", SQL_NTS));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeHandle(SQL_HANDLE_STMT, h));
}

INSTANTIATE_TEST_SUITE_P(Drivers, DriverApi, ::testing::ValuesIn(ProfileNames()),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

}  // namespace
}  // namespace drivertest
