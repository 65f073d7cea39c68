// Other connections to a Firebird database, from the engine's monitoring
// table: a run must not start while they work on its databases, and a
// backup must not be renamed over a file they use.
#pragma once

#include <string>
#include <vector>

struct ArchiveDbPair;

// One text per other attachment of db ("data.fdb: Verbindung 12 als SYSDBA,
// Benutzer anna, Rechner empfang (192.168.1.7), Programm velunda"); false
// when the monitoring table cannot be read (error says why). The Access
// kind has no such table: nothing is found there.
bool OtherAttachments(ArchiveDbPair& db, std::vector<std::string>& found, std::string& error);
