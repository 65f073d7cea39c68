#include "core/Globals.h"

#include <chrono>

std::string ProgramDir;
std::string VelundaDir;
std::string DataDir;
std::string DatabaseDir;
std::string ServerPath;

int32_t CurrentLid = -1;
int32_t PresetAid = -1;
int32_t PresetPid = -1;

uint64_t TickCount() {
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
