// Where Tamaro and Velunda live, found step by step during start-up: the
// program folder, the Velunda installation from the registry, the data root
// and Firebird server prefix from Velunda's "Network.cfg", and the database
// folder. Each step sets the process-wide folder values of core/Globals.h.
// Folder names enter here from the file system (UTF-8) and are kept in code
// page 1252; a name that code page 1252 cannot hold is reported by the step
// that met it and shown with its foreign characters as <U+XXXX>.
#pragma once

#include <string>

// Firebird server prefix for the data root: "127.0.0.1:" + installation
// folder, or the "FBConnect" value of "Network.cfg". Base of ServerPath.
extern std::string FirebirdBase;

// ProgramDir := the current directory. False when its name cannot be held in
// code page 1252.
bool DiscoverProgramDir();

// The Velunda installation folder: the per-user registry value, else the
// machine-wide one. VelundaDir takes the per-user value only.
// *representable (when given) is false when the folder cannot be held in
// code page 1252.
std::string DiscoverInstallationDir(bool* representable = nullptr);

// DataDir and FirebirdBase from the installation folder, replaced by "Path"
// and "FBConnect" of its "Network.cfg" when that file can be read (a missing
// key then gives the empty text). False when one of the two cannot be held
// in code page 1252; *unusable (when given) then shows it.
bool LocateDataDir(const std::string& installDir, std::string* unusable = nullptr);

// True when DataDir + "/Database" is a folder (older installations lack it).
bool DatabaseFolderExists();

// DatabaseDir := DataDir + "/Database"; ServerPath := FirebirdBase + "/Database".
void SetDatabaseDirs();

// The red start-up line for a folder whose name code page 1252 cannot hold.
std::string UnusablePathLine(const std::string& shown);
