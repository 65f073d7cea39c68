#include "platform/DurableFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "core/FsPath.h"

namespace {

bool SyncDescriptorOf(const std::string& path, int flags) {
    const int fd = ::open(fspath::ToFileSystem(path).c_str(), flags | O_CLOEXEC);
    if (fd < 0) return false;
    // A folder opened read-only may refuse fsync on some file systems; that
    // is no failure of the data.
    const bool ok = ::fsync(fd) == 0 || errno == EINVAL;
    return ::close(fd) == 0 && ok;
}

}  // namespace

bool SyncFile(const std::string& path) {
    return SyncDescriptorOf(path, O_RDONLY);
}

bool SyncFolder(const std::string& folder) {
    return SyncDescriptorOf(folder.empty() ? "." : folder, O_RDONLY | O_DIRECTORY);
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool ReplaceFileDurably(const std::string& path, const std::string& content) {
    const int fd = ::open(fspath::ToFileSystem(path + ".new").c_str(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return fd >= 0 && PlaceDurably(fd, path, content);
}

bool PlaceDurably(int fd, const std::string& path, const std::string& content) {
    const std::string fresh = fspath::ToFileSystem(path + ".new");
    bool ok = true;
    for (size_t done = 0; ok && done < content.size();) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            ok = false;
        else
            done += size_t(n);
    }
    if (ok && ::fsync(fd) != 0) ok = false;
    if (::close(fd) != 0) ok = false;
    if (ok && ::rename(fresh.c_str(), fspath::ToFileSystem(path).c_str()) != 0) ok = false;
    if (!ok) {
        ::unlink(fresh.c_str());
        return false;
    }
    return SyncFolder(FolderOf(path));
}

bool RemoveFileDurably(const std::string& path) {
    if (::unlink(fspath::ToFileSystem(path).c_str()) != 0 && errno != ENOENT) return false;
    return SyncFolder(FolderOf(path));
}
