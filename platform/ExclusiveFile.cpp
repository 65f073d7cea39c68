#include "platform/ExclusiveFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "core/FsPath.h"

namespace {

bool IsPermanent(int err) {
    return err == EROFS || err == EACCES || err == EPERM || err == EISDIR || err == ENOTDIR ||
           err == ENAMETOOLONG || err == ELOOP;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return stat(fspath::ToFileSystem(path).c_str(), &st) == 0;
}

}  // namespace

int ExclusiveFile::TryOnce(const std::string& path1252, Mode mode) {
    const std::string path = fspath::ToFileSystem(path1252);
    int flags = O_CLOEXEC;
    switch (mode) {
        case Mode::Read:
            flags |= O_RDONLY;
            break;
        case Mode::ReadWriteCreate:
            flags |= O_RDWR | O_CREAT;
            break;
        case Mode::AppendCreate:
            flags |= O_WRONLY | O_CREAT | O_APPEND;
            break;
    }
    const int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) return errno;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno == EINTR ? EWOULDBLOCK : errno;
        ::close(fd);
        return err;
    }
    // The previous holder may have removed or replaced the file while this one
    // waited for the lock; holding a lock on a file that no longer has the
    // name would let data go to a lost copy.
    struct stat opened {
    }, named{};
    if (::fstat(fd, &opened) != 0 || ::stat(path.c_str(), &named) != 0 ||
        opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
        ::close(fd);
        return ESTALE;
    }
    fd_ = fd;
    return 0;
}

ExclusiveFile::Result ExclusiveFile::Open(const std::string& path, Mode mode, const Retry& retry) {
    Close();
    path_ = path;
    attempts_ = 0;
    lastErrno_ = 0;
    const int attempts = retry.attempts < 1 ? 1 : retry.attempts;
    for (;;) {
        ++attempts_;
        const int err = TryOnce(path, mode);
        if (err == 0) return Result::Opened;
        lastErrno_ = err;
        if (retry.stopWhenMissing && !Exists(path)) return Result::Missing;
        if (retry.stopOnPermanentError && IsPermanent(err)) return Result::GaveUp;
        if (attempts_ >= attempts) return Result::GaveUp;
        // A file replaced under the lock is tried again at once.
        if (err != ESTALE) std::this_thread::sleep_for(std::chrono::milliseconds(retry.delayMs));
    }
}

bool ExclusiveFile::ReadAll(std::string& out) {
    out.clear();
    if (fd_ < 0) return false;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        out.append(buffer, static_cast<size_t>(n));
    }
}

bool ExclusiveFile::WriteAll(const std::string& data) {
    if (fd_ < 0) return false;
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            lastErrno_ = errno;
            return false;
        }
        done += static_cast<size_t>(n);
        written_ = true;
    }
    return true;
}

bool ExclusiveFile::SeekTo(long long offset) {
    return fd_ >= 0 && ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

long long ExclusiveFile::Size() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
    return static_cast<long long>(st.st_size);
}

bool ExclusiveFile::Truncate(long long size) {
    written_ = true;
    return fd_ >= 0 && ::ftruncate(fd_, static_cast<off_t>(size)) == 0;
}

bool ExclusiveFile::Unlink() {
    return fd_ >= 0 && ::unlink(fspath::ToFileSystem(path_).c_str()) == 0;
}

bool ExclusiveFile::Close() {
    if (fd_ < 0) return true;
    const int fd = fd_;
    fd_ = -1;
    // After writing, fsync makes a write error of a network share show up
    // before the lock goes.
    bool ok = !written_ || ::fsync(fd) == 0 || errno == EINVAL;
    written_ = false;
    if (::close(fd) != 0) ok = false;
    return ok;
}
