// Copying a whole file into place so that nobody ever sees a part of it: the
// data goes to a temporary file in the target's folder, reaches the disk,
// and only then takes the target's name. Paths are code page 1252 text.
#pragma once

#include <string>

// Copies `from` to `to` unless `to` exists already (it is never replaced).
// The new file gets the permission bits and, where this user may give it,
// the group of the file `like` (for example a sibling database, so that a
// database server running as another user can open it too); when `like`
// cannot be read, the permissions a newly created file gets. False on any
// failure (a full disk, a file-size limit, a missing source); no file is
// then left behind.
bool CopyFileNoReplace(const std::string& from, const std::string& to, const std::string& like);
