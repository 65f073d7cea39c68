#include "drivers/access/AccessError.h"

#include "core/Cp1252.h"

namespace accessdrv {

namespace {

bool Has(const std::string& s, const char* part) {
    return s.find(part) != std::string::npos;
}

}  // namespace

odbcdrv::DriverError AccessError::Make(const char* sqlstate, const std::string& text, int native) {
    return odbcdrv::DriverError(sqlstate, cp1252::FromUtf8(kPrefix + text), native);
}

odbcdrv::DriverError AccessError::FromSqlite(sqlite3* db, int rc) {
    std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    int ext = db ? sqlite3_extended_errcode(db) : rc;
    std::string own = " (SQLite: " + msg + ")";
    const char* state = "HY000";
    std::string text;
    if (ext == SQLITE_CONSTRAINT_CHECK) {
        // The driver names its checks "<kind>:<column>".
        std::string name = msg.substr(msg.find(':') == std::string::npos ? 0 : msg.find(':') + 1);
        if (!name.empty() && name[0] == ' ') name.erase(0, 1);
        std::string kind = name.substr(0, name.find(':'));
        std::string column =
            name.find(':') == std::string::npos ? name : name.substr(name.find(':') + 1);
        if (kind == "len") {
            state = "22001";
            text = "The field '" + column +
                   "' is too small to accept the amount of data you attempted to add.";
        } else if (kind == "num") {
            state = "22018";
            text = "Data type mismatch: the value for the field '" + column +
                   "' is no number of the field's type or lies outside its range.";
        } else if (kind == "date") {
            state = "22007";
            text = "Data type mismatch: the value for the field '" + column + "' is no date.";
        } else {
            state = "23000";
            text = "A validation rule refused the value.";
        }
    } else if (ext == SQLITE_CONSTRAINT_NOTNULL) {
        state = "23000";
        std::string column =
            msg.substr(msg.rfind('.') == std::string::npos ? 0 : msg.rfind('.') + 1);
        text = "The field '" + column + "' cannot contain a Null value.";
    } else if (ext == SQLITE_CONSTRAINT_UNIQUE || ext == SQLITE_CONSTRAINT_PRIMARYKEY) {
        state = "23000";
        text =
            "The changes you requested to the table were not successful because they would "
            "create duplicate values in the index or primary key.";
    } else if ((rc & 0xFF) == SQLITE_CONSTRAINT) {
        state = "23000";
        text = "A constraint refused the change.";
    } else if ((rc & 0xFF) == SQLITE_LOCKED) {
        state = "HY000";
        text = "The table is in use by a query of this connection that has not been closed.";
    } else if ((rc & 0xFF) == SQLITE_BUSY) {
        state = "HYT00";
        text = "The database is in use by another process; the statement timed out.";
    } else if ((rc & 0xFF) == SQLITE_INTERRUPT) {
        state = "HY008";
        text = "Operation cancelled.";
    } else if ((rc & 0xFF) == SQLITE_NOTADB) {
        text = "The file is not a database of the Access kind kept by this driver.";
    } else if ((rc & 0xFF) == SQLITE_READONLY) {
        // A read-only connection (SQL_MODE_READ_ONLY) or file.
        state = "25006";
        text = "The database is read-only: the statement would change it.";
    } else if (msg == "Division by zero") {
        state = "22012";
        text = "Division by zero.";
    } else if (Has(msg, "no such table")) {
        state = "42S02";
        text = "The table does not exist.";
    } else if (Has(msg, "no such column")) {
        state = "42S22";
        text = "Unknown field name.";
    } else if (Has(msg, "duplicate column name")) {
        state = "42S21";
        text = "A field of that name already exists in the table.";
    } else if (Has(msg, "index") && Has(msg, "already exists")) {
        state = "42S11";
        text = "An index of that name already exists on the table.";
    } else if (Has(msg, "already exists")) {
        state = "42S01";
        text = "A table of that name already exists.";
    } else if (Has(msg, "no such index")) {
        state = "42S12";
        text = "The index does not exist.";
    } else if (Has(msg, "no such function")) {
        state = "42000";
        text = "Undefined function in expression.";
    } else if (Has(msg, "syntax error") || Has(msg, "incomplete input") ||
               Has(msg, "unrecognized token") || Has(msg, "wrong number of arguments")) {
        state = "42000";
        text = "Syntax error in SQL statement.";
    } else if (Has(msg, "too large") || Has(msg, "too many") || Has(msg, "stack overflow") ||
               Has(msg, "at most")) {
        // A limit of the statement's size or depth ("Expression tree is too
        // large", "too many terms in compound SELECT", ...).
        state = "42000";
        text = "The statement is too complex.";
    } else if (Has(msg, "mismatch")) {
        state = "22018";
        text = "Data type mismatch in criteria expression.";
    } else {
        text = "The statement failed.";
    }
    return Make(state, text + own, rc);
}

}  // namespace accessdrv
