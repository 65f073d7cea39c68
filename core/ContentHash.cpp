#include "core/ContentHash.h"

#include <cstring>

namespace {

constexpr uint64_t kMul1 = 0xC2B2AE3D27D4EB4Full;
constexpr uint64_t kMul2 = 0x9E3779B185EBCA87ull;

uint64_t Rotl(uint64_t v, int r) {
    return (v << r) | (v >> (64 - r));
}

uint64_t Mix(uint64_t h) {
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return h;
}

}  // namespace

void ContentHash::Word(uint64_t w) {
    state_ = Rotl(state_ ^ (w * kMul1), 31) * kMul2;
}

void ContentHash::Update(const void* data, size_t size) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    length_ += size;
    if (pendingBytes_ > 0) {
        while (size > 0 && pendingBytes_ < 8) {
            pending_[pendingBytes_++] = *p++;
            --size;
        }
        if (pendingBytes_ < 8) return;
        uint64_t w;
        std::memcpy(&w, pending_, 8);
        Word(w);
        pendingBytes_ = 0;
    }
    for (; size >= 8; p += 8, size -= 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        Word(w);
    }
    std::memcpy(pending_, p, size);
    pendingBytes_ = unsigned(size);
}

uint64_t ContentHash::Value() const {
    uint64_t h = state_;
    if (pendingBytes_ > 0) {
        uint64_t w = 0;
        std::memcpy(&w, pending_, pendingBytes_);
        h = Rotl(h ^ (w * kMul1), 31) * kMul2;
    }
    return Mix(h ^ length_);
}

std::string ContentHash::Hex(uint64_t value) {
    static const char digits[] = "0123456789abcdef";
    std::string out(16, '0');
    for (int i = 15; i >= 0; --i, value >>= 4) out[size_t(i)] = digits[value & 15];
    return out;
}

bool ContentHash::ParseHex(const std::string& text, uint64_t& value) {
    if (text.size() != 16) return false;
    uint64_t v = 0;
    for (char c : text) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else
            return false;
        v = (v << 4) | uint64_t(d);
    }
    value = v;
    return true;
}
