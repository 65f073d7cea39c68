#include "core/CConfigFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <memory>

#include "core/FsPath.h"

namespace {

bool IsBlank(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

unsigned char Lower(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

std::string WithoutLeadingBlanks(const std::string& line) {
    size_t i = 0;
    while (i < line.size() && IsBlank(static_cast<unsigned char>(line[i]))) ++i;
    return line.substr(i);
}

// Line breaks in values are stored as 0x01 (CR) and 0x02 (LF) so that a
// value always stays on its one line.
std::string EncodeValue(const std::string& value) {
    std::string out = value;
    for (char& c : out) {
        if (c == '\r')
            c = '\x01';
        else if (c == '\n')
            c = '\x02';
    }
    return out;
}

std::string DecodeValue(const std::string& value) {
    std::string out = value;
    for (char& c : out) {
        if (c == '\x01')
            c = '\r';
        else if (c == '\x02')
            c = '\n';
    }
    return out;
}

int ParseInt(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) break;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

int CConfigFile::FindKey(const std::string& key) const {
    for (size_t n = 0; n < lines_.size(); ++n) {
        const std::string copy = WithoutLeadingBlanks(lines_[n]);
        if (copy.size() <= key.size()) continue;
        if (copy[0] == ';') continue;
        const unsigned char behind = static_cast<unsigned char>(copy[key.size()]);
        if (behind > 0x20 && behind != '=') continue;
        bool same = true;
        for (size_t i = 0; i < key.size() && same; ++i)
            same = Lower(static_cast<unsigned char>(copy[i])) ==
                   Lower(static_cast<unsigned char>(key[i]));
        if (same) return static_cast<int>(n);
    }
    return -1;
}

std::string CConfigFile::GetString(const std::string& key, const std::string& def) {
    const int n = FindKey(key);
    if (n < 0) return def;
    const std::string copy = WithoutLeadingBlanks(lines_[n]);
    const size_t eq = copy.find('=');
    return DecodeValue(eq == std::string::npos ? copy : copy.substr(eq + 1));
}

void CConfigFile::SetString(const std::string& key, const std::string& value) {
    std::string line = key + "=" + EncodeValue(value);
    const int n = FindKey(key);
    if (n < 0) {
        if (lines_.size() == lines_.capacity()) lines_.reserve(lines_.size() + 10);
        lines_.push_back(std::move(line));
    } else {
        lines_[n] = std::move(line);
    }
}

int CConfigFile::GetInt(const std::string& key, int def) {
    const std::string value = GetString(key, {});
    return value.empty() ? def : ParseInt(value);
}

void CConfigFile::SetInt(const std::string& key, int value) {
    SetString(key, std::to_string(value));
}

bool CConfigFile::Load(const std::string& path) {
    path_ = path;
    lines_.clear();
    FilePtr f(std::fopen(fspath::ToFileSystem(path).c_str(), "rb"));
    struct stat st {};
    if (!f || fstat(fileno(f.get()), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    // Lines may be of any length and may hold NUL bytes; a CR directly before
    // the LF belongs to the line end, and the last line may lack one.
    std::string line;
    bool pending = false;
    for (int c; (c = std::fgetc(f.get())) != EOF;) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines_.push_back(std::move(line));
            line.clear();
            pending = false;
        } else {
            line.push_back(static_cast<char>(c));
            pending = true;
        }
    }
    if (pending) lines_.push_back(std::move(line));
    return true;
}

bool CConfigFile::Save() {
    FilePtr f(std::fopen(fspath::ToFileSystem(path_).c_str(), "wb"));
    if (!f) return false;
    bool ok = true;
    for (const std::string& line : lines_) {
        if (std::fwrite(line.data(), 1, line.size(), f.get()) != line.size() ||
            std::fwrite("\r\n", 1, 2, f.get()) != 2)
            ok = false;
    }
    std::FILE* raw = f.release();
    if (std::fclose(raw) != 0) ok = false;
    return ok;
}
