#include "app/SiblingPrograms.h"

#include "core/WindowServices.h"
#include "platform/NamedMutex.h"

bool SiblingRunning(const std::string& mutexName, const std::string& message) {
    if (!NamedMutexExists(mutexName)) return false;
    ShowWarning(message);
    return true;
}

bool AnySiblingRunning(bool withPockora) {
    return SiblingRunning("VelundaMTX", "Bitte beenden Sie Velunda") ||
           SiblingRunning("Dormilo VigilMTX", "Bitte beenden Sie das Dormilo-Vigil") ||
           SiblingRunning("Dormilo SedatMTX", "Bitte beenden Sie Dormilo-Sedat") ||
           (withPockora && SiblingRunning("PockoraMTX", "Bitte beenden Sie Pockora"));
}
