// One database of the archived set: its names, its kind once connected, its
// connection, the tables holding patient rows, and the next database of the
// same side.
#pragma once

#include <string>
#include <utility>

#include "db/ODBCConnection.h"

struct ArchiveDbPair {
    ArchiveDbPair() = default;
    ArchiveDbPair(std::string displayName, std::string fileName, std::string tables)
        : DisplayName(std::move(displayName)),
          FileName(std::move(fileName)),
          Tables(std::move(tables)) {}
    ArchiveDbPair(const ArchiveDbPair&) = delete;
    ArchiveDbPair& operator=(const ArchiveDbPair&) = delete;

    std::string DisplayName;  // "Velunda", "Archiv", ...: messages and settings keys
    std::string FileName;     // without extension, in DatabaseDir
    std::string Extension;    // ".fdb" or ".mdb"; empty until Connect has run
    ODBCConnection Connection;
    std::string Tables;  // comma-separated patient tables, no blanks
    ArchiveDbPair* Next = nullptr;

    // The database's file name in DatabaseDir, e.g. "data.fdb".
    std::string File() const { return FileName + Extension; }
};
