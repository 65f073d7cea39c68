#include "archive/safety/ArchiveOnlyColumns.h"

#include <set>
#include <vector>

#include "archive/rows/PatientRows.h"
#include "archive/rows/PidList.h"
#include "archive/rows/TableColumns.h"
#include "core/WindowServices.h"
#include "db/ArchiveDbPair.h"
#include "db/DatabaseSet.h"

namespace {

bool IsText(int code) {
    return code == SQL_CHAR || code == SQL_VARCHAR || code == SQL_LONGVARCHAR;
}

}  // namespace

bool RefuseArchiveOnlyValues(ArchiveDbPair* source, ArchiveDbPair* target,
                             const std::string& pidList) {
    const std::vector<std::string> parts = SplitPidList(pidList);
    std::string found;
    for (ArchiveDbPair* db = source; db; db = db->Next) {
        for (const std::string& table : SplitTableList(db->Tables)) {
            ArchiveDbPair* dest = FindDatabaseForTable(target, table);
            std::vector<CatalogColumn> archived, live;
            // A table the catalog cannot give is left to the run, which
            // reports its failure itself.
            if (!dest || !ReadTableColumns(*db, table, archived) ||
                !ReadTableColumns(*dest, table, live) || live.empty())
                continue;
            std::set<std::string> known;
            for (const CatalogColumn& c : live) known.insert(c.name);
            for (const CatalogColumn& c : archived) {
                if (known.count(c.name)) continue;
                const std::string condition =
                    c.name + " is not null" + (IsText(c.code) ? " and " + c.name + " <> ''" : "");
                int64_t rows = 0;
                // A column that cannot be counted counts as holding values.
                if (!CountPatientRows(*db, table, parts, rows, nullptr, condition) || rows > 0)
                    found += "\n• " + table + "." + c.name + ": " +
                             (rows > 0 ? std::to_string(rows) : std::string("?")) + " Einträge";
            }
        }
    }
    if (found.empty()) return false;
    ShowMessage(
        "Diese Patienten können nicht restauriert werden: das Archiv hat Werte in Spalten, die "
        "Velunda nicht mehr kennt:" +
        found +
        "\nEin Administrator kann die Spalten in Velunda wieder anlegen oder die Werte im Archiv "
        "prüfen und leeren; danach ist die Restaurierung möglich.\nDer Vorgang wird nicht "
        "gestartet.");
    return true;
}
