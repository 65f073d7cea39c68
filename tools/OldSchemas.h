// Databases whose schema differs from the current one, for tests of the
// start-up maintenance: archives of older releases, made from the template by
// undoing steps of the version ladder (schema/archiv-undo.sql), and changes
// applied to an existing database by an embedded script.
#pragma once

#include <string>

// An archive database at schema version `version` (0 to 68); the kind
// follows the file's extension. Versions below 47 only as .mdb.
bool WriteOldArchive(const std::string& file, int version, std::string& error);

// Runs the embedded script `name` (schema/<name>.sql, translated for the kind
// of `file`) on the existing database `file`.
bool ApplySchemaScript(const std::string& name, const std::string& file, std::string& error);
