// Which other processes of this machine hold a file open: a file that is to
// be replaced by renaming another over it must be held by nobody, or that
// process goes on writing into the replaced file and its work is lost. The
// answer comes from the operating system (the open descriptors of every
// process, and the record locks it lists); a process whose descriptors this
// user may not read counts as holding the file, since nothing proves the
// contrary. Processes of other machines (a file on a network share) are not
// seen.
#pragma once

#include <string>
#include <vector>

// Texts naming the holders of path other than this process ("Prozess 4711
// (velunda)", "Prozess 4712 (nicht lesbar)"); empty when nobody else holds
// it. False when the file itself cannot be examined (error says why).
bool OtherHoldersOfFile(const std::string& path, std::vector<std::string>& holders,
                        std::string& error);
