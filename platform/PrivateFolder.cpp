#include "platform/PrivateFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "core/FsPath.h"

namespace privatefolder {

State Inspect(const std::string& path, int& error) {
    error = 0;
    const std::string name = fspath::ToFileSystem(path);
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0) {
        error = errno;
        return error == ENOENT ? State::Missing : State::Unreadable;
    }
    if (!S_ISDIR(st.st_mode)) return State::NotAFolder;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(name.c_str()), ::closedir);
    if (!dir) {
        error = errno;
        return State::Unreadable;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string n = entry->d_name;
        if (n != "." && n != "..") return State::NotEmpty;
    }
    if (errno != 0) {
        error = errno;
        return State::Unreadable;
    }
    return State::Empty;
}

bool Make(const std::string& path, int& error) {
    const std::string name = fspath::ToFileSystem(path);
    if (::mkdir(name.c_str(), 0700) != 0) {
        error = errno;
        return false;
    }
    // The umask may only take bits away; 0700 exactly, as the files' 0600.
    if (::chmod(name.c_str(), 0700) != 0) {
        error = errno;
        ::rmdir(name.c_str());
        return false;
    }
    return true;
}

bool MakeUnique(const std::string& parent, const std::string& prefix, std::string& path,
                int& error) {
    std::string pattern = fspath::ToFileSystem(parent + "/" + prefix) + "XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    // mkdtemp makes the folder with mode 0700.
    if (!::mkdtemp(buffer.data())) {
        error = errno;
        return false;
    }
    fspath::FromFileSystem(buffer.data(), path);
    return true;
}

bool MoveNoReplace(const std::string& from, const std::string& to, int& error) {
    const std::string source = fspath::ToFileSystem(from);
    const std::string target = fspath::ToFileSystem(to);
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    error = errno;
    if (error != EINVAL && error != ENOSYS) return false;
    // A file system without the exclusive rename (a network share): the
    // name is looked at first; a plain rename would replace an empty folder.
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0) {
        error = EEXIST;
        return false;
    }
    if (::rename(source.c_str(), target.c_str()) == 0) return true;
    error = errno;
    return false;
}

bool SyncAll(const std::string& path, int& error) {
    const int fd = ::open(fspath::ToFileSystem(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return false;
    }
    // syncfs reports the write-back errors (a full disk found late) of
    // every file of the file system since this descriptor was opened, and
    // the earlier ones of files still open; the files of an export were all
    // closed with their own errors checked.
    const bool ok = ::syncfs(fd) == 0;
    if (!ok) error = errno;
    ::close(fd);
    return ok;
}

bool RemoveIfEmpty(const std::string& path) {
    return ::rmdir(fspath::ToFileSystem(path).c_str()) == 0 || errno == ENOENT;
}

bool RemoveTree(const std::string& path) {
    std::error_code ec;
    // remove_all removes a link itself, never what it points to.
    std::filesystem::remove_all(fspath::ToFileSystem(path), ec);
    return !ec;
}

}  // namespace privatefolder
