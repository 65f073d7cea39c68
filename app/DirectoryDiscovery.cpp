#include "app/DirectoryDiscovery.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "core/CConfigFile.h"
#include "core/FsPath.h"
#include "core/Globals.h"
#include "platform/Registry.h"

std::string FirebirdBase;

bool DiscoverProgramDir() {
    std::vector<char> buffer(300);
    while (!getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE) {
            ProgramDir.clear();
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
    return fspath::FromFileSystem(buffer.data(), ProgramDir);
}

std::string DiscoverInstallationDir(bool* representable) {
    bool exact = true;
    std::string dir = ReadVelundaPath(RegistryRoot::CurrentUser, &exact);
    VelundaDir = dir;
    if (dir.empty()) dir = ReadVelundaPath(RegistryRoot::LocalMachine, &exact);
    if (representable) *representable = exact;
    return dir;
}

bool LocateDataDir(const std::string& installDir, std::string* unusable) {
    DataDir = installDir;
    FirebirdBase = "127.0.0.1:" + installDir;
    CConfigFile network;
    if (!network.Load(installDir + "/Network.cfg")) return true;
    // Velunda's file lies in a Linux folder and names folders in UTF-8.
    const bool pathExact = fspath::FromFileSystem(network.GetString("Path"), DataDir);
    const bool baseExact = fspath::FromFileSystem(network.GetString("FBConnect"), FirebirdBase);
    if (unusable) *unusable = !pathExact ? DataDir : !baseExact ? FirebirdBase : std::string();
    return pathExact && baseExact;
}

bool DatabaseFolderExists() {
    struct stat st {};
    return stat(fspath::ToFileSystem(DataDir + "/Database").c_str(), &st) == 0 &&
           S_ISDIR(st.st_mode);
}

void SetDatabaseDirs() {
    DatabaseDir = DataDir + "/Database";
    ServerPath = FirebirdBase + "/Database";
}

std::string UnusablePathLine(const std::string& shown) {
    return "• Der Pfad \"" + shown +
           "\" enthält Zeichen, die der Zeichensatz Windows-1252 nicht kennt; Tamaro kann ihn "
           "nicht verwenden.";
}
