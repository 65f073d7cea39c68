#include "drivers/access/AccessMeta.h"

#include "drivers/access/AccessError.h"
#include "drivers/access/SqliteStatement.h"
#include "drivers/common/base/Backend.h"

namespace accessdrv {

void AccessMeta::Create(sqlite3* db, const std::string& password) {
    SqliteStatement create(db, "CREATE TABLE tamaro_meta (key TEXT PRIMARY KEY, value TEXT)");
    create.StepDone();
    SqliteStatement insert(db,
                           "INSERT INTO tamaro_meta (key, value) VALUES ('format', "
                           "'Tamaro Access-kind database 1'), ('password', ?1)");
    insert.Bind(1, password);
    insert.StepDone();
}

void AccessMeta::CheckPassword(sqlite3* db, const std::string& password, const std::string& path) {
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db, "SELECT value FROM tamaro_meta WHERE key = 'password'", -1,
                                &raw, nullptr);
    SqliteStatement stmt(raw);
    if (rc != SQLITE_OK)
        throw odbcdrv::DriverError(
            "08001",
            "[Tamaro][Access driver] '" + path +
                "' is not a database of the Access kind kept by this driver (SQLite: " +
                sqlite3_errmsg(db) + ").",
            rc);
    std::string stored;
    if (stmt.Step()) {
        const unsigned char* v = sqlite3_column_text(stmt.get(), 0);
        if (v) stored = reinterpret_cast<const char*>(v);
    }
    // Access compares database passwords with regard to case.
    if (stored != password)
        throw odbcdrv::DriverError(
            "28000", "[Tamaro][Access driver] Not a valid password for '" + path + "'.");
}

}  // namespace accessdrv
