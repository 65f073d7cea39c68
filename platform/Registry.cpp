#include "platform/Registry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "core/CConfigFile.h"
#include "core/Globals.h"

namespace {

// A registry string query fills a buffer of 256 bytes including its NUL.
constexpr size_t kValueBufferSize = 256;

std::string UserConfigHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') return xdg;
    const char* home = std::getenv("HOME");
    if (home && *home) return std::string(home) + "/.config";
    return {};
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void MakeFolder(const std::string& path) {
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos == path.size() || path[pos] == '/') mkdir(path.substr(0, pos).c_str(), 0755);
    }
}

}  // namespace

std::string VelundaKeyFile(RegistryRoot root) {
    if (root == RegistryRoot::CurrentUser) {
        const std::string home = UserConfigHome();
        return home.empty() ? std::string() : home + "/Kvarn/Velunda.conf";
    }
    const char* env = std::getenv("XDG_CONFIG_DIRS");
    const std::string dirs = (env && *env) ? env : "/etc/xdg";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string dir = dirs.substr(start, end - start);
        if (!dir.empty() && dir[0] == '/' && IsFile(dir + "/Kvarn/Velunda.conf"))
            return dir + "/Kvarn/Velunda.conf";
        start = end + 1;
    }
    return {};
}

std::string ProgramKeyFile() {
    const std::string home = UserConfigHome();
    return home.empty() ? std::string() : home + "/Kvarn/Tamaro.conf";
}

std::string ReadVelundaPath(RegistryRoot root) {
    const std::string file = VelundaKeyFile(root);
    if (file.empty()) return {};
    CConfigFile key;
    if (!key.Load(file)) return {};
    std::string value = key.GetString("path");
    if (value.size() >= kValueBufferSize) return {};
    const size_t nul = value.find('\0');
    if (nul != std::string::npos) value.resize(nul);
    return value;
}

void WriteProgramPath() {
    const std::string file = ProgramKeyFile();
    if (file.empty()) return;
    MakeFolder(file.substr(0, file.rfind('/')));
    CConfigFile key;
    key.Load(file);  // keeps whatever else the file holds
    key.SetString("Path", ProgramDir);
    key.Save();
}
