#include "platform/OdbcDriverLocator.h"

#include <strings.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <set>

#include "core/AsciiText.h"

namespace {

using asciitext::Trim;

struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return strcasecmp(a.c_str(), b.c_str()) < 0;
    }
};

std::string ExecutableDir() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    std::string exe(path, static_cast<size_t>(n));
    size_t slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

}  // namespace

const std::vector<std::string>& OdbcDriverLocator::DriverNames() {
    static const std::vector<std::string> names = {"Firebird/InterBase(r) driver",
                                                   "Microsoft Access Driver (*.mdb)"};
    return names;
}

bool OdbcDriverLocator::RegistersDrivers(const std::string& iniFile) {
    std::ifstream in(iniFile);
    if (!in) return false;
    std::set<std::string, CaseInsensitiveLess> registered;
    std::string section, line;
    while (std::getline(in, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line.front() == '[' && line.back() == ']') {
            section = Trim(line.substr(1, line.size() - 2));
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos || section.empty()) continue;
        std::string key = Trim(line.substr(0, eq));
        bool library =
            strcasecmp(key.c_str(), "Driver") == 0 || strcasecmp(key.c_str(), "Driver64") == 0;
        if (library && !Trim(line.substr(eq + 1)).empty()) registered.insert(section);
    }
    for (const std::string& name : DriverNames())
        if (!registered.count(name)) return false;
    return true;
}

std::vector<std::string> OdbcDriverLocator::CandidateFolders(const std::string& executableDir) {
    return {executableDir + "/odbc", executableDir + "/../odbc",
            executableDir + "/../lib/tamaro/odbc"};
}

std::string OdbcDriverLocator::RegistrationFolder(const std::string& executableDir,
                                                  const std::string& systemIni,
                                                  const std::string& userIni) {
    if (RegistersDrivers(systemIni) || RegistersDrivers(userIni)) return {};
    if (executableDir.empty()) return {};
    for (const std::string& folder : CandidateFolders(executableDir)) {
        if (!RegistersDrivers(folder + "/odbcinst.ini")) continue;
        char resolved[PATH_MAX];
        return realpath(folder.c_str(), resolved) ? std::string(resolved) : folder;
    }
    return {};
}

std::string OdbcDriverLocator::UseRegistrationBesideProgram() {
    if (std::getenv("ODBCSYSINI") || std::getenv("ODBCINSTINI")) return {};
    const char* home = std::getenv("HOME");
    std::string userIni = home && *home ? std::string(home) + "/.odbcinst.ini" : std::string();
    std::string folder = RegistrationFolder(ExecutableDir(), "/etc/odbcinst.ini", userIni);
    if (!folder.empty()) setenv("ODBCSYSINI", folder.c_str(), 1);
    return folder;
}
