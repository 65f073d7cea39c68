// Conversion between code page 1252 (the text of the whole program and of
// the stored data) and UTF-8 (Qt, SQLite, the terminal). Header-only so that
// the driver libraries can use it without linking the engine.
#pragma once

#include <cstdint>
#include <string>

namespace cp1252 {

// Unicode code points of 0x80..0x9F; 0 marks the five bytes that 1252 leaves
// undefined (they map to the C1 control of the same value).
inline constexpr uint16_t kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

inline uint32_t ToUnicode(unsigned char c) {
    if (c >= 0x80 && c < 0xA0) return kHigh[c - 0x80] ? kHigh[c - 0x80] : c;
    return c;
}

// The 1252 byte of a code point, or -1 when it has none.
inline int FromUnicode(uint32_t u) {
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return int(u);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == u || (kHigh[i] == 0 && u == uint32_t(0x80 + i))) return 0x80 + i;
    return -1;
}

inline std::string ToUtf8(const std::string& in) {
    std::string out;
    out.reserve(in.size() + in.size() / 8);
    for (unsigned char c : in) {
        uint32_t u = ToUnicode(c);
        if (u < 0x80) {
            out += char(u);
        } else if (u < 0x800) {
            out += char(0xC0 | (u >> 6));
            out += char(0x80 | (u & 0x3F));
        } else {
            out += char(0xE0 | (u >> 12));
            out += char(0x80 | ((u >> 6) & 0x3F));
            out += char(0x80 | (u & 0x3F));
        }
    }
    return out;
}

// Characters without a 1252 byte become '?'; malformed UTF-8 bytes are taken
// as 1252 bytes unchanged, so nothing is silently dropped.
inline std::string FromUtf8(const std::string& in) {
    std::string out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size();) {
        unsigned char c = in[i];
        uint32_t u;
        size_t len;
        if (c < 0x80) {
            u = c, len = 1;
        } else if ((c & 0xE0) == 0xC0 && i + 1 < in.size() && (in[i + 1] & 0xC0) == 0x80) {
            u = ((c & 0x1F) << 6) | (in[i + 1] & 0x3F), len = 2;
        } else if ((c & 0xF0) == 0xE0 && i + 2 < in.size() && (in[i + 1] & 0xC0) == 0x80 &&
                   (in[i + 2] & 0xC0) == 0x80) {
            u = ((c & 0x0F) << 12) | ((in[i + 1] & 0x3F) << 6) | (in[i + 2] & 0x3F), len = 3;
        } else if ((c & 0xF8) == 0xF0 && i + 3 < in.size()) {
            u = 0x110000, len = 4;
        } else {
            out += char(c);
            ++i;
            continue;
        }
        int b = FromUnicode(u);
        out += b < 0 ? '?' : char(b);
        i += len;
    }
    return out;
}

}  // namespace cp1252
