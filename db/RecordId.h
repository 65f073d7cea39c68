// Record ids from the shared id files of the installation: one small text
// file per counter in the database folder, holding the next free number.
// Every program of the practice takes a number the same way, holding the
// file exclusively meanwhile, so that no two rows get the same id.
#pragma once

#include <cstdint>
#include <string>

// How often and how far apart the exclusive open of an id file is tried.
struct IdFileRetry {
    int attempts = 300;
    int delayMs = 200;
};

// The next number of counter `name` from DatabaseDir/<name>.id; the file then
// holds the number after it. -1 (after a message box) when the file could not
// be opened exclusively within the retries (at once when it cannot be opened
// at all) or the next number could not be written back. A negative number standing in the file is
// returned unchanged.
int32_t getID(const std::string& name);
// The same with other retries; *attempts receives the opening attempts made.
int32_t getID(const std::string& name, const IdFileRetry& retry, int* attempts = nullptr);

// The first number of a counter whose id file does not exist yet.
int32_t IdStartValue(const std::string& name);
