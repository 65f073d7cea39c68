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
