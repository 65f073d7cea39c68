#include "app/DirectoryDiscovery.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "core/CConfigFile.h"
#include "core/Globals.h"
#include "platform/Registry.h"

std::string FirebirdBase;

const std::string& DiscoverProgramDir() {
    std::vector<char> buffer(300);
    while (!getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE) {
            ProgramDir.clear();
            return ProgramDir;
        }
        buffer.resize(buffer.size() * 2);
    }
    ProgramDir = buffer.data();
    return ProgramDir;
}

std::string DiscoverInstallationDir() {
    std::string dir = ReadVelundaPath(RegistryRoot::CurrentUser);
    VelundaDir = dir;
    if (dir.empty()) dir = ReadVelundaPath(RegistryRoot::LocalMachine);
    return dir;
}

void LocateDataDir(const std::string& installDir) {
    DataDir = installDir;
    FirebirdBase = "127.0.0.1:" + installDir;
    CConfigFile network;
    if (network.Load(installDir + "/Network.cfg")) {
        DataDir = network.GetString("Path");
        FirebirdBase = network.GetString("FBConnect");
    }
}

bool DatabaseFolderExists() {
    struct stat st {};
    return stat((DataDir + "/Database").c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void SetDatabaseDirs() {
    DatabaseDir = DataDir + "/Database";
    ServerPath = FirebirdBase + "/Database";
}
