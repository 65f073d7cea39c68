// The broadcast window message of the practice programs, sent as a D-Bus
// signal on the session bus: path /de/kvarn/Velunda, interface
// de.kvarn.Velunda, member = the message name, two int32 arguments.
#pragma once

#include <cstdint>
#include <string>

inline constexpr const char* NewPatientsMessage = "MSG_VELUNDA_NEWPAT";
inline constexpr const char* BroadcastPath = "/de/kvarn/Velunda";
inline constexpr const char* BroadcastInterface = "de.kvarn.Velunda";

// Posts the signal and returns; false when no session bus was reachable, in
// which case nothing happened.
bool BroadcastMessage(const std::string& name, int32_t wParam, int32_t lParam);

// "MSG_VELUNDA_NEWPAT" with both parameters 0: the Velunda patients changed.
inline bool BroadcastNewPatients() {
    return BroadcastMessage(NewPatientsMessage, 0, 0);
}
