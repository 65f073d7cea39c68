#include "db/DatabaseKind.h"

#include <sys/stat.h>

#include <algorithm>

#include "core/FsPath.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "db/ArchiveDbPair.h"
#include "db/ODBCStmt.h"
#include "db/OdbcResult.h"
#include "db/ValueBuffer.h"
#include "platform/FileHolders.h"

DatabaseKind KindOfExtension(const std::string& extension) {
    return extension == ".mdb" ? DatabaseKind::Access : DatabaseKind::Firebird;
}

DatabaseKind KindOfFile(const std::string& fileName) {
    const size_t dot = fileName.rfind('.');
    return KindOfExtension(dot == std::string::npos ? std::string() : fileName.substr(dot));
}

const char* ExtensionOf(DatabaseKind kind) {
    return kind == DatabaseKind::Access ? ".mdb" : ".fdb";
}

std::string FirebirdConnectionString(const std::string& fileName) {
    // The server takes forward slashes; the global keeps the converted form,
    // so a later call finds nothing left to convert.
    std::replace(ServerPath.begin(), ServerPath.end(), '\\', '/');
    return "DRIVER=Firebird/InterBase(r) driver;AutoQuotedIdentifier=false;client=" + VelundaDir +
           "/Module/ETC/fbclient.dll;DBNAME=" + ServerPath + "/" + fileName +
           ".fdb;UID=SYSDBA;PWD=tilvormex";
}

std::string AccessConnectionString(const std::string& fileName) {
    return "Driver={Microsoft Access Driver (*.mdb)};Dbq=" + DatabaseDir + "/" + fileName +
           ".mdb;Pwd=lamp(hurz);";
}

bool Connect(ArchiveDbPair& db) {
    std::string fdbPath = DatabaseDir + "/" + db.FileName + ".fdb";
    struct stat status;
    std::string connStr;
    DatabaseKind kind;
    if (stat(fspath::ToFileSystem(fdbPath).c_str(), &status) == 0) {
        kind = DatabaseKind::Firebird;
        connStr = FirebirdConnectionString(db.FileName);
    } else {
        // Without a Firebird file the database is taken as Access; a missing
        // ".mdb" is left for the driver to refuse.
        kind = DatabaseKind::Access;
        connStr = AccessConnectionString(db.FileName);
    }
    db.Extension = ExtensionOf(kind);
    if (!db.Connection.OpenConnection(connStr)) {
        AppendLog("Fehler beim Connect zu " + db.File(), ColourRed);
        // A driver that cannot be loaded is no fault of the database: say why.
        if (!db.Connection.DriverManagerError().empty()) {
            AppendLog(db.Connection.DriverManagerError(), ColourRed);
        } else if (const std::vector<std::string> holders = EmbeddedFileHolders(db);
                   !holders.empty()) {
            // The embedded engine shares a file with no other process (a
            // second Tamaro, Velunda on this machine): name who has it.
            std::string names;
            for (const std::string& h : holders) names += (names.empty() ? "" : ", ") + h;
            AppendLog("• " + db.File() + " ist schon geöffnet von: " + names + ".", ColourRed);
        }
        return false;
    }
    return true;
}

bool OpensEmbedded(const ArchiveDbPair& db) {
    if (db.Extension != ".fdb") return false;
    // "host:path" and "host/port:path" go through a server; a plain path
    // (on Linux one that begins with "/", or one without a colon) does not.
    const size_t colon = ServerPath.find(':');
    return colon == std::string::npos || ServerPath.find('/') < colon;
}

std::vector<std::string> EmbeddedFileHolders(const ArchiveDbPair& db) {
    std::vector<std::string> holders, readable;
    std::string error;
    if (!OpensEmbedded(db) || !OtherHoldersOfFile(DatabaseDir + "/" + db.File(), holders, error))
        return {};
    // Processes whose files this user may not see are no evidence here.
    for (const std::string& h : holders)
        if (h.find("(nicht lesbar)") == std::string::npos) readable.push_back(h);
    return readable;
}

int32_t PatCount(const ArchiveDbPair& db) {
    if (!db.Connection.IsOpen()) return 0;
    ODBCStmt stmt(db.Connection);
    int32_t count = 0;
    if (SqlExecuted(stmt.Execute("select count(pid) from patienten"))) {
        // Firebird counts in 64 bits; the first four bytes are the low half.
        if (stmt.Fetch() && stmt.GetColumnData(1, ValueBuffer, ValueBufferSize)) {
            count = ValueBufferInt();
            AppendLog(db.DisplayName + ": " + std::to_string(count) + " Patienten", ColourCount);
        }
    } else {
        AppendLog("Fehler in PatCount: " + db.Connection.GetErrorText(stmt.Handle()), ColourRed);
    }
    stmt.Reset();
    return count;
}
