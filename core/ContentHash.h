// A 64-bit fingerprint of a file's content, fed in pieces of any size: it
// tells a backup that was cut short or overwritten from the one that was
// made. Not a cryptographic hash: it guards against damage, not against an
// attacker who can write the files anyway.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class ContentHash {
  public:
    void Update(const void* data, size_t size);
    // The fingerprint of everything fed so far (the object stays usable).
    uint64_t Value() const;

    // 16 lower-case hexadecimal digits, and back.
    static std::string Hex(uint64_t value);
    static bool ParseHex(const std::string& text, uint64_t& value);

  private:
    void Word(uint64_t w);

    uint64_t state_ = 0x9E3779B97F4A7C15ull;
    uint64_t length_ = 0;
    unsigned char pending_[8] = {};
    unsigned pendingBytes_ = 0;
};
