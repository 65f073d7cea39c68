#include "platform/Registry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "core/CConfigFile.h"
#include "core/FsPath.h"
#include "core/Globals.h"

namespace {

// A registry string query fills a buffer of 256 bytes including its NUL.
constexpr size_t kValueBufferSize = 256;

// A folder named in the environment, as the program's text. A name that code
// page 1252 cannot hold comes out in a form that names no file, so its key
// files read as missing.
std::string FolderFromEnvironment(const std::string& name) {
    std::string folder;
    fspath::FromFileSystem(name, folder);
    return folder;
}

std::string UserConfigHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') return FolderFromEnvironment(xdg);
    const char* home = std::getenv("HOME");
    if (home && *home) return FolderFromEnvironment(std::string(home) + "/.config");
    return {};
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return stat(fspath::ToFileSystem(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void MakeFolder(const std::string& path) {
    const std::string name = fspath::ToFileSystem(path);
    for (size_t pos = 1; pos <= name.size(); ++pos) {
        if (pos == name.size() || name[pos] == '/') mkdir(name.substr(0, pos).c_str(), 0755);
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
        const std::string dir = FolderFromEnvironment(dirs.substr(start, end - start));
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

std::string ReadVelundaPath(RegistryRoot root, bool* representable) {
    if (representable) *representable = true;
    const std::string file = VelundaKeyFile(root);
    if (file.empty()) return {};
    CConfigFile key;
    if (!key.Load(file)) return {};
    std::string raw = key.GetString("path");
    const size_t nul = raw.find('\0');
    if (nul != std::string::npos) raw.resize(nul);
    // The key file is a Linux text file: the folder stands in it in UTF-8.
    std::string value;
    const bool exact = fspath::FromFileSystem(raw, value);
    if (value.size() >= kValueBufferSize) return {};
    if (representable) *representable = exact;
    return value;
}

void WriteProgramPath() {
    const std::string file = ProgramKeyFile();
    if (file.empty()) return;
    MakeFolder(file.substr(0, file.rfind('/')));
    CConfigFile key;
    key.Load(file);  // keeps whatever else the file holds
    key.SetString("Path", fspath::ToFileSystem(ProgramDir));
    key.Save();
}
