#include "platform/FileHolders.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "core/FsPath.h"
#include "platform/SystemError.h"

namespace {

bool IsNumber(const char* s) {
    if (!*s) return false;
    for (; *s; ++s)
        if (*s < '0' || *s > '9') return false;
    return true;
}

std::string CommandOf(const std::string& pid) {
    std::ifstream in("/proc/" + pid + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

// The pids holding a record lock on the file (device and inode), from the
// kernel's list: "1: POSIX  ADVISORY  WRITE 4711 08:01:1234 0 EOF".
void LockHolders(const struct stat& file, std::set<std::string>& pids) {
    std::ifstream in("/proc/locks");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, where;
        if (!(fields >> number >> kind)) continue;
        if (kind == "->") fields >> kind;  // a waiting request
        if (!(fields >> mode >> access >> pid >> where)) continue;
        unsigned major = 0, minor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(where.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3) continue;
        if (inode == file.st_ino && major == ::major(file.st_dev) && minor == ::minor(file.st_dev))
            pids.insert(pid);
    }
}

}  // namespace

bool OtherHoldersOfFile(const std::string& path, std::vector<std::string>& holders,
                        std::string& error) {
    struct stat file {};
    if (::stat(fspath::ToFileSystem(path).c_str(), &file) != 0) {
        error = SystemErrorText(errno);
        return false;
    }
    const std::string self = std::to_string(::getpid());
    std::set<std::string> pids, unreadable;
    LockHolders(file, pids);
    DIR* proc = ::opendir("/proc");
    if (!proc) {
        error = "/proc: " + SystemErrorText(errno);
        return false;
    }
    while (const dirent* entry = ::readdir(proc)) {
        if (!IsNumber(entry->d_name) || entry->d_name == self) continue;
        const std::string pid = entry->d_name;
        const std::string fdDir = "/proc/" + pid + "/fd";
        DIR* fds = ::opendir(fdDir.c_str());
        if (!fds) {
            // A process that ended meanwhile holds nothing; one whose
            // descriptors are hidden from this user may hold the file.
            if (errno != ENOENT) unreadable.insert(pid);
            continue;
        }
        while (const dirent* fd = ::readdir(fds)) {
            if (!IsNumber(fd->d_name)) continue;
            struct stat target {};
            if (::stat((fdDir + "/" + fd->d_name).c_str(), &target) == 0 &&
                target.st_dev == file.st_dev && target.st_ino == file.st_ino) {
                pids.insert(pid);
                break;
            }
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    pids.erase(self);
    for (const std::string& pid : pids)
        holders.push_back("Prozess " + pid + " (" + CommandOf(pid) + ")");
    for (const std::string& pid : unreadable)
        if (!pids.count(pid)) holders.push_back("Prozess " + pid + " (nicht lesbar)");
    return true;
}
