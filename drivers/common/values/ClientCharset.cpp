#include "drivers/common/values/ClientCharset.h"

#include <langinfo.h>
#include <strings.h>

#include "core/Cp1252.h"
#include "drivers/common/base/Backend.h"
#include "drivers/common/values/WideText.h"

namespace odbcdrv {

bool ClientCharset::LocaleIsUtf8() {
    // nl_langinfo answers for the thread's locale (uselocale) or the global one.
    const char* set = nl_langinfo(CODESET);
    return set && (strcasecmp(set, "UTF-8") == 0 || strcasecmp(set, "UTF8") == 0);
}

ClientCharset ClientCharset::Choose(const std::string& key) {
    const bool locale = LocaleIsUtf8();
    if (key.empty()) return ClientCharset(locale, locale);
    const char* k = key.c_str();
    if (strcasecmp(k, "UTF8") == 0 || strcasecmp(k, "UTF-8") == 0)
        return ClientCharset(true, locale);
    if (strcasecmp(k, "WIN1252") == 0 || strcasecmp(k, "CP1252") == 0 ||
        strcasecmp(k, "WINDOWS-1252") == 0)
        return ClientCharset(false, locale);
    throw DriverError("08001", "Unknown character set '" + key +
                                   "' in CHARSET: the driver speaks UTF8 or WIN1252.");
}

std::string ClientCharset::ToClient(const std::string& cp1252) const {
    return utf8_ ? cp1252::ToUtf8(cp1252) : cp1252;
}

std::string ClientCharset::FromClient(const std::string& text) const {
    if (!utf8_) return text;
    std::string out;
    out.reserve(text.size());
    size_t position = 0;
    for (size_t i = 0; i < text.size();) {
        ++position;
        const auto c = static_cast<unsigned char>(text[i]);
        uint32_t u = c;
        size_t len = 1;
        if (c >= 0x80) {
            len = c >= 0xF0 && c <= 0xF4  ? 4
                  : c >= 0xE0 && c < 0xF0 ? 3
                  : c >= 0xC2 && c < 0xE0 ? 2
                                          : 0;
            if (len == 0 || i + len > text.size()) RefuseBytes(position);
            u = c & (len == 2 ? 0x1F : len == 3 ? 0x0F : 0x07);
            for (size_t k = 1; k < len; ++k) {
                const auto cont = static_cast<unsigned char>(text[i + k]);
                if ((cont & 0xC0) != 0x80) RefuseBytes(position);
                u = (u << 6) | (cont & 0x3F);
            }
            // Overlong forms, surrogates and values beyond Unicode are no UTF-8.
            if ((len == 3 && u < 0x800) || (len == 4 && (u < 0x10000 || u > 0x10FFFF)) ||
                (u >= 0xD800 && u <= 0xDFFF))
                RefuseBytes(position);
        }
        const int b = cp1252::FromUnicode(u);
        if (b < 0) RefuseCharacter(u, position);
        out.push_back(static_cast<char>(b));
        i += len;
    }
    return out;
}

}  // namespace odbcdrv
