#include "core/Sha256.h"

void Sha256::Update(const void* data, size_t size) {
    // nettle takes the length as size_t; a piece of any size goes in whole.
    sha256_update(&context_, size, static_cast<const uint8_t*>(data));
}

std::string Sha256::HexDigest() {
    uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&context_, sizeof digest, digest);
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * sizeof digest);
    for (uint8_t byte : digest) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
    }
    return hex;
}
