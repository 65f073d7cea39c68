// The folders that enter the program from files: the per-user key file (the
// registry's stand-in) and Velunda's "Network.cfg", both written by hand or by
// other programs. The input holds the key file, a NUL byte, then
// "Network.cfg". A folder taken as representable leads back to exactly the
// name in the file.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/DirectoryDiscovery.h"
#include "core/CConfigFile.h"
#include "core/FsPath.h"
#include "core/Globals.h"

namespace {

std::string Folder() {
    static const std::string folder = [] {
        char name[] = "/tmp/tamaro-fuzz-XXXXXX";
        if (!mkdtemp(name)) std::abort();
        const std::string dir = name;
        for (const char* sub : {"/Kvarn", "/install"})
            if (mkdir((dir + sub).c_str(), 0700) != 0) std::abort();
        setenv("XDG_CONFIG_HOME", name, 1);
        setenv("XDG_CONFIG_DIRS", (dir + "/none").c_str(), 1);
        return dir;
    }();
    return folder;
}

void Write(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) std::abort();
}

// The value of key in the file as it stands there, in UTF-8.
std::string Raw(const std::string& file, const char* key) {
    CConfigFile cfg;
    cfg.Load(file);
    return cfg.GetString(key);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string dir = Folder();
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t nul = input.find('\0');
    const std::string keyFile = dir + "/Kvarn/Velunda.conf";
    const std::string network = dir + "/install/Network.cfg";
    Write(keyFile, input.substr(0, nul));
    Write(network, nul == std::string::npos ? std::string() : input.substr(nul + 1));

    bool exact = false;
    const std::string install = DiscoverInstallationDir(&exact);
    std::string raw = Raw(keyFile, "path");
    raw = raw.substr(0, raw.find('\0'));
    if (exact && !install.empty() && fspath::ToFileSystem(install) != raw) std::abort();

    std::string unusable;
    if (LocateDataDir(dir + "/install", &unusable)) {
        if (!unusable.empty()) std::abort();
        if (fspath::ToFileSystem(DataDir) != Raw(network, "Path")) std::abort();
        if (fspath::ToFileSystem(FirebirdBase) != Raw(network, "FBConnect")) std::abort();
    } else if (unusable.empty()) {
        std::abort();
    }
    SetDatabaseDirs();
    DatabaseFolderExists();
    UnusablePathLine(unusable);
    return 0;
}
