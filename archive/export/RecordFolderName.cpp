#include "archive/export/RecordFolderName.h"

namespace {

bool Keeps(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    if (c == '-' || c == '.') return true;
    // The letters among 0x80..0xFF of code page 1252: Š Œ Ž š œ ž Ÿ, and
    // À to ÿ without × and ÷.
    switch (c) {
        case 0x8A:
        case 0x8C:
        case 0x8E:
        case 0x9A:
        case 0x9C:
        case 0x9E:
        case 0x9F:
            return true;
        default:
            return c >= 0xC0 && c != 0xD7 && c != 0xF7;
    }
}

std::string SafeName(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        const char kept = Keeps(c) ? char(c) : '_';
        if (kept == '_' && (out.empty() || out.back() == '_')) continue;
        out += kept;
    }
    while (!out.empty() && (out.front() == '.' || out.front() == '_')) out.erase(0, 1);
    if (out.size() > 60) out.resize(60);
    while (!out.empty() && (out.back() == '.' || out.back() == '_')) out.pop_back();
    return out;
}

}  // namespace

std::string RecordFolderName(int32_t pid, const std::string& surname,
                             const std::string& firstName) {
    const std::string name = SafeName(SafeName(surname) + "_" + SafeName(firstName));
    return std::to_string(pid) + (name.empty() ? "" : "_" + name);
}
