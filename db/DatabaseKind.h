// The two database kinds, their connection strings, and connecting one
// database of the archived set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ArchiveDbPair;

enum class DatabaseKind { Firebird, Access };

// Access exactly when the extension is ".mdb" (case-sensitive), else Firebird.
DatabaseKind KindOfExtension(const std::string& extension);
const char* ExtensionOf(DatabaseKind kind);  // ".fdb" / ".mdb"
// The kind of a database file name with its extension ("data.mdb").
DatabaseKind KindOfFile(const std::string& fileName);

// Connection strings from the process-wide folders (core/Globals.h).
// FirebirdConnectionString turns every "\" of ServerPath into "/" in the
// global itself first.
std::string FirebirdConnectionString(const std::string& fileName);
std::string AccessConnectionString(const std::string& fileName);

// Chooses the kind by the files in DatabaseDir (".fdb" wins), sets the
// extension, opens the connection; logs "Fehler beim Connect zu <file><ext>"
// in red on failure, followed in red by the driver manager's reason when it
// could not load the driver, or by the other processes of this machine that
// hold an embedded Firebird file open. True when open.
bool Connect(ArchiveDbPair& db);

// True when a Firebird database of the set is opened by the engine inside
// this process (ServerPath names no server), which then shares its file
// with no other process.
bool OpensEmbedded(const ArchiveDbPair& db);
// The other processes of this machine ("Prozess 4711 (tamaro)") that hold
// the file of an embedded Firebird database open; empty otherwise.
std::vector<std::string> EmbeddedFileHolders(const ArchiveDbPair& db);

// Number of rows of "patienten" (counted over pid), logged as
// "<display name>: <n> Patienten"; 0 when not connected or on failure.
int32_t PatCount(const ArchiveDbPair& db);
