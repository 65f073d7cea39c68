// The two database kinds a practice installation can be written in.
#pragma once

#include <string>

enum class PracticeKind { Firebird, Access };

inline const char* KindExtension(PracticeKind kind) {
    return kind == PracticeKind::Firebird ? ".fdb" : ".mdb";
}

// Connection string that creates the database file when it is missing
// (CREATEDB is a key of the project's drivers, never sent by the program).
inline std::string CreateConnectionString(PracticeKind kind, const std::string& file) {
    if (kind == PracticeKind::Firebird)
        return "DRIVER=Firebird/InterBase(r) driver;DBNAME=" + file +
               ";UID=SYSDBA;PWD=tilvormex;CREATEDB=1";
    return "Driver={Microsoft Access Driver (*.mdb)};Dbq=" + file + ";Pwd=lamp(hurz);CREATEDB=1";
}
