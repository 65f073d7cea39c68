// The text order of the emulated engine ("General" sort order), registered
// with SQLite on each connection: letters by German rules (DIN 5007-1, the
// engine's core/GermanCollation.h), without regard to case, umlauts beside
// their base letters, ß as ss.
//  - kSort orders ORDER BY, min() and max(): texts that differ only in case
//    are ordered by their characters, so the order is total.
//  - kCompare serves <, >, <=, >= and BETWEEN on text: texts that differ
//    only in case compare equal, as they do for = (the columns' NOCASE).
#pragma once

#include <sqlite3.h>

namespace accessdrv {

class AccessCollation {
  public:
    static constexpr const char* kSort = "TAMARO_GENERAL";
    static constexpr const char* kCompare = "TAMARO_GENERAL_CMP";
    static void Register(sqlite3* db);
    // The comparison of two UTF-8 texts as the collations make it.
    static int Compare(const void* a, int aLength, const void* b, int bLength, bool caseTies);
};

}  // namespace accessdrv
