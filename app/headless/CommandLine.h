#pragma once

#include <cstdint>
#include <string>

// The doctor and patient ids of the command line: the text after the program
// name is searched, case-sensitively and anywhere, for "AID=" and "PID="; the
// digits behind each are read as a base-10 number (none gives 0). Values not
// present stay as given.
void ParseCommandLine(const std::string& args, int32_t& aid, int32_t& pid);
