// Access functions and operators that SQLite lacks, registered as SQL
// functions on each connection (the translator renames the calls), with the
// engine's text order (AccessCollation).
#pragma once

#include <sqlite3.h>

namespace accessdrv {

class AccessFunctions {
  public:
    static void Register(sqlite3* db);
};

}  // namespace accessdrv
