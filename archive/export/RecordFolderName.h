// The name of a patient's folder in an export: "<pid>_<surname>_<first
// name>" ("12_Müller_Anna"), or "<pid>" without a name. One safe file name
// on every system the folder may be copied to: letters (with umlauts and
// the other letters of code page 1252), digits, "-" and "." stay, anything
// else (separators, control characters, blanks, quotes, the characters
// Windows refuses) becomes "_", runs of "_" become one, and no name starts
// with "." or ends with "." or "_". The name part is cut to 60 characters.
// Code page 1252 in and out: on the disk it is UTF-8 (FsPath).
#pragma once

#include <cstdint>
#include <string>

std::string RecordFolderName(int32_t pid, const std::string& surname, const std::string& firstName);
