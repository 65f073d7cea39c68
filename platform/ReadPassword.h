// Reads a password as one line of a stream, without echo when the stream is
// a terminal: the stand-in for the password field of the login dialog.
#pragma once

#include <cstdio>
#include <string>

// Reads one line of in (without its line end). When in is a terminal, the
// prompt goes to promptOut and the typed characters are not echoed. False
// when nothing could be read (end of input before any character, or an error).
bool ReadPasswordLine(std::FILE* in, std::FILE* promptOut, const std::string& prompt,
                      std::string& line);
