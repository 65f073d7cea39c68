#include "platform/CloseOnExec.h"

#include <dirent.h>
#include <fcntl.h>

#include <cstdlib>
#include <vector>

void KeepDescriptorsFromChildren() {
    // The descriptors are collected first: marking them while the folder is
    // read would change nothing in it, but keeps the folder's own descriptor
    // apart.
    std::vector<int> fds;
    if (DIR* dir = opendir("/proc/self/fd")) {
        const int own = dirfd(dir);
        while (dirent* entry = readdir(dir)) {
            char* end = nullptr;
            const long fd = std::strtol(entry->d_name, &end, 10);
            if (end != entry->d_name && *end == 0 && fd > 2 && fd != own) fds.push_back(int(fd));
        }
        closedir(dir);
    }
    for (int fd : fds) {
        const int flags = fcntl(fd, F_GETFD);
        if (flags >= 0 && !(flags & FD_CLOEXEC)) fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    }
}
