#include "core/GermanCollation.h"

#include <cstring>

namespace {

// What a code page 1252 byte sorts as: its base letter in lower case (two
// letters for ß, Æ, Œ and Þ), or the byte itself when it is no letter.
// Bytes are written as numbers: this file is compiled to code page 1252.
std::string BaseLetters(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return std::string(1, char(c + 32));
    if (c < 0x80) return std::string(1, char(c));
    switch (c) {
        case 0x83:  // f with hook
            return "f";
        case 0x8A:  // S with caron
        case 0x9A:
            return "s";
        case 0x8C:  // OE
        case 0x9C:
            return "oe";
        case 0x8E:  // Z with caron
        case 0x9E:
            return "z";
        case 0x9F:  // Y with diaeresis
        case 0xDD:
        case 0xFD:
        case 0xFF:
            return "y";
        case 0xC6:  // AE
        case 0xE6:
            return "ae";
        case 0xC7:
        case 0xE7:
            return "c";
        case 0xD0:  // eth
        case 0xF0:
            return "d";
        case 0xD1:
        case 0xF1:
            return "n";
        case 0xD8:  // O with stroke
        case 0xF8:
            return "o";
        case 0xDE:  // thorn
        case 0xFE:
            return "th";
        case 0xDF:  // sharp s
            return "ss";
        default:
            break;
    }
    const unsigned char lower = c >= 0xC0 && c <= 0xDE ? c + 32 : c;
    if (lower >= 0xE0 && lower <= 0xE5) return "a";
    if (lower >= 0xE8 && lower <= 0xEB) return "e";
    if (lower >= 0xEC && lower <= 0xEF) return "i";
    if (lower >= 0xF2 && lower <= 0xF6) return "o";
    if (lower >= 0xF9 && lower <= 0xFC) return "u";
    return std::string(1, char(c));
}

// The text as it sorts first: base letters in lower case.
std::string PrimaryKey(const std::string& text) {
    std::string key;
    key.reserve(text.size());
    for (unsigned char c : text) key += BaseLetters(c);
    return key;
}

// The text in lower case with its accents: among texts of one primary key,
// a plain letter (a) before an accented one (ä, 0xE4).
std::string AccentKey(const std::string& text) {
    std::string key = text;
    for (char& ch : key) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) ch = char(c + 32);
    }
    return key;
}

int CompareBytes(const std::string& a, const std::string& b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    const int order = n ? std::memcmp(a.data(), b.data(), n) : 0;
    if (order != 0) return order;
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

}  // namespace

int CompareGerman(const std::string& a, const std::string& b) {
    if (int order = CompareBytes(PrimaryKey(a), PrimaryKey(b))) return order;
    if (int order = CompareBytes(AccentKey(a), AccentKey(b))) return order;
    return CompareBytes(a, b);
}
