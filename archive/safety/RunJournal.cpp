#include "archive/safety/RunJournal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sstream>

#include "archive/rows/PidList.h"
#include "core/ContentHash.h"
#include "core/FsPath.h"
#include "core/Globals.h"
#include "platform/DurableFile.h"
#include "platform/RunFile.h"

namespace {

constexpr const char* kHeader = "Tamaro-Journal";
// Journals without this line come from runs that committed every statement
// on its own; their databases may hold half a run.
constexpr const char* kFormat = "format=2";

template <typename E>
struct Word {
    E value;
    const char* text;
};

constexpr Word<RunKind> kKinds[] = {{RunKind::Archive, "archive"},
                                    {RunKind::Restore, "restore"},
                                    {RunKind::Delete, "delete"},
                                    {RunKind::Maintenance, "maintenance"}};

constexpr Word<RunStage> kStages[] = {
    {RunStage::Backup, "backup"},         {RunStage::Running, "running"},
    {RunStage::Committing, "committing"}, {RunStage::Committed, "committed"},
    {RunStage::Unchanged, "unchanged"},   {RunStage::RolledBack, "rolledback"},
    {RunStage::Failed, "failed"},         {RunStage::Undecided, "undecided"},
    {RunStage::CleanUp, "cleanup"}};

template <typename E, size_t N>
const char* TextOf(const Word<E> (&words)[N], E value) {
    for (const auto& w : words)
        if (w.value == value) return w.text;
    return "";
}

template <typename E, size_t N>
bool Parse(const Word<E> (&words)[N], const std::string& text, E& value) {
    for (const auto& w : words)
        if (text == w.text) {
            value = w.value;
            return true;
        }
    return false;
}

// The longest line a journal may hold: its pid list (1.5 million patients)
// and any other line. A longer one, like garbage, makes the journal
// unreadable, rather than being read without end and carried into the
// report and the audit log.
constexpr size_t kMostPidsLine = 16u << 20;
constexpr size_t kMostLine = 4096;
constexpr size_t kMostJournal = kMostPidsLine + (1u << 20);

// Every id of a pid list is a patient id: the list goes into statements.
bool PidsAreIds(const std::string& pids) {
    for (const std::string& item : PidListItems(pids)) {
        int32_t pid = 0;
        if (!ParsePid(item, pid)) return false;
    }
    return true;
}

// A name with a folder in it would reach outside the database folder.
bool PlainName(const std::string& f) {
    return !f.empty() && f.find('/') == std::string::npos && f != "." && f != ".." &&
           f.find(' ') == std::string::npos;
}

bool ParseBackup(const std::string& value, BackupRecord& b) {
    std::istringstream in(value);
    std::string hash;
    unsigned long long size = 0, uid = 0, gid = 0;
    unsigned mode = 0;
    if (!(in >> b.file >> size >> hash >> uid >> gid >> std::oct >> mode)) return false;
    b.size = size;
    b.uid = uid_t(uid);
    b.gid = gid_t(gid);
    b.mode = mode_t(mode & 07777);
    return PlainName(b.file) && ContentHash::ParseHex(hash, b.hash);
}

// "<file> <table> <rows> [<fingerprint>]"
bool ParseCount(const std::string& value, TableCount& c) {
    std::istringstream in(value);
    long long rows = -1;
    if (!(in >> c.file >> c.table >> rows) || rows < 0) return false;
    c.rows = rows;
    std::string print;
    if (in >> print) {
        uint64_t sum = 0;
        if (!ContentHash::ParseHex(print, sum)) return false;
        c.print = sum;
    }
    std::string rest;
    return !(in >> rest) && PlainName(c.file) && !c.table.empty();
}

}  // namespace

std::string RunJournal::Path() {
    return DatabaseDir + "/Tamaro.journal";
}

bool RunJournal::Exists() {
    return runfile::NameExists(Path());
}

bool RunJournal::Save() const {
    std::string text = std::string(kHeader) + "\n" + kFormat + "\nrun=" + TextOf(kKinds, kind) +
                       "\nstage=" + TextOf(kStages, stage) +
                       "\nstarted=" + std::to_string(started) + "\nuser=" + user +
                       "\nhost=" + host + "\n";
    for (const std::string& f : sourceFiles) text += "source=" + f + "\n";
    for (const std::string& f : targetFiles) text += "target=" + f + "\n";
    for (const BackupRecord& b : backups) {
        char mode[16];
        std::snprintf(mode, sizeof mode, "%04o", unsigned(b.mode));
        text += "backup=" + b.file + " " + std::to_string(b.size) + " " + ContentHash::Hex(b.hash) +
                " " + std::to_string(b.uid) + " " + std::to_string(b.gid) + " " + mode + "\n";
    }
    for (const TableCount& c : counts)
        text += "count=" + c.file + " " + c.table + " " + std::to_string(c.rows) +
                (c.print ? " " + ContentHash::Hex(*c.print) : std::string()) + "\n";
    for (const std::string& f : committed) text += "committed=" + f + "\n";
    if (!committing.empty()) text += "committing=" + committing + "\n";
    if (backward) text += "direction=backward\n";
    for (const std::string& f : pending) text += "pending=" + f + "\n";
    for (const std::string& f : stale) text += "stale=" + f + "\n";
    text += "pids=" + pids + "\nend\n";
    return runfile::Replace(Path(), text);
}

bool RunJournal::SetStage(RunStage next) {
    stage = next;
    return Save();
}

RunJournal::LoadResult RunJournal::Load() {
    std::string content;
    if (!runfile::Read(Path(), content, kMostJournal))
        return Exists() ? LoadResult::Unreadable : LoadResult::Missing;
    *this = RunJournal();
    std::istringstream in(content);
    std::string line;
    bool header = false, format = false, kindSeen = false, stageSeen = false, end = false;
    while (std::getline(in, line)) {
        if (end) return LoadResult::Unreadable;
        if (line.size() > (line.rfind("pids=", 0) == 0 ? kMostPidsLine : kMostLine))
            return LoadResult::Unreadable;
        if (!header) {
            if (line != kHeader) return LoadResult::Unreadable;
            header = true;
            continue;
        }
        if (line == "end") {
            end = true;
            continue;
        }
        if (line == kFormat) {
            format = true;
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos) return LoadResult::Unreadable;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        bool ok = true;
        if (key == "run") {
            ok = kindSeen = Parse(kKinds, value, kind);
        } else if (key == "stage") {
            ok = stageSeen = Parse(kStages, value, stage);
        } else if (key == "started") {
            started = std::atoll(value.c_str());
        } else if (key == "user") {
            user = value;
        } else if (key == "host") {
            host = value;
        } else if (key == "source") {
            sourceFiles.push_back(value);
        } else if (key == "target") {
            targetFiles.push_back(value);
        } else if (key == "backup") {
            BackupRecord b;
            ok = ParseBackup(value, b);
            backups.push_back(b);
        } else if (key == "count") {
            TableCount c;
            ok = ParseCount(value, c);
            counts.push_back(c);
        } else if (key == "committed") {
            committed.push_back(value);
        } else if (key == "committing") {
            committing = value;
        } else if (key == "direction") {
            ok = value == "backward";
            backward = ok;
        } else if (key == "pending") {
            pending.push_back(value);
        } else if (key == "stale") {
            stale.push_back(value);
        } else if (key == "pids") {
            pids = value;
        }
        if (!ok) return LoadResult::Unreadable;
    }
    for (const std::string& f : Files())
        if (!PlainName(f)) return LoadResult::Unreadable;
    if (!committing.empty() && !PlainName(committing)) return LoadResult::Unreadable;
    // A journal of the earlier form cannot say what its databases hold.
    if (!format) return LoadResult::Unreadable;
    if (kind == RunKind::Maintenance ? !pids.empty() : !PidsAreIds(pids))
        return LoadResult::Unreadable;
    return header && kindSeen && stageSeen && end ? LoadResult::Loaded : LoadResult::Unreadable;
}

bool RunJournal::Remove() {
    const std::string path = Path();
    std::remove(fspath::ToFileSystem(path + ".new").c_str());
    return RemoveFileDurably(path);
}

std::vector<std::string> RunJournal::Files() const {
    std::vector<std::string> files = sourceFiles;
    files.insert(files.end(), targetFiles.begin(), targetFiles.end());
    return files;
}

std::vector<std::string> RunJournal::CommitOrder() const {
    std::vector<std::string> files = targetFiles;
    files.insert(files.end(), sourceFiles.begin(), sourceFiles.end());
    return files;
}

const BackupRecord* RunJournal::BackupOf(const std::string& file) const {
    for (const BackupRecord& b : backups)
        if (b.file == file) return &b;
    return nullptr;
}

bool RunJournal::IsCommitted(const std::string& file) const {
    return std::find(committed.begin(), committed.end(), file) != committed.end();
}

std::string RunJournal::Describe() const {
    char when[32] = "?";
    const time_t t = time_t(started);
    struct tm local;
    if (localtime_r(&t, &local))
        std::snprintf(when, sizeof when, "%02d.%02d.%02d %02d:%02d", local.tm_mday,
                      local.tm_mon + 1, local.tm_year % 100, local.tm_hour, local.tm_min);
    std::string what;
    if (kind == RunKind::Maintenance) {
        what = "Wartung der Archivdatenbank";
    } else {
        const size_t count = PidCount(pids);
        what = std::string(kind == RunKind::Archive   ? "Archivierung"
                           : kind == RunKind::Restore ? "Restaurierung"
                                                      : "Löschung") +
               " von " + std::to_string(count) + " Patienten";
    }
    return what + ", begonnen am " + when + " von Benutzer " + (user.empty() ? "unbekannt" : user) +
           " auf Rechner " + (host.empty() ? "unbekannt" : host);
}

std::string RunsLockedUntil(const std::string& condition) {
    return "Weitere Vorgänge sind gesperrt, bis " + condition + ".";
}

std::string RunsLockedTillThen(const std::string& nextStart) {
    return nextStart + "; bis dahin sind weitere Vorgänge gesperrt.";
}

std::string RetriedAtNextStart() {
    return RunsLockedTillThen("Tamaro versucht es beim nächsten Start erneut");
}
