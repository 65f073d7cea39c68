#include "archive/RunJournal.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>

#include "core/FsPath.h"
#include "core/Globals.h"
#include "platform/DurableFile.h"

namespace {

constexpr const char* kHeader = "Tamaro-Journal";

const char* KindWord(RunKind kind) {
    switch (kind) {
        case RunKind::Archive:
            return "archive";
        case RunKind::Restore:
            return "restore";
        case RunKind::Delete:
            return "delete";
    }
    return "";
}

const char* StageWord(RunStage stage) {
    switch (stage) {
        case RunStage::Backup:
            return "backup";
        case RunStage::Changing:
            return "changing";
        case RunStage::Committed:
            return "committed";
        case RunStage::Unchanged:
            return "unchanged";
        case RunStage::Restored:
            return "restored";
        case RunStage::Failed:
            return "failed";
    }
    return "";
}

bool ParseKind(const std::string& word, RunKind& kind) {
    for (RunKind k : {RunKind::Archive, RunKind::Restore, RunKind::Delete})
        if (word == KindWord(k)) {
            kind = k;
            return true;
        }
    return false;
}

bool ParseStage(const std::string& word, RunStage& stage) {
    for (RunStage s : {RunStage::Backup, RunStage::Changing, RunStage::Committed,
                       RunStage::Unchanged, RunStage::Restored, RunStage::Failed})
        if (word == StageWord(s)) {
            stage = s;
            return true;
        }
    return false;
}

}  // namespace

std::string RunJournal::Path() {
    return DatabaseDir + "/Tamaro.journal";
}

bool RunJournal::Exists() {
    struct stat st {};
    return stat(fspath::ToFileSystem(Path()).c_str(), &st) == 0;
}

bool RunJournal::Save() const {
    std::string text = std::string(kHeader) + "\nrun=" + KindWord(kind) +
                       "\nstage=" + StageWord(stage) + "\nstarted=" + std::to_string(started) +
                       "\nuser=" + user + "\nhost=" + host + "\n";
    for (const std::string& f : sourceFiles) text += "source=" + f + "\n";
    for (const std::string& f : targetFiles) text += "target=" + f + "\n";
    text += "pids=" + pids + "\nend\n";
    return ReplaceFileDurably(Path(), text);
}

bool RunJournal::SetStage(RunStage next) {
    stage = next;
    return Save();
}

RunJournal::LoadResult RunJournal::Load() {
    std::ifstream in(fspath::ToFileSystem(Path()), std::ios::binary);
    if (!in) return Exists() ? LoadResult::Unreadable : LoadResult::Missing;
    *this = RunJournal();
    std::string line;
    bool header = false, kindSeen = false, stageSeen = false, end = false;
    while (std::getline(in, line)) {
        if (end) return LoadResult::Unreadable;
        if (!header) {
            if (line != kHeader) return LoadResult::Unreadable;
            header = true;
            continue;
        }
        if (line == "end") {
            end = true;
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos) return LoadResult::Unreadable;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "run") {
            kindSeen = ParseKind(value, kind);
        } else if (key == "stage") {
            stageSeen = ParseStage(value, stage);
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
        } else if (key == "pids") {
            pids = value;
        }
    }
    // A name with a folder in it would reach outside the database folder.
    for (const std::string& f : Files())
        if (f.empty() || f.find('/') != std::string::npos || f == "." || f == "..")
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

std::string RunJournal::Describe() const {
    const char* what = kind == RunKind::Archive   ? "Archivierung"
                       : kind == RunKind::Restore ? "Restaurierung"
                                                  : "Löschung";
    size_t count = pids.empty() ? 0 : 1;
    for (char c : pids)
        if (c == ',') ++count;
    char when[32] = "?";
    const time_t t = time_t(started);
    struct tm local;
    if (localtime_r(&t, &local))
        std::snprintf(when, sizeof when, "%02d.%02d.%02d %02d:%02d", local.tm_mday,
                      local.tm_mon + 1, local.tm_year % 100, local.tm_hour, local.tm_min);
    return std::string(what) + " von " + std::to_string(count) + " Patienten, begonnen am " + when +
           " von Benutzer " + (user.empty() ? "unbekannt" : user) + " auf Rechner " +
           (host.empty() ? "unbekannt" : host);
}
