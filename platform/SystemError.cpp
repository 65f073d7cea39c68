#include "platform/SystemError.h"

#include <cerrno>
#include <cstring>

std::string SystemErrorText(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
            return "keine Berechtigung";
        case EROFS:
            return "schreibgeschütztes Dateisystem";
        case ENOSPC:
        case EDQUOT:
            return "Datenträger voll";
        case ENOENT:
            return "nicht vorhanden";
        case EIO:
            return "Ein-/Ausgabefehler";
        case EBUSY:
        case ETXTBSY:
            return "in Benutzung";
        default:
            return std::strerror(error);
    }
}
