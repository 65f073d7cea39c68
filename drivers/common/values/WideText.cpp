#include "drivers/common/values/WideText.h"

#include <cstdio>

#include "core/Cp1252.h"
#include "drivers/common/base/Backend.h"

namespace odbcdrv {

void RefuseCharacter(uint32_t codePoint, size_t position) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "The character U+%04X at position %zu cannot be represented in code page "
                  "1252, in which the database keeps its text.",
                  static_cast<unsigned>(codePoint), position);
    throw DriverError("22021", text);
}

void RefuseBytes(size_t position) {
    throw DriverError("22021",
                      "The text is no valid UTF-8 at character " + std::to_string(position) + ".");
}

std::string FromWide(const SQLWCHAR* text, SQLINTEGER length) {
    std::string out;
    if (!text) return out;
    size_t n = 0;
    if (length == SQL_NTS) {
        while (text[n]) ++n;
    } else if (length > 0) {
        n = static_cast<size_t>(length);
    }
    out.reserve(n);
    size_t position = 0;
    for (size_t i = 0; i < n; ++i) {
        ++position;
        uint32_t u = text[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            u = 0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            ++i;
        }
        int b = u >= 0xD800 && u <= 0xDFFF ? -1 : cp1252::FromUnicode(u);
        if (b < 0) RefuseCharacter(u, position);
        out.push_back(static_cast<char>(b));
    }
    return out;
}

std::u16string ToWide(const std::string& cp1252) {
    std::u16string out;
    out.reserve(cp1252.size());
    for (unsigned char c : cp1252) out.push_back(static_cast<char16_t>(cp1252::ToUnicode(c)));
    return out;
}

std::u16string BytesToWide(const std::string& bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes) out.push_back(c);
    return out;
}

}  // namespace odbcdrv
