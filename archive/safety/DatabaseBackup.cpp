#include "archive/safety/DatabaseBackup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "archive/rows/RunCheckpoint.h"
#include "core/ContentHash.h"
#include "core/FsPath.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "db/ArchiveDbPair.h"
#include "db/DatabaseKind.h"
#include "platform/DurableFile.h"
#include "platform/FileCopy.h"
#include "platform/FileDescriptor.h"
#include "platform/FileHolders.h"
#include "platform/RunFile.h"
#include "platform/SystemError.h"

namespace {

constexpr size_t kChunk = 1 << 20;

// Reads fd from its start to its end, feeding the fingerprint; bytes
// receives the length read.
bool Fingerprint(int fd, ContentHash& hash, uint64_t& bytes) {
    std::vector<char> buffer(kChunk);
    bytes = 0;
    while (true) {
        const ssize_t n = ::pread(fd, buffer.data(), buffer.size(), off_t(bytes));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        hash.Update(buffer.data(), size_t(n));
        bytes += uint64_t(n);
    }
}

std::string FileNameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void RemoveEngineFiles(const std::string& path) {
    for (const char* suffix : {"-journal", "-wal", "-shm"})
        std::remove(fspath::ToFileSystem(path + suffix).c_str());
}

void DisconnectList(ArchiveDbPair* list) {
    for (ArchiveDbPair* db = list; db; db = db->Next) db->Connection.Disconnect();
}

}  // namespace

std::string DatabasePath(const ArchiveDbPair& db) {
    return DatabaseDir + "/" + db.FileName + db.Extension;
}

std::string BackupPath(const ArchiveDbPair& db) {
    return DatabaseDir + "/" + db.FileName + db.Extension + ".bak";
}

bool BackupFile(const std::string& path, BackupRecord& record,
                const std::function<void(uint64_t)>& copied) {
    const std::string backup = path + ".bak";
    FileDescriptor in(::open(fspath::ToFileSystem(path).c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (in.get() < 0 || ::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    // A backup left by an earlier run is replaced, never written through.
    ::unlink(fspath::ToFileSystem(backup).c_str());
    FileDescriptor out(runfile::Open(backup, O_RDWR | O_CREAT | O_EXCL));
    if (out.get() < 0) return false;
    ContentHash hash;
    uint64_t bytes = 0, hashed = 0;
    runfile::Identity identity;
    runfile::IdentityOf(in.get(), identity);
    // The kernel copies (or the file system shares the blocks).
    bool ok = CopyFileData(in.get(), out.get(), bytes, copied);
    // The disk starts writing the copy while the fingerprint is taken of
    // what the backup holds (a hint; the fsync is what counts): the backup
    // must be on the disk before the run changes the database.
    if (ok) (void)::sync_file_range(out.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
    ok = ok && Fingerprint(out.get(), hash, hashed) && hashed == bytes &&
         (::fsync(out.get()) == 0 || errno == EINVAL);
    // Renamed back, the backup is the database: it carries its owner, group
    // and permissions as far as this user may give them.
    runfile::GiveIdentity(out.get(), identity);
    if (!out.Close() || !ok) {
        ::unlink(fspath::ToFileSystem(backup).c_str());
        return false;
    }
    record.file = FileNameOf(path);
    record.size = bytes;
    record.hash = hash.Value();
    record.uid = identity.uid;
    record.gid = identity.gid;
    record.mode = identity.mode;
    return true;
}

bool BackupDatabaseFiles(ArchiveDbPair* list, std::vector<BackupRecord>& records,
                         const std::function<void(uint64_t)>& copied) {
    DisconnectList(list);
    bool ok = true;
    for (ArchiveDbPair* db = list; db; db = db->Next) {
        BackupRecord record;
        if (!BackupFile(DatabasePath(*db), record, copied)) {
            AppendLog("Fehler beim Kopieren von " + DatabasePath(*db) + " nach " + BackupPath(*db));
            ok = false;
            break;
        }
        records.push_back(record);
        RunCheckpoint("backup");
    }
    if (ok && !SyncFolder(DatabaseDir)) ok = false;
    // A database that cannot be connected again would fail the run in its
    // middle; failing the backup instead stops the run before any change.
    for (ArchiveDbPair* db = list; db; db = db->Next)
        if (!Connect(*db)) ok = false;
    return ok;
}

bool MatchesRecord(const std::string& path, const BackupRecord& record) {
    FileDescriptor fd(runfile::Open(path, O_RDONLY));
    if (fd.get() < 0) return false;
    ContentHash hash;
    uint64_t bytes = 0;
    return Fingerprint(fd.get(), hash, bytes) && bytes == record.size &&
           hash.Value() == record.hash;
}

PutBack PutBackFile(const std::string& path, const BackupRecord& record) {
    const std::string backup = path + ".bak";
    const std::string name = FileNameOf(path);
    if (!runfile::NameExists(backup)) {
        if (MatchesRecord(path, record)) return PutBack::AlreadyBack;
        AppendLog("Die Datensicherung " + backup + " fehlt.", ColourRed);
        return PutBack::Missing;
    }
    if (!MatchesRecord(backup, record)) {
        AppendLog("Die Datensicherung " + backup +
                      " ist nicht mehr die beim Vorgang angelegte (Größe oder Prüfsumme weichen "
                      "ab); sie wird nicht zurückgelegt und bleibt zur Prüfung erhalten.",
                  ColourRed);
        return PutBack::Damaged;
    }
    FileDescriptor fd(runfile::Open(backup, O_RDONLY));
    // rename(2) replaces the database in one step: there is no moment
    // without it, and a failure leaves the current file as it was.
    if (fd.get() < 0 || std::rename(fspath::ToFileSystem(backup).c_str(),
                                    fspath::ToFileSystem(path).c_str()) != 0) {
        AppendLog("Fehler beim Umbenennen von " + backup + " nach " + path, ColourRed);
        return PutBack::Failed;
    }
    // The engine of the Access kind keeps an interrupted transaction's
    // journal beside the file; left there, it would be played back into the
    // file just put back.
    RemoveEngineFiles(path);
    runfile::Identity identity;
    identity.uid = record.uid;
    identity.gid = record.gid;
    identity.mode = record.mode;
    if (!runfile::GiveIdentity(fd.get(), identity)) {
        struct stat st {};
        ::fstat(fd.get(), &st);
        AppendLog("• " + name + " gehört nach dem Zurücklegen dem Benutzer " +
                      std::to_string(st.st_uid) + " statt " + std::to_string(record.uid) +
                      "; Gruppe und Zugriffsrechte sind die alten. Nur ein Administrator kann "
                      "den Eigentümer wieder setzen.",
                  ColourRed);
    }
    SyncFolder(FolderOf(path));
    RunCheckpoint("putback");
    return PutBack::Done;
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

namespace {

// The 100-byte header of an Access-kind file: the engine's magic text and,
// at offset 24, the counter it raises with every change it commits.
bool ReadChangeCounter(const std::string& path, std::string& counter) {
    FileDescriptor fd(runfile::Open(path, O_RDONLY));
    char header[100];
    if (fd.get() < 0 || ::pread(fd.get(), header, sizeof header, 0) != ssize_t(sizeof header))
        return false;
    static const char kMagic[16] = {'S', 'Q', 'L', 'i', 't', 'e', ' ', 'f',
                                    'o', 'r', 'm', 'a', 't', ' ', '3', '\0'};
    if (std::memcmp(header, kMagic, sizeof kMagic) != 0) return false;
    counter.assign(header + 24, 4);
    return true;
}

}  // namespace

bool UnchangedSinceBackup(const std::string& path) {
    std::string now, then;
    return ReadChangeCounter(path, now) && ReadChangeCounter(path + ".bak", then) && now == then;
}

bool PutBackIfSafe(const RunJournal& journal, const std::string& file) {
    const std::string path = DatabaseDir + "/" + file;
    const std::string backup = path + ".bak";
    const BackupRecord* record = journal.BackupOf(file);
    auto refuse = [&](const std::string& why) {
        AppendLog("• Die Datensicherung " + backup + " wird nicht zurückgelegt: " + why, ColourRed);
        return false;
    };
    if (!record) return refuse("das Journal enthält sie nicht.");
    if (KindOfFile(file) == DatabaseKind::Firebird)
        return refuse(
            "ohne Verbindung zur Datenbank ist nicht festzustellen, ob andere Verbindungen "
            "seit dem Vorgang darin gespeichert haben.");
    for (const std::string& stale : journal.stale)
        if (stale == file)
            return refuse(
                "die Datenbank wurde zwischen der Datensicherung und dem Beginn des "
                "Vorgangs von einem anderen Programm geändert.");
    std::vector<std::string> holders;
    std::string error;
    if (!OtherHoldersOfFile(path, holders, error))
        return refuse("es ist nicht festzustellen, wer die Datenbank geöffnet hat (" + error +
                      ").");
    if (!holders.empty()) {
        std::string names;
        for (const std::string& h : holders) names += (names.empty() ? "" : ", ") + h;
        return refuse("die Datenbank ist noch geöffnet von " + names + ".");
    }
    const PutBack result = PutBackFile(path, *record);
    return result == PutBack::Done || result == PutBack::AlreadyBack;
}

namespace {

bool RemoveOrSay(const std::string& path, const std::string& what) {
    if (::unlink(fspath::ToFileSystem(path).c_str()) == 0 || errno == ENOENT) return true;
    AppendLog(what + path + " kann nicht gelöscht werden (" + SystemErrorText(errno) + ").",
              ColourRed);
    return false;
}

}  // namespace

bool RemoveBackups(const RunJournal& journal, const std::vector<std::string>& keep) {
    bool ok = true;
    for (const std::string& file : journal.Files()) {
        const std::string path = DatabaseDir + "/" + file;
        ::unlink(fspath::ToFileSystem(path + ".restore").c_str());
        if (std::find(keep.begin(), keep.end(), file) == keep.end())
            ok = RemoveOrSay(path + ".bak", "Die Datensicherung ") && ok;
        RunCheckpoint("removal");
    }
    // The backups are gone for good before the journal that names them.
    SyncFolder(DatabaseDir);
    return ok;
}

bool RemoveRunFiles(RunJournal& journal, const std::vector<std::string>& keep) {
    if (RemoveBackups(journal, keep)) {
        ::unlink(fspath::ToFileSystem(RunJournal::Path() + ".new").c_str());
        if (RemoveOrSay(RunJournal::Path(), "Die Journal-Datei ")) {
            SyncFolder(DatabaseDir);
            return true;
        }
    }
    // What is left is only files: a later start removes them and never takes
    // the finished run for an undecided one.
    journal.stage = RunStage::CleanUp;
    if (!journal.Save())
        AppendLog("Die Journal-Datei " + RunJournal::Path() +
                      " kann nicht geändert werden; der nächste Start prüft den Vorgang erneut.",
                  ColourRed);
    AppendLog(RunsLockedTillThen("Die verbliebenen Dateien des Vorgangs löscht Tamaro beim "
                                 "nächsten Start, sobald das Verzeichnis " +
                                 DatabaseDir + " wieder beschreibbar ist"),
              ColourRed);
    return false;
}
