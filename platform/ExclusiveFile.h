// Exclusive open of a file that several programs and workstations share (the
// record-id files, the audit fallback file): open plus an exclusive
// non-blocking flock, tried again after a delay while another holder has it.
// The lock lasts until Close or destruction. Paths are code page 1252 text.
#pragma once

#include <string>

class ExclusiveFile {
  public:
    enum class Mode {
        Read,             // the file must exist
        ReadWriteCreate,  // created when missing, never truncated
        AppendCreate,     // created when missing, every write goes to the end
    };
    enum class Result { Opened, Missing, GaveUp };

    struct Retry {
        int attempts = 1;                   // attempts in all, at least 1
        int delayMs = 200;                  // wait between two attempts
        bool stopWhenMissing = false;       // a failed attempt on a missing file ends the tries
        bool stopOnPermanentError = false;  // e.g. a read-only file system ends the tries
    };

    ExclusiveFile() = default;
    ~ExclusiveFile() { Close(); }
    ExclusiveFile(const ExclusiveFile&) = delete;
    ExclusiveFile& operator=(const ExclusiveFile&) = delete;

    Result Open(const std::string& path, Mode mode, const Retry& retry);
    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    int Attempts() const { return attempts_; }    // attempts made by the last Open
    int LastError() const { return lastErrno_; }  // errno of the last failed attempt

    bool ReadAll(std::string& out);
    bool WriteAll(const std::string& data);
    bool SeekTo(long long offset);
    long long Size() const;
    bool Truncate(long long size);
    // Removes the file by its path while the lock is still held, so that a
    // waiting opener finds it gone rather than reading an old copy.
    bool Unlink();
    // Releases the lock; false when the final close reported an error.
    bool Close();

  private:
    // One attempt: 0 on success, else the errno that made it fail (EWOULDBLOCK
    // when another holder has the lock).
    int TryOnce(const std::string& path, Mode mode);

    int fd_ = -1;
    std::string path_;
    int attempts_ = 0;
    int lastErrno_ = 0;
    bool written_ = false;
};
