// Named system-wide mutexes of the practice programs, as lock files in a
// shared lock folder ($TAMARO_LOCK_DIR, default /run/lock/kvarn): a running
// program holds an exclusive flock on "<name>.lock" for as long as it runs.
#pragma once

#include <string>

// The lock folder, created world-writable (sticky) when missing.
std::string NamedMutexFolder();

// True when another holder has the mutex of that name. The probe takes the
// lock for a moment only and never keeps it; false when the folder or file
// cannot be reached, since no program could then hold it either.
bool NamedMutexExists(const std::string& name);

// Holds the named mutex for its lifetime, as a running sibling program does.
class NamedMutexHolder {
  public:
    explicit NamedMutexHolder(const std::string& name);
    ~NamedMutexHolder();
    NamedMutexHolder(const NamedMutexHolder&) = delete;
    NamedMutexHolder& operator=(const NamedMutexHolder&) = delete;
    bool Held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};
