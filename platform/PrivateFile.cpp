#include "platform/PrivateFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "core/FsPath.h"

namespace {

// Writes of the buffer's size keep the number of system calls small for
// files made of many short rows.
constexpr size_t kBufferSize = 64 * 1024;

}  // namespace

PrivateFile::~PrivateFile() {
    if (fd_ >= 0) ::close(fd_);
}

bool PrivateFile::Fail(int error) {
    if (error_ == 0) error_ = error != 0 ? error : EIO;
    return false;
}

bool PrivateFile::Create(const std::string& path) {
    fd_ = ::open(fspath::ToFileSystem(path).c_str(),
                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd_ < 0) return Fail(errno);
    // The umask may only take bits away; a mode set by the file's own
    // descriptor is exactly 0600.
    if (::fchmod(fd_, 0600) != 0) return Fail(errno);
    buffer_.reserve(kBufferSize);
    return true;
}

bool PrivateFile::Flush() {
    size_t done = 0;
    while (done < buffer_.size()) {
        const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Fail(n < 0 ? errno : ENOSPC);
        done += size_t(n);
    }
    buffer_.clear();
    return true;
}

bool PrivateFile::Write(const void* data, size_t size) {
    if (fd_ < 0 || error_ != 0) return Fail(EBADF);
    hash_.Update(data, size);
    size_ += size;
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const size_t room = kBufferSize - buffer_.size();
        const size_t piece = size < room ? size : room;
        buffer_.append(bytes, piece);
        bytes += piece;
        size -= piece;
        if (buffer_.size() == kBufferSize && !Flush()) return false;
    }
    return true;
}

bool PrivateFile::Finish() {
    if (fd_ < 0) return Fail(EBADF);
    bool ok = error_ == 0 && Flush();
    // Some file systems (network shares) report a full disk only when the
    // file is closed.
    if (::close(fd_) != 0 && ok) ok = Fail(errno);
    fd_ = -1;
    return ok;
}

bool PrivateFile::WriteWhole(const std::string& path, const std::string& content, int& error,
                             std::string* digest) {
    PrivateFile file;
    const bool ok = file.Create(path) && file.Write(content) && file.Finish();
    error = file.Error();
    if (ok && digest) *digest = file.Digest();
    return ok;
}
