// The files Tamaro creates beside the practice's databases for a run: the
// lock, the journal and the backups. A name there may have been replaced by
// a link or a device by anyone who can write the folder, so these files are
// opened without following links and only when they are regular files; and
// they are shared with the folder's group, so that another member of the
// practice's group can take over a recovery. Paths are code page 1252.
#pragma once

#include <sys/types.h>

#include <string>

namespace runfile {

// open(2) of path with flags (O_CLOEXEC, O_NOFOLLOW and O_NONBLOCK, so that a
// planted pipe cannot hang the program, are added; mode 0600
// when O_CREAT creates it). Refuses a link (ELOOP) and anything that is not
// a regular file (EINVAL). The descriptor, or -1 with errno set.
int Open(const std::string& path, int flags);

// Gives a file this program created the group of the folder it lies in and
// the permissions rw-rw----, so that the folder's group can use it whatever
// the umask. False when the group could not be given (this user is no
// member of it); the permissions are set all the same.
bool ShareWithFolderGroup(int fd, const std::string& folder);

// Owner, group and permission bits of an open file, and setting them on
// another: false when the owner could not be set (only the super-user may
// give a file away); group and permissions are then set where allowed.
struct Identity {
    uid_t uid = 0;
    gid_t gid = 0;
    mode_t mode = 0;  // permission bits only
};
bool IdentityOf(int fd, Identity& identity);
bool GiveIdentity(int fd, const Identity& identity);

// Writes content to path durably as a run file: a fresh "<path>.new" made
// exclusively and shared with the folder's group, forced to the disk, then
// renamed over path (a link at path is replaced, never followed). False on
// failure; path then keeps its old content and no ".new" is left.
bool Replace(const std::string& path, const std::string& content);

// Reads a run file (no link, regular files only), at most `most` bytes of
// it: false when it cannot be read or holds more (content then keeps the
// first `most` bytes), so that a planted giant is never read whole.
bool Read(const std::string& path, std::string& content, size_t most);

// True when something (a file, a link, anything) has that name.
bool NameExists(const std::string& path);

}  // namespace runfile
