// File and folder names cross between the program's text (code page 1252)
// and the file system (UTF-8 on Linux) only through these two functions:
// FromFileSystem where a name enters (current directory, key files,
// "Network.cfg", arguments of the tools), ToFileSystem where one leaves (file
// functions, the drivers' file names). Header-only, for the drivers too.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/Cp1252.h"

namespace fspath {

// The file-system name of a path in code page 1252. Always exact.
inline std::string ToFileSystem(const std::string& path1252) {
    return cp1252::ToUtf8(path1252);
}

// The code page 1252 text of a file-system name. True when every character
// has a byte in code page 1252, so that ToFileSystem leads back to the same
// name. Otherwise false, and `out` shows each character without such a byte
// as <U+XXXX> (a byte that is no UTF-8 as <0xNN>): fit for a message, and
// leading to no file of that name.
inline bool FromFileSystem(const std::string& name, std::string& out) {
    out.clear();
    out.reserve(name.size());
    bool exact = true;
    const size_t n = name.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        uint32_t u = 0;
        size_t len = 0;
        if (c < 0x80) {
            u = c, len = 1;
        } else if (c >= 0xC2 && c <= 0xDF) {
            u = c & 0x1Fu, len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            u = c & 0x0Fu, len = 3;
        } else if (c >= 0xF0 && c <= 0xF4) {
            u = c & 0x07u, len = 4;
        }
        bool valid = len > 0 && i + len <= n;
        for (size_t k = 1; valid && k < len; ++k) {
            const unsigned char b = static_cast<unsigned char>(name[i + k]);
            valid = (b & 0xC0) == 0x80;
            u = (u << 6) | (b & 0x3Fu);
        }
        // Overlong forms, surrogates and code points above U+10FFFF are no UTF-8.
        if (valid && ((len == 3 && u < 0x800) || (len == 4 && (u < 0x10000 || u > 0x10FFFF)) ||
                      (u >= 0xD800 && u <= 0xDFFF)))
            valid = false;
        char shown[16];
        if (!valid) {
            std::snprintf(shown, sizeof shown, "<0x%02X>", c);
            out += shown;
            exact = false;
            ++i;
            continue;
        }
        const int b = cp1252::FromUnicode(u);
        if (b < 0) {
            std::snprintf(shown, sizeof shown, "<U+%04X>", static_cast<unsigned>(u));
            out += shown;
            exact = false;
        } else {
            out += static_cast<char>(b);
        }
        i += len;
    }
    return exact;
}

}  // namespace fspath
