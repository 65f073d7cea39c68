// Where Tamaro and Velunda live, found step by step during start-up: the
// program folder, the Velunda installation from the registry, the data root
// and Firebird server prefix from Velunda's "Network.cfg", and the database
// folder. Each step sets the process-wide folder values of core/Globals.h.
#pragma once

#include <string>

// Firebird server prefix for the data root: "127.0.0.1:" + installation
// folder, or the "FBConnect" value of "Network.cfg". Base of ServerPath.
extern std::string FirebirdBase;

// ProgramDir := the current directory. Returns it.
const std::string& DiscoverProgramDir();

// The Velunda installation folder: the per-user registry value, else the
// machine-wide one. VelundaDir takes the per-user value only.
std::string DiscoverInstallationDir();

// DataDir and FirebirdBase from the installation folder, replaced by "Path"
// and "FBConnect" of its "Network.cfg" when that file can be read (a missing
// key then gives the empty text).
void LocateDataDir(const std::string& installDir);

// True when DataDir + "/Database" is a folder (older installations lack it).
bool DatabaseFolderExists();

// DatabaseDir := DataDir + "/Database"; ServerPath := FirebirdBase + "/Database".
void SetDatabaseDirs();
