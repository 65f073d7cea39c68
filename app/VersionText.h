#pragma once

#include <string>

// "Tamaro V%d.%02d%s" from the program version (major, minor, and " Beta %d"
// when the fourth component is not 0): 1.38.0.0 gives "Tamaro V1.38".
std::string GetVersionText();
std::string FormatVersionText(int major, int minor, int beta);
