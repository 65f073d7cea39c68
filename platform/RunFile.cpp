#include "platform/RunFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "core/FsPath.h"
#include "platform/DurableFile.h"

namespace runfile {

int Open(const std::string& path, int flags) {
    const int fd = ::open(fspath::ToFileSystem(path).c_str(),
                          flags | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

bool ShareWithFolderGroup(int fd, const std::string& folder) {
    struct stat dir {};
    bool grouped = false;
    if (::stat(fspath::ToFileSystem(folder.empty() ? "." : folder).c_str(), &dir) == 0)
        grouped = ::fchown(fd, uid_t(-1), dir.st_gid) == 0;
    ::fchmod(fd, 0660);
    return grouped;
}

bool IdentityOf(int fd, Identity& identity) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    identity.uid = st.st_uid;
    identity.gid = st.st_gid;
    identity.mode = st.st_mode & 07777;
    return true;
}

bool GiveIdentity(int fd, const Identity& identity) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    bool owner = st.st_uid == identity.uid;
    if (!owner || st.st_gid != identity.gid) {
        if (::fchown(fd, identity.uid, identity.gid) == 0)
            owner = true;
        else
            ::fchown(fd, uid_t(-1), identity.gid);
    }
    ::fchmod(fd, identity.mode);
    return owner;
}

bool Replace(const std::string& path, const std::string& content) {
    const std::string fresh = path + ".new";
    // A ".new" left by a killed writer, or planted, is never written through.
    ::unlink(fspath::ToFileSystem(fresh).c_str());
    const int fd = Open(fresh, O_WRONLY | O_CREAT | O_EXCL);
    if (fd < 0) return false;
    ShareWithFolderGroup(fd, FolderOf(path));
    return PlaceDurably(fd, path, content);
}

bool Read(const std::string& path, std::string& content, size_t most) {
    content.clear();
    const int fd = Open(path, O_RDONLY);
    if (fd < 0) return false;
    char buffer[8192];
    bool ok = true;
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        if (content.size() + size_t(n) > most) {
            content.append(buffer, most - content.size());
            ok = false;
            break;
        }
        content.append(buffer, size_t(n));
    }
    ::close(fd);
    return ok;
}

bool NameExists(const std::string& path) {
    struct stat st {};
    return ::lstat(fspath::ToFileSystem(path).c_str(), &st) == 0;
}

}  // namespace runfile
