// Who and where: the login name of the process's user and the host name.
#pragma once

#include <string>

// False when the user has no name in the user database.
bool GetLoginName(std::string& name);
// False when the host name cannot be read.
bool GetHostName(std::string& name);
