#include "archive/rows/RunKind.h"

const char* RunVerb(RunKind kind) {
    switch (kind) {
        case RunKind::Archive:
            return "Archivieren";
        case RunKind::Restore:
            return "Restaurieren";
        case RunKind::Delete:
            return "Löschen";
        case RunKind::Maintenance:
            break;
    }
    return "Wartung";
}

std::string EntriesText(int64_t rows) {
    return std::to_string(rows) + (rows == 1 ? " Eintrag" : " Einträge");
}
