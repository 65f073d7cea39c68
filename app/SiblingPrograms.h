// The other programs of the practice system that must not run while Tamaro
// archives or deletes: each holds a named system-wide mutex while it runs.
#pragma once

#include <string>

// True when the program holding the named mutex runs; the message has then
// been shown in an OK box. The mutex is probed for a moment only.
bool SiblingRunning(const std::string& mutexName, const std::string& message);

// The checks before archiving out of Velunda (Velunda, Dormilo-Vigil,
// Dormilo-Sedat) and, with withPockora, before deleting in the Velunda view
// (Pockora too), in that order; stops at the first program found running.
// True when one runs.
bool AnySiblingRunning(bool withPockora);
