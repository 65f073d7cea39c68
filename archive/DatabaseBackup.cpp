#include "archive/DatabaseBackup.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "archive/RunCheckpoint.h"
#include "core/FsPath.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "db/ArchiveDbPair.h"
#include "db/DatabaseKind.h"
#include "platform/DurableFile.h"

namespace {

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    // Closes now, so that a failing close (a full disk on some file
    // systems) counts as a failed copy.
    bool Close() {
        int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

  private:
    int fd_;
};

// Copies the whole file in the kernel where it can (copy_file_range, then
// sendfile), falling back to plain reads and writes.
bool CopyFileData(const std::string& from, const std::string& to) {
    FileDescriptor in(::open(fspath::ToFileSystem(from).c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) return false;
    struct stat st;
    if (::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    FileDescriptor out(::open(fspath::ToFileSystem(to).c_str(),
                              O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 0777));
    if (out.get() < 0) return false;

    off_t left = st.st_size;
    bool kernelCopy = true;
    while (left > 0 && kernelCopy) {
        ssize_t n = ::copy_file_range(in.get(), nullptr, out.get(), nullptr, size_t(left), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            kernelCopy = false;
            break;
        }
        left -= n;
    }
    while (left > 0) {
        ssize_t n = ::sendfile(out.get(), in.get(), nullptr, size_t(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        left -= n;
    }
    // A file that grew or a descriptor pair the kernel would not copy: read
    // and write what is left until end of file.
    char buffer[1 << 16];
    while (true) {
        ssize_t n = ::read(in.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::write(out.get(), buffer + done, size_t(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return false;
            done += w;
        }
    }
    // The backup must be on the disk before the run changes the database.
    if (::fsync(out.get()) != 0 && errno != EINVAL) return false;
    return out.Close();
}

void DisconnectList(ArchiveDbPair* list) {
    for (ArchiveDbPair* db = list; db; db = db->Next) db->Connection.Disconnect();
}

// Connect logs a failure in red itself.
void ConnectList(ArchiveDbPair* list) {
    for (ArchiveDbPair* db = list; db; db = db->Next) Connect(*db);
}

}  // namespace

bool CopyDatabaseFile(const std::string& from, const std::string& to) {
    if (CopyFileData(from, to)) return true;
    // No partial backup is left behind.
    ::unlink(fspath::ToFileSystem(to).c_str());
    return false;
}

std::string DatabasePath(const ArchiveDbPair& db) {
    return DatabaseDir + "/" + db.FileName + db.Extension;
}

std::string BackupPath(const ArchiveDbPair& db) {
    return DatabaseDir + "/" + db.FileName + db.Extension + ".bak";
}

bool BackupDatabaseFiles(ArchiveDbPair* list) {
    DisconnectList(list);
    bool ok = true;
    for (ArchiveDbPair* db = list; db; db = db->Next) {
        const std::string path = DatabasePath(*db);
        const std::string backup = BackupPath(*db);
        std::remove(fspath::ToFileSystem(backup).c_str());
        if (!CopyDatabaseFile(path, backup)) {
            AppendLog("Fehler beim Kopieren von " + path + " nach " + backup);
            ok = false;
            break;
        }
        RunCheckpoint("backup");
    }
    if (ok && !SyncFolder(DatabaseDir)) ok = false;
    // A database that cannot be connected again would fail the run in its
    // middle; failing the backup instead stops the run before any change.
    for (ArchiveDbPair* db = list; db; db = db->Next)
        if (!Connect(*db)) ok = false;
    return ok;
}

namespace {

std::string FileNameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(fspath::ToFileSystem(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void RemoveEngineFiles(const std::string& path) {
    for (const char* suffix : {"-journal", "-wal", "-shm"})
        std::remove(fspath::ToFileSystem(path + suffix).c_str());
}

// The red report of a put-back that stopped: which file is back, which is not.
void ReportPutBack(const std::vector<std::string>& paths, size_t back) {
    AppendLog(
        "Die Datenbanken konnten nicht vollständig wiederhergestellt werden; alle "
        "Datensicherungen bleiben erhalten:",
        ColourRed);
    for (size_t i = 0; i < paths.size(); ++i) {
        const std::string name = FileNameOf(paths[i]);
        AppendLog(i < back
                      ? "• " + name + ": wiederhergestellt"
                      : "• " + name + ": nicht wiederhergestellt, Sicherung in " + name + ".bak",
                  ColourRed);
    }
}

}  // namespace

bool PutBackFiles(const std::vector<std::string>& paths) {
    // Every backup must be there before any file is touched.
    for (const std::string& path : paths) {
        if (!IsRegularFile(path + ".bak")) {
            AppendLog("Die Datensicherung " + path + ".bak fehlt.", ColourRed);
            ReportPutBack(paths, 0);
            return false;
        }
    }
    // Copies beside the databases: the part that may run out of disk space
    // happens before any database changes.
    for (size_t i = 0; i < paths.size(); ++i) {
        if (!CopyDatabaseFile(paths[i] + ".bak", paths[i] + ".restore")) {
            AppendLog("Fehler beim Kopieren von " + paths[i] + ".bak nach " + paths[i], ColourRed);
            for (size_t j = 0; j < i; ++j)
                std::remove(fspath::ToFileSystem(paths[j] + ".restore").c_str());
            ReportPutBack(paths, 0);
            return false;
        }
    }
    // rename(2) replaces a database in one step: there is no moment without
    // it, and a failure leaves the current file as it was.
    for (size_t i = 0; i < paths.size(); ++i) {
        if (std::rename(fspath::ToFileSystem(paths[i] + ".restore").c_str(),
                        fspath::ToFileSystem(paths[i]).c_str()) != 0) {
            AppendLog("Fehler beim Umbenennen von " + paths[i] + ".bak nach " + paths[i],
                      ColourRed);
            for (size_t j = i; j < paths.size(); ++j)
                std::remove(fspath::ToFileSystem(paths[j] + ".restore").c_str());
            SyncFolder(FolderOf(paths[i]));
            ReportPutBack(paths, i);
            return false;
        }
        // The engine of the Access kind keeps an interrupted transaction's
        // journal beside the file; left there, it would be played back into
        // the file just put back.
        RemoveEngineFiles(paths[i]);
        RunCheckpoint("putback");
    }
    return paths.empty() || SyncFolder(FolderOf(paths.front()));
}

bool RestoreDatabaseFiles(ArchiveDbPair* list) {
    DisconnectList(list);
    std::vector<std::string> paths;
    for (ArchiveDbPair* db = list; db; db = db->Next) paths.push_back(DatabasePath(*db));
    const bool ok = PutBackFiles(paths);
    if (ok) DeleteDatabaseBackups(list);
    ConnectList(list);
    return ok;
}

bool FlushDatabaseFiles(ArchiveDbPair* list) {
    for (ArchiveDbPair* db = list; db; db = db->Next) {
        if (!SyncFile(DatabasePath(*db))) {
            AppendLog("Fehler beim Schreiben von " + DatabasePath(*db) + " auf die Festplatte",
                      ColourRed);
            return false;
        }
    }
    return true;
}

void DeleteDatabaseBackups(ArchiveDbPair* list) {
    for (ArchiveDbPair* db = list; db; db = db->Next) {
        std::remove(fspath::ToFileSystem(BackupPath(*db)).c_str());
        RunCheckpoint("removal");
    }
}
