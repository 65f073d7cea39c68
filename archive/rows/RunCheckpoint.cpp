#include "archive/rows/RunCheckpoint.h"

#include <csignal>
#include <cstdlib>
#include <map>
#include <string>

namespace {

bool Names(const char* variable, const std::string& point, int passage) {
    const char* value = std::getenv(variable);
    if (!value) return false;
    const std::string v = value;
    const size_t colon = v.find(':');
    if (v.substr(0, colon) != point) return false;
    const int wanted = colon == std::string::npos ? 1 : std::atoi(v.c_str() + colon + 1);
    return passage == wanted;
}

std::function<void(const std::string&, int)>& Hook() {
    static std::function<void(const std::string&, int)> hook;
    return hook;
}

std::map<std::string, int>& HookPassages() {
    static std::map<std::string, int> passages;
    return passages;
}

}  // namespace

void SetRunCheckpointHook(std::function<void(const std::string& point, int passage)> hook) {
    Hook() = std::move(hook);
    HookPassages().clear();
}

void RunCheckpoint(const char* point) {
    if (Hook()) {
        // A copy: the hook may remove itself while it runs.
        const auto hook = Hook();
        hook(point, ++HookPassages()[point]);
    }
    static std::map<std::string, int> passages;
    const int passage = ++passages[point];
    if (Names("TAMARO_RUN_KILL_AT", point, passage)) std::raise(SIGKILL);
    if (Names("TAMARO_RUN_STOP_AT", point, passage)) std::raise(SIGSTOP);
}
