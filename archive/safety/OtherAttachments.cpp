#include "archive/safety/OtherAttachments.h"

#include "archive/rows/ColumnText.h"
#include "db/ArchiveDbPair.h"
#include "db/DatabaseKind.h"
#include "db/ODBCStmt.h"
#include "db/OdbcResult.h"

namespace {

std::string Trimmed(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

}  // namespace

bool OtherAttachments(ArchiveDbPair& db, std::vector<std::string>& found, std::string& error) {
    if (KindOfExtension(db.Extension) != DatabaseKind::Firebird || !db.Connection.IsOpen())
        return true;
    ODBCStmt stmt(db.Connection);
    const char* sql =
        "select mon$attachment_id, mon$user, mon$remote_host, mon$remote_address, "
        "mon$remote_os_user, mon$remote_process from mon$attachments "
        "where mon$attachment_id <> current_connection and mon$system_flag = 0";
    if (!SqlExecuted(stmt.Execute(sql))) {
        error = db.Connection.GetErrorText(stmt.Handle());
        return false;
    }
    while (stmt.Fetch()) {
        std::string id, user, host, address, osUser, process;
        SQLLEN indicator = 0;
        // The id is a 64-bit number: asked for as text, not in binary.
        ReadColumnText(stmt.Handle(), 1, id, indicator);
        stmt.GetColumnString(2, user);
        stmt.GetColumnString(3, host);
        stmt.GetColumnString(4, address);
        stmt.GetColumnString(5, osUser);
        stmt.GetColumnString(6, process);
        std::string text =
            db.FileName + db.Extension + ": Verbindung " + Trimmed(id) + " als " + Trimmed(user);
        if (!Trimmed(osUser).empty()) text += ", Benutzer " + Trimmed(osUser);
        if (!Trimmed(host).empty() || !Trimmed(address).empty())
            text += ", Rechner " + Trimmed(host) +
                    (Trimmed(address).empty() ? "" : " (" + Trimmed(address) + ")");
        if (!Trimmed(process).empty()) text += ", Programm " + Trimmed(process);
        found.push_back(text);
    }
    return true;
}
