// The Access kind's text order (the emulated engine's "General" order, by
// German rules) against SQLite's NOCASE, which the driver sorted by before:
// 50,000 surnames of a practice sorted, their min() and max(), and a range
// of them compared with < and >, in one SQLite database in memory.
//
// collation_bench [ROWS]   default 50000
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "drivers/access/AccessCollation.h"

namespace {

double Seconds(sqlite3* db, const std::string& sql, int repeat) {
    const auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < repeat; ++r) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
            std::fprintf(stderr, "%s: %s\n", sql.c_str(), sqlite3_errmsg(db));
            std::exit(1);
        }
        while (sqlite3_step(s) == SQLITE_ROW) {
        }
        sqlite3_finalize(s);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / repeat;
}

}  // namespace

int main(int argc, char** argv) {
    const int rows = argc > 1 ? std::atoi(argv[1]) : 50000;
    sqlite3* db = nullptr;
    sqlite3_open(":memory:", &db);
    accessdrv::AccessCollation::Register(db);
    sqlite3_exec(db, "create table p (nachname text collate nocase)", nullptr, nullptr, nullptr);
    // Surnames as a practice has them: umlauts, ß, both cases, shared stems.
    const char* stems[] = {"M\xC3\xBCller",
                           "Mueller",
                           "Schmidt",
                           "Wei\xC3\x9F",
                           "Weiss",
                           "\xC3\x96zt\xC3\xBCrk",
                           "B\xC3\xA4"
                           "cker",
                           "Becker",
                           "Zander",
                           "\xC3\x84rztin",
                           "bauer",
                           "Strau\xC3\x9F"};
    sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "insert into p values (?1)", -1, &insert, nullptr);
    unsigned seed = 12345;
    for (int i = 0; i < rows; ++i) {
        seed = seed * 1103515245u + 12345u;
        std::string name = stems[(seed >> 16) % (sizeof stems / sizeof stems[0])];
        name += "-" + std::to_string((seed >> 8) % 5000);
        sqlite3_bind_text(insert, 1, name.c_str(), int(name.size()), SQLITE_TRANSIENT);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);

    const std::string sort = accessdrv::AccessCollation::kSort;
    const std::string compare = accessdrv::AccessCollation::kCompare;
    struct Case {
        const char* what;
        std::string before, after;
    };
    const Case cases[] = {
        {"order by trim(nachname)", "select nachname from p order by trim(nachname) collate nocase",
         "select nachname from p order by trim(nachname) collate " + sort},
        {"min() and max()", "select min(nachname), max(nachname) from p",
         "select min(nachname collate " + sort + "), max(nachname collate " + sort + ") from p"},
        {"between 'B' and 'M'", "select count(*) from p where nachname between 'B' and 'M'",
         "select count(*) from p where nachname collate " + compare + " between 'B' and 'M'"},
    };
    std::printf("%d surnames, seconds per query (median of 5 runs of 3)\n", rows);
    std::printf("%-26s %10s %10s %7s\n", "", "NOCASE", "General", "ratio");
    for (const Case& c : cases) {
        double b[5], a[5];
        for (int k = 0; k < 5; ++k) b[k] = Seconds(db, c.before, 3), a[k] = Seconds(db, c.after, 3);
        std::sort(b, b + 5);
        std::sort(a, a + 5);
        std::printf("%-26s %10.4f %10.4f %6.2fx\n", c.what, b[2], a[2], a[2] / b[2]);
    }
    sqlite3_close(db);
    return 0;
}
