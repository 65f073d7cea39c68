#include "drivers/access/SqliteStatement.h"

#include "drivers/access/AccessError.h"

namespace accessdrv {

SqliteStatement::SqliteStatement(sqlite3* db, const std::string& sql) {
    int rc = sqlite3_prepare_v2(db, sql.c_str(), int(sql.size()), &stmt_, nullptr);
    if (rc != SQLITE_OK) throw AccessError::FromSqlite(db, rc);
}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& o) noexcept {
    if (this != &o) {
        sqlite3_finalize(stmt_);
        stmt_ = o.stmt_;
        o.stmt_ = nullptr;
    }
    return *this;
}

void SqliteStatement::Bind(int index, const std::string& text) {
    sqlite3_bind_text(stmt_, index, text.data(), int(text.size()), SQLITE_TRANSIENT);
}

bool SqliteStatement::Step() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw AccessError::FromSqlite(sqlite3_db_handle(stmt_), rc);
}

std::string SqliteStatement::Text(int column) const {
    const unsigned char* v = sqlite3_column_text(stmt_, column);
    return v ? std::string(reinterpret_cast<const char*>(v),
                           size_t(sqlite3_column_bytes(stmt_, column)))
             : std::string();
}

}  // namespace accessdrv
