// Statements and call sequences of hostile or careless clients, on both
// kinds: escapes and parentheses nested past any sense (also on a thread with
// a small stack), a handle freed or its connection ended while another thread
// works on it, two threads on one connection and on one statement, and a
// fetch cancelled from another thread. None may crash the client; the
// sanitizer pass runs this file too. The calls of two threads go to the
// driver library itself: unixODBC, which the registration asks for no
// locking, would otherwise itself use a handle that the other thread freed.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sql.h>
#include <sqlext.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "tests/drivers/DriverFixture.h"

namespace drivertest {
namespace {

class DriverHostile : public DriverFixture {
  protected:
    // A statement that runs for minutes inside SQLExecDirect unless cancelled.
    std::string LongExecution() {
        if (IsFirebird())
            return "execute block as declare i integer = 0; begin while (i < 2000000000) do "
                   "i = i + 1; end";
        return "select count(*) from n a, n b, n c, n d";
    }
    // A query whose first row comes at once and whose second takes minutes.
    std::string LongSecondRow() {
        if (IsFirebird())
            return "select 1 from rdb$database union all select count(*) from rdb$types a, "
                   "rdb$types b, rdb$types c, rdb$types d";
        return "select a.i from n a, n b, n c, n d where a.i + b.i + c.i + d.i in (4, -1)";
    }
    // The statement's next execution, as it is (OdbcStatement::Exec would
    // close its cursor first): the count of one row, or the SQLSTATE.
    std::string ExecuteAgain() {
        const std::string sql = IsFirebird() ? "select count(*) from rdb$database"
                                             : "select count(*) from n where i = 1";
        SQLRETURN rc = SQLExecDirect(st->h, (SQLCHAR*)sql.c_str(), SQL_NTS);
        if (SQL_SUCCEEDED(rc)) rc = SQLFetch(st->h);
        const std::string result = SQL_SUCCEEDED(rc) ? st->Text(1) : State();
        st->Close();
        return result;
    }
    // The Access kind's rows for the long statements: 200 numbers.
    void Numbers() {
        if (IsFirebird()) return;
        st->MustExec("create table n (i " + P().integerType + ")");
        for (int i = 1; i <= 200; ++i)
            st->MustExec("insert into n (i) values (" + std::to_string(i) + ")");
    }
};

// Runs f on a thread of its own with a stack of `bytes`.
void OnSmallStack(size_t bytes, const std::function<void()>& f) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, bytes);
    pthread_t thread;
    auto body = [](void* arg) -> void* {
        (*static_cast<const std::function<void()>*>(arg))();
        return nullptr;
    };
    ASSERT_EQ(0, pthread_create(&thread, &attr, body, const_cast<std::function<void()>*>(&f)));
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
}

std::string Repeat(const std::string& s, int n) {
    std::string out;
    out.reserve(s.size() * static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) out += s;
    return out;
}

TEST_P(DriverHostile, NestingIsLimitedInLinearTimeAndNeverOverflowsTheStack) {
    st->MustExec("create table t (a " + P().integerType + ")");
    st->MustExec("insert into t (a) values (1)");
    const std::string from = IsFirebird() ? " from rdb$database" : " from t";
    const int depth = IsFirebird() ? 256 : 100;
    struct Case {
        std::string sql;
        const char* state;
    };
    const Case cases[] = {
        // 20,000 functions in 200 KB, 100,000 outer joins, 10,000 functions
        // that each level copies, 10,000 parentheses.
        {"select " + Repeat("{fn UCASE(", 20000) + "'a'" + Repeat(")}", 20000) + from, "54000"},
        {"select a from " + Repeat("{oj ", 100000) + "t" + Repeat("}", 100000), "54000"},
        {"select " + Repeat("{fn ABS(", 10000) + "1" + Repeat(")}", 10000) + from, "54000"},
        {"select " + Repeat("(", 10000) + "1" + Repeat(")", 10000) + from, "54000"},
        // At the limits a statement still runs (on the Access kind, 100
        // levels that SQLite's parser refuses itself, past 93).
        {"select " + Repeat("(", depth + 1) + "1" + Repeat(")", depth + 1) + from, "54000"},
        {"select " + Repeat("(", depth) + "1" + Repeat(")", depth) + from,
         IsFirebird() ? "" : "42000"},
        {"select " + Repeat("(", 90) + "1" + Repeat(")", 90) + from, ""},
        {"select a from " + Repeat("{oj ", 64) + "t" + Repeat("}", 64), ""},
        {"select a from " + Repeat("{oj ", 65) + "t" + Repeat("}", 65), "54000"},
    };
    // On a thread with a stack of 256 KiB, a thirty-second of the usual (a
    // megabyte under the address sanitizer, whose frames are larger).
#ifdef __SANITIZE_ADDRESS__
    const size_t stack = 1024 * 1024;
#else
    const size_t stack = 256 * 1024;
#endif
    OnSmallStack(stack, [&] {
        for (const Case& c : cases) {
            const auto start = std::chrono::steady_clock::now();
            const SQLRETURN rc = st->Exec(c.sql);
            const std::string state = SQL_SUCCEEDED(rc) ? "" : State();
            const std::string error = st->Error();
            st->Close();
            EXPECT_EQ(c.state, state) << c.sql.substr(0, 60) << "\n" << error;
            if (*c.state == '5') {
                EXPECT_NE(std::string::npos, error.find("are nested more than")) << error;
            }
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
        }
    });
    EXPECT_EQ("1", st->Scalar("select a from t"));
}

// The driver library's entry points, called without unixODBC.
struct Raw {
    explicit Raw(const std::string& library)
        : lib(dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
    // The library's function of the name, of the type sql.h declares it with.
    template <auto F>
    decltype(F) Fn(const char* name) {
        return reinterpret_cast<decltype(F)>(dlsym(lib, name));
    }
    std::string State(SQLSMALLINT type, SQLHANDLE h) {
        SQLCHAR state[6] = {}, message[512];
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        diagRec(type, h, 1, state, &native, message, sizeof message, &length);
        return reinterpret_cast<char*>(state);
    }
    SQLRETURN Exec(SQLHSTMT s, const std::string& sql) {
        return exec(s, (SQLCHAR*)sql.c_str(), SQL_NTS);
    }

    void* lib;
    decltype(&SQLAllocHandle) alloc = Fn<&SQLAllocHandle>("SQLAllocHandle");
    decltype(&SQLFreeHandle) free = Fn<&SQLFreeHandle>("SQLFreeHandle");
    decltype(&SQLDriverConnect) connect = Fn<&SQLDriverConnect>("SQLDriverConnect");
    decltype(&SQLDisconnect) disconnect = Fn<&SQLDisconnect>("SQLDisconnect");
    decltype(&SQLExecDirect) exec = Fn<&SQLExecDirect>("SQLExecDirect");
    decltype(&SQLFetch) fetch = Fn<&SQLFetch>("SQLFetch");
    decltype(&SQLCloseCursor) closeCursor = Fn<&SQLCloseCursor>("SQLCloseCursor");
    decltype(&SQLCancel) cancel = Fn<&SQLCancel>("SQLCancel");
    decltype(&SQLGetData) getData = Fn<&SQLGetData>("SQLGetData");
    decltype(&SQLGetDiagRec) diagRec = Fn<&SQLGetDiagRec>("SQLGetDiagRec");
};

TEST_P(DriverHostile, HandlesInUseByAnotherThreadAreNotFreedUnderIt) {
    Numbers();
    Raw raw(P().library);
    ASSERT_NE(nullptr, raw.lib) << dlerror();
    SQLHANDLE env = nullptr, dbc = nullptr;
    ASSERT_EQ(SQL_SUCCESS, raw.alloc(SQL_HANDLE_ENV, nullptr, &env));
    ASSERT_EQ(SQL_SUCCESS, raw.alloc(SQL_HANDLE_DBC, env, &dbc));
    const std::string cs = P().connectString(file, false);
    ASSERT_EQ(SQL_SUCCESS, raw.connect(dbc, nullptr, (SQLCHAR*)cs.c_str(), SQL_NTS, nullptr, 0,
                                       nullptr, SQL_DRIVER_NOPROMPT));

    // Thread A executes; this thread frees the statement as soon as it can.
    // A free that comes before A's call is a free (A then meets a freed
    // handle); one that comes while A works is refused with HY010, and so is
    // ending the connection. A cancel ends A's work, and the free goes through.
    bool refused = false;
    for (int attempt = 0; attempt < 50 && !refused; ++attempt) {
        SQLHANDLE stmt = nullptr;
        ASSERT_EQ(SQL_SUCCESS, raw.alloc(SQL_HANDLE_STMT, dbc, &stmt));
        std::atomic<bool> starting{false};
        SQLRETURN executed = SQL_SUCCESS;
        std::string executedState;
        std::thread a([&] {
            starting = true;
            executed = raw.Exec(stmt, LongExecution());
            if (executed == SQL_ERROR) executedState = raw.State(SQL_HANDLE_STMT, stmt);
        });
        while (!starting) std::this_thread::yield();
        for (int k = 0; k < 1000; ++k) std::this_thread::yield();
        const SQLRETURN freed = raw.free(SQL_HANDLE_STMT, stmt);
        if (freed == SQL_ERROR) {
            refused = true;
            EXPECT_EQ("HY010", raw.State(SQL_HANDLE_STMT, stmt));
            EXPECT_EQ(SQL_ERROR, raw.disconnect(dbc));
            EXPECT_EQ("HY010", raw.State(SQL_HANDLE_DBC, dbc));
            EXPECT_EQ(SQL_ERROR, raw.free(SQL_HANDLE_DBC, dbc));
            EXPECT_EQ(SQL_ERROR, raw.free(SQL_HANDLE_ENV, env));
            // Cancelled until A has returned: a cancel that came before its
            // work began had nothing to stop.
            while (raw.free(SQL_HANDLE_STMT, stmt) == SQL_ERROR) {
                EXPECT_EQ(SQL_SUCCESS, raw.cancel(stmt));
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            a.join();
            EXPECT_EQ(SQL_ERROR, executed);
            EXPECT_EQ("HY008", executedState);
        } else {
            EXPECT_EQ(SQL_SUCCESS, freed);
            a.join();
            EXPECT_EQ(SQL_INVALID_HANDLE, executed);
        }
        EXPECT_EQ(SQL_INVALID_HANDLE, raw.free(SQL_HANDLE_STMT, stmt));
    }
    EXPECT_TRUE(refused) << "the free never met the execution";

    // Two threads with a statement each on one connection take turns, while
    // a third reads their diagnostics; two threads on one statement too.
    SQLHANDLE s1 = nullptr, s2 = nullptr;
    ASSERT_EQ(SQL_SUCCESS, raw.alloc(SQL_HANDLE_STMT, dbc, &s1));
    ASSERT_EQ(SQL_SUCCESS, raw.alloc(SQL_HANDLE_STMT, dbc, &s2));
    const std::string query = IsFirebird() ? "select rdb$type from rdb$types where rdb$type < 3"
                                           : "select i from n where i < 50";
    const int expected =
        std::stoi(st->Scalar(IsFirebird() ? "select count(*) from rdb$types "
                                            "where rdb$type < 3"
                                          : "select count(*) from n where i < 50"));
    std::atomic<bool> stop{false};
    std::atomic<int> wrongCounts{0};
    auto reader = [&](SQLHSTMT s) {
        for (int k = 0; k < 40; ++k) {
            if (!SQL_SUCCEEDED(raw.Exec(s, query))) {
                ++wrongCounts;
                continue;
            }
            int rows = 0;
            SQLINTEGER value = 0;
            SQLLEN indicator = 0;
            while (raw.fetch(s) == SQL_SUCCESS)
                rows += SQL_SUCCEEDED(raw.getData(s, 1, SQL_C_SLONG, &value, 0, &indicator));
            raw.closeCursor(s);
            if (rows != expected) ++wrongCounts;
        }
    };
    std::thread diagnostics([&] {
        while (!stop) {
            raw.State(SQL_HANDLE_STMT, s1);
            raw.State(SQL_HANDLE_STMT, s2);
            std::this_thread::yield();
        }
    });
    std::thread r1(reader, s1), r2(reader, s2);
    r1.join();
    r2.join();
    EXPECT_EQ(0, wrongCounts.load());
    // One statement, two threads: each call waits for the other's; what they
    // get depends on the order, but nothing breaks.
    std::thread m1([&] {
        for (int k = 0; k < 40; ++k) {
            raw.Exec(s1, query);
            raw.fetch(s1);
            raw.closeCursor(s1);
        }
    });
    std::thread m2([&] {
        for (int k = 0; k < 40; ++k) {
            raw.fetch(s1);
            raw.cancel(s1);
            raw.Exec(s1, query);
        }
    });
    m1.join();
    m2.join();
    stop = true;
    diagnostics.join();
    raw.closeCursor(s1);
    EXPECT_TRUE(SQL_SUCCEEDED(raw.Exec(s1, query))) << raw.State(SQL_HANDLE_STMT, s1);
    raw.closeCursor(s1);

    EXPECT_EQ(SQL_SUCCESS, raw.disconnect(dbc));
    EXPECT_EQ(SQL_SUCCESS, raw.free(SQL_HANDLE_DBC, dbc));
    EXPECT_EQ(SQL_INVALID_HANDLE, raw.free(SQL_HANDLE_STMT, s1)) << "went with the connection";
    EXPECT_EQ(SQL_SUCCESS, raw.free(SQL_HANDLE_ENV, env));
}

// Through unixODBC, which takes a cancelled statement's cursor for closed.
TEST_P(DriverHostile, ACancelledFetchLeavesTheStatementReusable) {
    Numbers();
    enum class Then { ExecuteAgain, CloseCursor, FreeStmtClose };
    bool stopped = false;
    for (Then then : {Then::ExecuteAgain, Then::CloseCursor, Then::FreeStmtClose}) {
        ASSERT_TRUE(SQL_SUCCEEDED(st->Exec(LongSecondRow()))) << st->Error();
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(st->h));
        std::atomic<bool> fetching{false}, returned{false};
        std::thread canceller([&] {
            while (!fetching) std::this_thread::yield();
            while (!returned) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                if (!returned) SQLCancel(st->h);
            }
        });
        fetching = true;
        const SQLRETURN rc = SQLFetch(st->h);
        returned = true;
        canceller.join();
        EXPECT_EQ(SQL_ERROR, rc);
        // HY008 when the cancel met the fetch; HY010 from unixODBC when it
        // came just before and closed the cursor at rest.
        const std::string state = State();
        EXPECT_TRUE(state == "HY008" || state == "HY010") << st->Error();
        stopped = stopped || state == "HY008";
        if (then == Then::CloseCursor) SQLCloseCursor(st->h);
        if (then == Then::FreeStmtClose) {
            EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(st->h, SQL_CLOSE));
        }
        EXPECT_EQ("1", ExecuteAgain()) << st->Error();
    }
    EXPECT_TRUE(stopped) << "no cancel met a running fetch";

    // A cancel at rest closes the cursor, as unixODBC then has it.
    ASSERT_TRUE(
        SQL_SUCCEEDED(st->Exec(IsFirebird() ? "select 1 from rdb$database" : "select i from n")));
    EXPECT_EQ(SQL_SUCCESS, SQLCancel(st->h));
    EXPECT_EQ("1", ExecuteAgain()) << st->Error();
}

INSTANTIATE_TEST_SUITE_P(Drivers, DriverHostile, ::testing::ValuesIn(ProfileNames()),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

}  // namespace
}  // namespace drivertest
