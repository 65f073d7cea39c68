// The short text of a run's progress, as the window's caption and the
// headless terminal line show it: "Archivieren 43 %" (code page 1252). The
// share is of whole percent, rounded down, so that 100 % means done. A wait
// (total kRunWaiting) shows its text alone.
#pragma once

#include <cstdint>
#include <string>

std::string RunProgressText(const std::string& what, uint64_t done, uint64_t total);
