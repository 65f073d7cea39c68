#include "platform/CopyFileNoReplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

#include "core/FsPath.h"
#include "platform/FileCopy.h"
#include "platform/FileDescriptor.h"

namespace {

// Removes the temporary file unless it was put in place.
class TempName {
  public:
    ~TempName() {
        if (!name_.empty()) ::unlink(name_.c_str());
    }
    void Set(const std::string& name) { name_ = name; }
    void Keep() { name_.clear(); }

  private:
    std::string name_;
};

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A hidden name in the target's folder that no other file has; created with
// the permissions a new file gets from the user's umask.
int CreateTemp(const std::string& folder, std::string& name) {
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random()));
        name = folder + "/.tamaro-copy-" + suffix;
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Gives `to` the temporary file's content under its name, never replacing a
// file that has the name already.
bool PlaceNoReplace(const std::string& temp, const std::string& to) {
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // File systems without the no-replace rename: a hard link fails as well
    // when the name exists.
    return ::link(temp.c_str(), to.c_str()) == 0;
}

}  // namespace

bool CopyFileNoReplace(const std::string& from1252, const std::string& to1252,
                       const std::string& like1252) {
    const std::string from = fspath::ToFileSystem(from1252);
    const std::string to = fspath::ToFileSystem(to1252);
    const std::string like = fspath::ToFileSystem(like1252);

    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) return false;
    FileDescriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0 || ::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const long long size = st.st_size;

    const std::string folder = FolderOf(to);
    std::string tempName;
    TempName temp;
    FileDescriptor out(CreateTemp(folder, tempName));
    if (out.get() < 0) return false;
    temp.Set(tempName);

    uint64_t copied = 0;
    if (!CopyFileData(in.get(), out.get(), copied) || copied != uint64_t(size)) return false;
    struct stat model {};
    if (!like.empty() && ::stat(like.c_str(), &model) == 0) {
        if (::fchmod(out.get(), model.st_mode & 07777) != 0) return false;
        if (::fchown(out.get(), static_cast<uid_t>(-1), model.st_gid) != 0) {
            // Not a member of that group: the permission bits are what can be given.
        }
    }
    // On the disk before it has the name, so that a power failure leaves
    // either no file or the whole one.
    if (::fsync(out.get()) != 0 || !out.Close()) return false;
    if (!PlaceNoReplace(tempName, to)) return false;
    if (::unlink(tempName.c_str()) == 0 || errno == ENOENT) temp.Keep();
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
    return true;
}
