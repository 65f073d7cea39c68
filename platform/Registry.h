// The two registry accesses of the program, served by key files in the XDG
// configuration folders: per user $XDG_CONFIG_HOME/Kvarn/Velunda.conf (default
// ~/.config), machine-wide the first Kvarn/Velunda.conf of $XDG_CONFIG_DIRS
// (default /etc/xdg), each with a line path=...; the program's own folder goes
// to $XDG_CONFIG_HOME/Kvarn/Tamaro.conf as Path=...
#pragma once

#include <string>

enum class RegistryRoot { CurrentUser, LocalMachine };

// The "path" value of Kvarn/Velunda under root, or the empty text when the
// file or the value is missing or the value does not fit 255 bytes. The key
// files hold UTF-8; the value comes back in code page 1252, and
// *representable (when given) is false when it has characters that code page
// 1252 lacks (the value then shows them, see fspath::FromFileSystem).
std::string ReadVelundaPath(RegistryRoot root, bool* representable = nullptr);

// Records ProgramDir as "Path" in Kvarn/Tamaro.conf (in UTF-8); failures are
// ignored.
void WriteProgramPath();

// The files behind the two roots; empty when none applies.
std::string VelundaKeyFile(RegistryRoot root);
std::string ProgramKeyFile();
