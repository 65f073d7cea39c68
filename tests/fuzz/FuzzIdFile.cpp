// The shared id files in the database folder, which every program of the
// practice writes: getID on any content hands out the number that stands
// there and leaves the next one in its place, the rest of the file as it was;
// a number it does not hand out leaves the file untouched.
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "core/Globals.h"
#include "core/ScriptedWindowServices.h"
#include "core/WindowServices.h"
#include "db/RecordId.h"

namespace {

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string dir = [] {
        char name[] = "/tmp/tamaro-fuzz-id-XXXXXX";
        if (!mkdtemp(name)) std::abort();
        return std::string(name);
    }();
    DatabaseDir = dir;
    const std::string file = dir + "/karteiData.id";
    const std::string input(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << input;
    }
    ScriptedWindowServices boxes;
    SetWindowServices(&boxes);
    const int32_t id = getID("karteiData", IdFileRetry{1, 0});
    SetWindowServices(nullptr);
    const std::string content = Read(file);
    if (id < 0) {
        if (content != input) std::abort();
    } else {
        const std::string next = std::to_string(int64_t(id) + 1);
        const std::string rest = input.size() > next.size() ? input.substr(next.size()) : "";
        if (content != next + rest) std::abort();
    }
    return 0;
}
