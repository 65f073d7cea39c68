// One run at a time per practice: the lock file "Tamaro.lock" in the
// database folder, held with an exclusive flock for the whole of a run or of
// a recovery. It names the user and workstation holding it, so that a run
// refused on another workstation can say who is at work. The file is never
// opened through a link, and it is created for the folder's group, so that
// every member of the practice's group can take it.
#pragma once

#include <string>

class RunLock {
  public:
    enum class Result {
        Taken,  // this process holds the lock now
        Busy,   // another holder has it; Holder() names it
        Failed  // the lock file cannot be opened; Error() says why
    };

    RunLock() = default;
    ~RunLock() { Release(); }
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // Tries once (with a short wait) to take the lock of DatabaseDir.
    Result Take();
    // Removes the lock file and lets go of the lock.
    void Release();
    bool Held() const { return fd_ >= 0; }

    // "Benutzer <user> auf Rechner <host>", as the holder wrote it.
    const std::string& Holder() const { return holder_; }
    const std::string& Error() const { return error_; }

    static std::string Path();  // DatabaseDir/Tamaro.lock
    // The message box of a refused run.
    static std::string BusyText(const std::string& holder);

  private:
    // One attempt; errno-like result (0 taken, EWOULDBLOCK held by another).
    int TryOnce(bool& created);

    int fd_ = -1;
    std::string holder_;
    std::string error_;
};
