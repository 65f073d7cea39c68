#include "db/RecordId.h"

#include <strings.h>
#include <sys/stat.h>

#include <limits>

#include "core/FsPath.h"
#include "core/Globals.h"
#include "core/WindowServices.h"
#include "platform/ExclusiveFile.h"

namespace {

// The number at the start of the first line: leading blanks skipped, an
// optional sign, digits up to the first other character; 0 without digits.
// A value above the 32-bit range stays above it (the caller refuses it);
// one below it is taken as the lowest 32-bit number.
int64_t LeadingNumber(const std::string& line) {
    size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    bool negative = false;
    if (i < line.size() && (line[i] == '-' || line[i] == '+')) negative = line[i++] == '-';
    int64_t value = 0;
    for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
        value = value * 10 + (line[i] - '0');
        if (value > int64_t(std::numeric_limits<int32_t>::max()) + 1) break;
    }
    value = negative ? -value : value;
    return value < std::numeric_limits<int32_t>::min() ? std::numeric_limits<int32_t>::min()
                                                       : value;
}

}  // namespace

int32_t IdStartValue(const std::string& name) {
    static const struct {
        const char* name;
        int32_t first;
    } kStart[] = {
        {"Rechnung", 100000}, {"RechnungKoVo", 2000000},
        {"Arzt", 2},          {"Gruppen", 1000000},
        {"pgebData", 20},     {"XFiles", 4},
        {"PKassen", 1000},    {"Lookup", 1},
        {"karteiData", 1},    {"karteiView", 1},
        {"karteiKat", 200},
    };
    for (const auto& s : kStart)
        if (strcasecmp(s.name, name.c_str()) == 0) return s.first;
    return 1;
}

int32_t getID(const std::string& name) {
    return getID(name, IdFileRetry{});
}

int32_t getID(const std::string& name, const IdFileRetry& retry, int* attempts) {
    const std::string path = DatabaseDir + "/" + name + ".id";
    int64_t number = 1;
    struct stat st {};
    if (stat(fspath::ToFileSystem(path).c_str(), &st) != 0) number = IdStartValue(name);

    ExclusiveFile file;
    ExclusiveFile::Retry tries;
    tries.attempts = retry.attempts;
    tries.delayMs = retry.delayMs;
    // Waiting helps only while another program holds the file; a path that
    // cannot be opened at all (no permission, a folder in its place) would
    // freeze the program for a minute per id to no purpose.
    tries.stopOnPermanentError = true;
    const ExclusiveFile::Result opened =
        file.Open(path, ExclusiveFile::Mode::ReadWriteCreate, tries);
    if (attempts) *attempts = file.Attempts();
    if (opened != ExclusiveFile::Result::Opened) {
        ShowError(
            "Fehler in getID(1) - Verbindung zum Netzwerk wurde unterbrochen oder ID-Datei "
            "defekt.");
        return -1;
    }

    std::string content;
    bool ok = file.ReadAll(content);
    const std::string line = content.substr(0, content.find('\n'));
    if (!line.empty() && line != "\r") number = LeadingNumber(line);

    // The number after the largest 32-bit id cannot be written, and a number
    // that is not written back would be handed out twice.
    if (number > std::numeric_limits<int32_t>::max() - 1) ok = false;
    if (ok && number >= 0) ok = file.SeekTo(0) && file.WriteAll(std::to_string(number + 1));
    // The close reports a write that did not reach the share.
    if (!file.Close()) ok = false;
    if (!ok) {
        ShowError(
            "Fehler in getID(2) - Verbindung zum Netzwerk wurde unterbrochen oder ID-Datei "
            "defekt.");
        return -1;
    }
    return int32_t(number);
}
