#include "users/UserRights.h"

#include <cstring>
#include <string>

#include "core/Globals.h"
#include "core/WindowServices.h"
#include "db/ODBCConnection.h"
#include "db/ODBCStmt.h"

namespace {

// An integer column of 1, 2, 4 or 8 bytes; false for null or anything else.
// Firebird's max(...)+1 without the cast is an 8-byte number.
bool ReadWideInt(ODBCStmt& stmt, SQLUSMALLINT n, int64_t& value) {
    char buffer[64] = {0};
    SQLLEN length = 0;
    if (!stmt.GetColumnData(n, buffer, sizeof buffer, &length)) return false;
    switch (length) {
        case 1:
            value = static_cast<signed char>(buffer[0]);
            return true;
        case 2: {
            int16_t v;
            std::memcpy(&v, buffer, sizeof v);
            value = v;
            return true;
        }
        case 4: {
            int32_t v;
            std::memcpy(&v, buffer, sizeof v);
            value = v;
            return true;
        }
        case 8:
            std::memcpy(&value, buffer, sizeof value);
            return true;
        default:
            return false;
    }
}

}  // namespace

void UserRights::Load(ODBCConnection& connection, int32_t lid) {
    connection_ = &connection;
    lid_ = lid;
    flags_.clear();

    int64_t count = 0;
    ODBCStmt stmt(connection);
    const char* countSql = connection.IsFirebird()
                               ? "select cast(max(tid)+1 as integer) from uac_token"
                               : "select max(tid)+1 from uac_token";
    if (stmt.ExecDirect(countSql) && stmt.Fetch() && !ReadWideInt(stmt, 1, count)) count = 0;
    stmt.Reset();
    if (count <= 0) return;
    flags_.assign(size_t(count < MaxTokenCount ? count : MaxTokenCount), 0);

    const std::string tokensSql =
        "select distinct b.tid from uac_lid2gid a left join uac_tid2gid b on (a.gid=b.gid) "
        "where a.lid=" +
        std::to_string(lid);
    if (stmt.ExecDirect(tokensSql)) {
        while (stmt.Fetch()) {
            int64_t tid = 0;
            // A group without tokens gives a null row.
            if (ReadWideInt(stmt, 1, tid) && tid >= 0 && tid < int64_t(flags_.size()))
                flags_[size_t(tid)] = 1;
        }
    }
    stmt.Reset();
}

bool UserRights::Holds(int32_t token) const {
    return token >= 0 && size_t(token) < flags_.size() && flags_[size_t(token)] != 0;
}

UserRights& TheUserRights() {
    static UserRights rights;
    return rights;
}

void LoadRights(ODBCConnection& connection) {
    TheUserRights().Load(connection, CurrentLid);
}

bool HasProgramRight() {
    const UserRights& rights = TheUserRights();
    if (rights.TokenCount() > ProgramRightToken && rights.Holds(ProgramRightToken)) return true;
    ShowError("Sie haben keine Berechtigung für diese Funktion.");
    return false;
}
