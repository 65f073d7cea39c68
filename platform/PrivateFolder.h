// Folders of medical data handed out of the practice: made for their owner
// only (0700 whatever the umask), filled under a name that does not look
// like a result, and moved to their final name in one step that never
// replaces anything. Paths are code page 1252.
#pragma once

#include <string>

namespace privatefolder {

enum class State {
    Missing,     // nothing has the name (its parent may exist or not)
    Empty,       // a folder without entries (a link to one counts)
    NotEmpty,    // a folder with entries
    NotAFolder,  // a file or anything else
    Unreadable   // cannot be looked at; the error says why
};

// What the name is now; error receives the errno of Unreadable.
State Inspect(const std::string& path, int& error);
// Makes the folder (its parent must exist), mode 0700. False with the errno
// in error, also when the name exists.
bool Make(const std::string& path, int& error);
// Makes a fresh folder "<parent>/<prefix>XXXXXX" (mode 0700) whose name no
// one else has; path receives it.
bool MakeUnique(const std::string& parent, const std::string& prefix, std::string& path,
                int& error);
// Moves from to to in one step, failing (EEXIST) when anything has the
// name to; never replaces.
bool MoveNoReplace(const std::string& from, const std::string& to, int& error);
// Forces everything written to the file system that holds path to the
// disk, data and folder entries alike (one wait for a whole tree of new
// files); false with the errno in error when the disk reports a failure.
bool SyncAll(const std::string& path, int& error);
// Removes the folder when nothing is in it; true when it is gone.
bool RemoveIfEmpty(const std::string& path);
// Removes the folder with everything in it; links inside are removed, not
// followed. True when nothing of it is left.
bool RemoveTree(const std::string& path);

}  // namespace privatefolder
