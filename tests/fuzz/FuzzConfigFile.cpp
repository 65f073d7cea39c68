// CConfigFile on any file content ("Tamaro.cfg", "Network.cfg" and the key
// files are written by hand or by other programs): reading never fails, and
// a value set, saved and read back is the value that was set.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/CConfigFile.h"

namespace {

// A file in memory, named by its /proc path.
struct MemoryFile {
    MemoryFile() : fd(memfd_create("tamaro-fuzz", 0)) {}
    ~MemoryFile() { close(fd); }
    std::string Path() const { return "/proc/self/fd/" + std::to_string(fd); }
    void Fill(const uint8_t* data, size_t size) const {
        if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size)) std::abort();
    }
    int fd;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const MemoryFile file;
    file.Fill(data, size);
    CConfigFile cfg;
    if (!cfg.Load(file.Path())) std::abort();
    for (const char* key : {"Velunda.Min", "Archiv.Max", "Path", "FBConnect", "path"}) {
        cfg.GetString(key, "default");
        cfg.GetInt(key, -1);
    }
    // A value without the two bytes that stand for line breaks survives a
    // save and a load, line breaks and all; the other lines stay.
    std::string value(reinterpret_cast<const char*>(data), size < 64 ? size : 64);
    for (char& c : value)
        if (c == '\x01' || c == '\x02') c = ' ';
    cfg.SetString("Velunda.Max", value);
    cfg.SetInt("Archiv.Min", static_cast<int>(size) - 1000);
    if (cfg.GetString("Velunda.Max") != value) std::abort();
    if (!cfg.Save()) std::abort();
    CConfigFile back;
    if (!back.Load(file.Path())) std::abort();
    if (back.GetString("Velunda.Max") != value) std::abort();
    if (back.GetInt("Archiv.Min", 0) != static_cast<int>(size) - 1000) std::abort();
    return 0;
}
