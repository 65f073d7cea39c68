#include "drivers/access/AccessCollation.h"

#include <cstring>

#include "core/Cp1252.h"
#include "core/GermanCollation.h"

namespace accessdrv {

namespace {

using germancollation::Char;

// UTF-8 as SQLite hands it over, read as the characters of code page 1252
// that it holds; a byte that is no UTF-8 is taken as a code page 1252 byte,
// as the driver reads such text elsewhere.
struct Utf8Source {
    const unsigned char* at;
    const unsigned char* end;
    bool Next(Char& c) {
        if (at == end) return false;
        const unsigned char b = *at;
        if (b < 0x80) {
            c = b;
            ++at;
            return true;
        }
        const size_t left = size_t(end - at);
        auto follow = [&](size_t k) { return k < left && (at[k] & 0xC0) == 0x80; };
        uint32_t u = b;
        size_t length = 1;
        if ((b & 0xE0) == 0xC0 && follow(1)) {
            u = (uint32_t(b & 0x1F) << 6) | (at[1] & 0x3F), length = 2;
        } else if ((b & 0xF0) == 0xE0 && follow(1) && follow(2)) {
            u = (uint32_t(b & 0x0F) << 12) | (uint32_t(at[1] & 0x3F) << 6) | (at[2] & 0x3F);
            length = 3;
        } else if ((b & 0xF8) == 0xF0 && follow(1) && follow(2) && follow(3)) {
            u = (uint32_t(b & 0x07) << 18) | (uint32_t(at[1] & 0x3F) << 12) |
                (uint32_t(at[2] & 0x3F) << 6) | (at[3] & 0x3F);
            length = 4;
        } else {
            ++at;
            c = b;
            return true;
        }
        at += length;
        const int byte = cp1252::FromUnicode(u);
        c = byte >= 0 ? Char(byte) : 0x100 + u;
        return true;
    }
};

int Sort(void*, int aLength, const void* a, int bLength, const void* b) {
    return AccessCollation::Compare(a, aLength, b, bLength, true);
}

int CompareIgnoringCase(void*, int aLength, const void* a, int bLength, const void* b) {
    return AccessCollation::Compare(a, aLength, b, bLength, false);
}

}  // namespace

int AccessCollation::Compare(const void* a, int aLength, const void* b, int bLength,
                             bool caseTies) {
    const auto* x = static_cast<const unsigned char*>(a);
    const auto* y = static_cast<const unsigned char*>(b);
    const size_t xn = aLength > 0 ? size_t(aLength) : 0, yn = bLength > 0 ? size_t(bLength) : 0;
    // A common start of whole characters orders nothing at any level: the
    // comparison starts at the first character that differs.
    size_t same = 0;
    while (same < xn && same < yn && x[same] == y[same]) ++same;
    auto continues = [&](size_t i) {
        return (i < xn && (x[i] & 0xC0) == 0x80) || (i < yn && (y[i] & 0xC0) == 0x80);
    };
    while (same > 0 && continues(same)) --same;
    if (int order = germancollation::Compare(Utf8Source{x + same, x + xn},
                                             Utf8Source{y + same, y + yn}, caseTies))
        return order;
    if (!caseTies) return 0;
    // Different bytes that read as the same characters (text that is no
    // UTF-8) still have an order.
    const int n = aLength < bLength ? aLength : bLength;
    if (int order = n > 0 ? std::memcmp(a, b, size_t(n)) : 0) return order;
    return aLength < bLength ? -1 : aLength > bLength ? 1 : 0;
}

void AccessCollation::Register(sqlite3* db) {
    sqlite3_create_collation_v2(db, kSort, SQLITE_UTF8, nullptr, Sort, nullptr);
    sqlite3_create_collation_v2(db, kCompare, SQLITE_UTF8, nullptr, CompareIgnoringCase, nullptr);
}

}  // namespace accessdrv
