#include "app/headless/CommandLine.h"

#include <cstdlib>

namespace {

void ReadValue(const std::string& args, const char* key, int32_t& out) {
    size_t pos = args.find(key);
    if (pos == std::string::npos) return;
    out = int32_t(std::strtol(args.c_str() + pos + 4, nullptr, 10));
}

}  // namespace

void ParseCommandLine(const std::string& args, int32_t& aid, int32_t& pid) {
    ReadValue(args, "AID=", aid);
    ReadValue(args, "PID=", pid);
}
