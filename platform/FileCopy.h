// Copying the content of one open file into another at the speed of the
// disk: the file system shares the data blocks where it can (a reflink), the
// kernel copies them where it cannot, and plain reads and writes are the
// last resort (between file systems, or where the kernel refuses).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// write(2) until all of data is written; false on an error (or a write that
// writes nothing).
bool WriteAll(int fd, const void* data, size_t size);

// Copies everything from the current position of in to its end into out at
// out's current position. out must be empty when in is at its start, so
// that a reflink of the whole file can stand for the copy. bytes receives
// the number of bytes copied; copied, when given, is told of every piece as
// it is copied. False on any failure (out may then hold a part).
bool CopyFileData(int in, int out, uint64_t& bytes,
                  const std::function<void(uint64_t)>& copied = {});
