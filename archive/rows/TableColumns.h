// The columns of a table as the driver's catalog gives them (SQLColumns),
// for the schema synchronisation and the check before a restore.
#pragma once

#include <string>
#include <vector>

struct ArchiveDbPair;
class ODBCStmt;

struct CatalogColumn {
    std::string name;  // lower case
    int code = 0;      // ODBC SQL data type
    int size = 0;      // characters, bytes or precision, where the type has one
    int digits = 0;    // decimal digits of an exact number
};

// The columns of `table` in catalog order, read through stmt. False when the
// catalog cannot be read (the call or a fetch fails); an unknown table gives
// true and no columns.
bool ReadCatalogColumns(ODBCStmt& stmt, const std::string& table, std::vector<CatalogColumn>& out);

// The same through a statement of its own on db's connection.
bool ReadTableColumns(ArchiveDbPair& db, const std::string& table, std::vector<CatalogColumn>& out);
