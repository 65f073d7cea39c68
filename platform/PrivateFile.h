// A file of medical data handed out of the practice: created afresh (never
// an existing name, never through a link), readable and writable by its
// owner only (0600 whatever the umask), written through a buffer, and its
// size and SHA-256 digest kept as it is written. Many such files are forced
// to the disk together (privatefolder::SyncAll), which costs one wait
// instead of one per file. Paths are code page 1252, like every path of the
// program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/Sha256.h"

class PrivateFile {
  public:
    PrivateFile() = default;
    // A file still open is closed; what was written stays (the caller
    // removes what a failed export left).
    ~PrivateFile();
    PrivateFile(const PrivateFile&) = delete;
    PrivateFile& operator=(const PrivateFile&) = delete;

    // False when the name exists or the file cannot be made; Error() says why.
    bool Create(const std::string& path);
    // False once a write has failed (the disk is full, ...); later writes
    // do nothing.
    bool Write(const void* data, size_t size);
    bool Write(const std::string& text) { return Write(text.data(), text.size()); }
    // Writes what is buffered and closes the file.
    bool Finish();

    // The errno of the first failure, 0 without one.
    int Error() const { return error_; }
    uint64_t Size() const { return size_; }
    // The digest of everything written; call once, after Finish.
    std::string Digest() { return hash_.HexDigest(); }

    // Creates a file with content in one go (Create, Write, Finish).
    static bool WriteWhole(const std::string& path, const std::string& content, int& error,
                           std::string* digest = nullptr);

  private:
    bool Flush();
    bool Fail(int error);

    int fd_ = -1;
    int error_ = 0;
    uint64_t size_ = 0;
    Sha256 hash_;
    std::string buffer_;
};
