// The SQL scripts of the practice databases and of the archive template
// (schema/*.sql, embedded at build time), split into statements and
// translated for one database kind.
#pragma once

#include <string>
#include <vector>

#include "tools/PracticeKind.h"

class SchemaScript {
  public:
    // Names of the embedded scripts: the eight practice databases and "archiv".
    static const std::vector<std::string>& DatabaseNames();
    // The 24 tables that hold patient rows, in the order of the archive.
    static const std::vector<std::string>& ArchivedTables();

    // Translated statements of one database's script; false for an unknown name.
    static bool Statements(const std::string& database, PracticeKind kind,
                           std::vector<std::string>& out);

    // Statement splitting and type translation, exposed for the tests.
    static std::vector<std::string> Split(const std::string& script);
    static std::string Translate(const std::string& statement, PracticeKind kind);
    // Table named by "create table X" or "create [unique] index I on X", else empty.
    static std::string TableOf(const std::string& statement);
    // What numbers the §COUNTER§ columns of a create-table statement: nothing
    // on the Access kind, whose counter type does it; on Firebird a generator
    // and a before-insert trigger per column, which fill a null with the next
    // number and move the generator past a number given explicitly.
    static std::vector<std::string> Numbering(const std::string& statement, PracticeKind kind);
};
