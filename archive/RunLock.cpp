#include "archive/RunLock.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/FsPath.h"
#include "core/Globals.h"
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

// What the holder wrote into the file, read by path: the lock is advisory, so
// a second opener can read it while the holder keeps it.
std::string ReadHolder(const std::string& path) {
    std::string text;
    FILE* f = std::fopen(fspath::ToFileSystem(path).c_str(), "rb");
    if (f) {
        char buffer[1024];
        const size_t n = std::fread(buffer, 1, sizeof buffer, f);
        text.assign(buffer, n);
        std::fclose(f);
    }
    return "Benutzer " + OrUnknown(Field(text, "user")) + " auf Rechner " +
           OrUnknown(Field(text, "host"));
}

}  // namespace

std::string RunLock::Path() {
    return DatabaseDir + "/Tamaro.lock";
}

std::string RunLock::BusyText(const std::string& holder) {
    return "Auf diesen Datenbanken läuft bereits ein Vorgang (" + holder +
           ").\nBitte warten Sie, bis er beendet ist.";
}

RunLock::Result RunLock::Take() {
    holder_.clear();
    error_.clear();
    const std::string path = Path();
    // A holder that is just letting go removes the file under the lock; the
    // retries take the fresh file then.
    ExclusiveFile::Retry retry;
    retry.attempts = 3;
    retry.delayMs = 100;
    retry.stopOnPermanentError = true;
    if (file_.Open(path, ExclusiveFile::Mode::ReadWriteCreate, retry) !=
        ExclusiveFile::Result::Opened) {
        if (file_.LastError() == EWOULDBLOCK) {
            holder_ = ReadHolder(path);
            return Result::Busy;
        }
        error_ = std::strerror(file_.LastError());
        return Result::Failed;
    }
    std::string user, host;
    if (!GetLoginName(user)) user.clear();
    if (!GetHostName(host)) host.clear();
    file_.Truncate(0);
    file_.SeekTo(0);
    file_.WriteAll("user=" + user + "\nhost=" + host + "\npid=" + std::to_string(getpid()) + "\n");
    return Result::Taken;
}

void RunLock::Release() {
    if (!file_.IsOpen()) return;
    file_.Unlink();
    file_.Close();
}
