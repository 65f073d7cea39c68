#include "archive/safety/RunLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "core/FsPath.h"
#include "core/Globals.h"
#include "platform/RunFile.h"
#include "platform/UserAndHost.h"

namespace {

std::string Field(const std::string& text, const std::string& key) {
    const std::string tag = key + "=";
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        if (text.compare(at, tag.size(), tag) == 0)
            return text.substr(at + tag.size(), end - at - tag.size());
        at = end + 1;
    }
    return {};
}

std::string OrUnknown(const std::string& s) {
    return s.empty() ? "unbekannt" : s;
}

// What the holder wrote into the file: the lock is advisory, so a second
// opener can read it while the holder keeps it.
std::string ReadHolder(const std::string& path) {
    std::string text;
    runfile::Read(path, text, 1024);
    return "Benutzer " + OrUnknown(Field(text, "user")) + " auf Rechner " +
           OrUnknown(Field(text, "host"));
}

// True when the descriptor still is the file that bears the name: a holder
// that let go removed the file, and a lock on a nameless file locks nobody out.
bool StillNamed(int fd, const std::string& path) {
    struct stat opened {
    }, named{};
    return ::fstat(fd, &opened) == 0 && ::lstat(fspath::ToFileSystem(path).c_str(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

// Whether another holds the lock, asked through a descriptor this user may
// only read (a lock file made by a user outside the folder's group).
bool HeldByAnother(const std::string& path) {
    const int fd = runfile::Open(path, O_RDONLY);
    if (fd < 0) return false;
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

}  // namespace

std::string RunLock::Path() {
    return DatabaseDir + "/Tamaro.lock";
}

std::string RunLock::BusyText(const std::string& holder) {
    return "Auf diesen Datenbanken läuft bereits ein Vorgang (" + holder +
           ").\nBitte warten Sie, bis er beendet ist.";
}

int RunLock::TryOnce(bool& created) {
    const std::string path = Path();
    created = false;
    int fd = runfile::Open(path, O_RDWR);
    if (fd < 0 && errno == ENOENT) {
        fd = runfile::Open(path, O_RDWR | O_CREAT | O_EXCL);
        if (fd < 0 && errno == EEXIST) return EAGAIN;  // made by another just now
        created = fd >= 0;
    }
    if (fd < 0) return errno;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno == EINTR ? EWOULDBLOCK : errno;
        ::close(fd);
        return err;
    }
    if (!StillNamed(fd, path)) {
        ::close(fd);
        return EAGAIN;
    }
    fd_ = fd;
    return 0;
}

RunLock::Result RunLock::Take() {
    Release();
    holder_.clear();
    error_.clear();
    const std::string path = Path();
    int err = 0;
    bool created = false;
    // A holder that is just letting go removes the file under the lock; the
    // retries take the fresh file then.
    for (int attempt = 0; attempt < 6; ++attempt) {
        err = TryOnce(created);
        if (err == 0 || (err != EWOULDBLOCK && err != EAGAIN)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(err == EAGAIN ? 10 : 100));
    }
    if (err == EWOULDBLOCK || ((err == EACCES || err == EPERM) && HeldByAnother(path))) {
        holder_ = ReadHolder(path);
        return Result::Busy;
    }
    if (err != 0) {
        error_ = err == ELOOP || err == EINVAL ? std::string("keine gewöhnliche Datei")
                                               : std::string(std::strerror(err));
        return Result::Failed;
    }
    if (created) runfile::ShareWithFolderGroup(fd_, DatabaseDir);
    std::string user, host;
    if (!GetLoginName(user)) user.clear();
    if (!GetHostName(host)) host.clear();
    const std::string text =
        "user=" + user + "\nhost=" + host + "\npid=" + std::to_string(getpid()) + "\n";
    if (::ftruncate(fd_, 0) != 0 ||
        ::pwrite(fd_, text.data(), text.size(), 0) != ssize_t(text.size())) {
        // The lock holds all the same; only the name of its holder is missing.
    }
    return Result::Taken;
}

void RunLock::Release() {
    if (fd_ < 0) return;
    ::unlink(fspath::ToFileSystem(Path()).c_str());
    ::close(fd_);
    fd_ = -1;
}
