#include "platform/FileCopy.h"

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace {

// The pieces the kernel copies at a time: large enough to cost nothing per
// call, small enough that a run's progress moves while a large file is
// copied.
constexpr size_t kKernelPiece = size_t(64) << 20;
constexpr size_t kBufferSize = size_t(1) << 20;

// Errors after which a copy by the kernel is not possible here, but reads and
// writes may be.
bool KernelCannot(int error) {
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP ||
           error == EBADF || error == ETXTBSY || error == EPERM;
}

// The whole of in as out by sharing its blocks, when in is read from its
// start into an empty out on a file system that can. Then true with bytes
// set; false (nothing done) otherwise.
bool Reflink(int in, int out, uint64_t& bytes) {
    struct stat from {
    }, to{};
    if (::fstat(in, &from) != 0 || ::fstat(out, &to) != 0 || !S_ISREG(from.st_mode) ||
        to.st_size != 0 || ::lseek(in, 0, SEEK_CUR) != 0 || ::lseek(out, 0, SEEK_CUR) != 0)
        return false;
    if (::ioctl(out, FICLONE, in) != 0) return false;
    // The positions stay where a copy would leave them.
    if (::lseek(in, from.st_size, SEEK_SET) < 0 || ::lseek(out, from.st_size, SEEK_SET) < 0)
        return false;
    bytes = uint64_t(from.st_size);
    return true;
}

}  // namespace

bool WriteAll(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= size_t(n);
    }
    return true;
}

bool CopyFileData(int in, int out, uint64_t& bytes, const std::function<void(uint64_t)>& copied) {
    bytes = 0;
    if (Reflink(in, out, bytes)) {
        if (copied && bytes > 0) copied(bytes);
        return true;
    }
    for (;;) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, kKernelPiece, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) return true;
        if (n > 0) {
            bytes += uint64_t(n);
            if (copied) copied(uint64_t(n));
            continue;
        }
        if (!KernelCannot(errno)) return false;
        // Both positions moved with every piece copied so far: reads and
        // writes go on from there.
        break;
    }
    std::vector<char> buffer(kBufferSize);
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        if (!WriteAll(out, buffer.data(), size_t(n))) return false;
        bytes += uint64_t(n);
        if (copied) copied(uint64_t(n));
    }
}
