// Process-wide values of one Tamaro run: the folders found at start-up and
// the current user. Text is code page 1252.
#pragma once

#include <cstdint>
#include <string>

extern std::string ProgramDir;   // current directory at start: Tamaro.cfg, tpl/, Dokumentation/
extern std::string VelundaDir;   // Velunda installation folder (per-user registry value only)
extern std::string DataDir;      // Velunda data root, or "Path" of Network.cfg; folder of log.save
extern std::string DatabaseDir;  // DataDir + "/Database": database files, backups, id files
extern std::string ServerPath;   // Firebird server prefix + "/Database"

extern int32_t CurrentLid;  // user id of the logged-in user, -1 before the login
extern int32_t PresetAid;   // doctor id: "AID=" of the command line, then the user's aid
extern int32_t PresetPid;   // "PID=" of the command line, -1 without it

// Windows-style colour value: red in the low byte, then green, then blue.
constexpr uint32_t RGB(uint8_t r, uint8_t g, uint8_t b) {
    return uint32_t(r) | (uint32_t(g) << 8) | (uint32_t(b) << 16);
}
constexpr uint32_t ColourRed = RGB(255, 0, 0);
constexpr uint32_t ColourBlue = RGB(0, 0, 255);
constexpr uint32_t ColourCount = RGB(100, 100, 200);
constexpr uint32_t ColourReady = RGB(0, 150, 0);

// Milliseconds of a monotonic clock, for start marks.
uint64_t TickCount();
