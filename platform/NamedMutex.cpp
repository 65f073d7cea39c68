#include "platform/NamedMutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

std::string LockFilePath(const std::string& name) {
    std::string file = name;
    for (char& c : file) {
        if (c == '/' || c == '\\') c = '_';
    }
    return NamedMutexFolder() + "/" + file + ".lock";
}

// Opens (creating when missing) the lock file so that every user may lock it.
int OpenLockFile(const std::string& name) {
    const std::string path = LockFilePath(name);
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
        if (fd >= 0) ::fchmod(fd, 0666);
    }
    return fd;
}

}  // namespace

std::string NamedMutexFolder() {
    const char* env = std::getenv("TAMARO_LOCK_DIR");
    std::string folder = (env && *env) ? env : "/run/lock/kvarn";
    struct stat st {};
    if (stat(folder.c_str(), &st) != 0 && mkdir(folder.c_str(), 01777) == 0)
        chmod(folder.c_str(), 01777);  // mkdir's mode is cut by the umask
    return folder;
}

bool NamedMutexExists(const std::string& name) {
    const int fd = OpenLockFile(name);
    if (fd < 0) return false;
    bool held = false;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        ::flock(fd, LOCK_UN);
    else
        held = errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

NamedMutexHolder::NamedMutexHolder(const std::string& name) {
    fd_ = OpenLockFile(name);
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

NamedMutexHolder::~NamedMutexHolder() {
    if (fd_ >= 0) ::close(fd_);
}
