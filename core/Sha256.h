// The SHA-256 digest of content fed in pieces, from the nettle library: the
// manifest of a handed-out patient record names each file's digest, so that
// the receiver can verify with any common tool that nothing was changed.
#pragma once

#include <nettle/sha2.h>

#include <cstddef>
#include <string>

class Sha256 {
  public:
    Sha256() { sha256_init(&context_); }

    void Update(const void* data, size_t size);
    // The digest of everything fed so far, as 64 lower-case hexadecimal
    // digits; the object starts afresh afterwards.
    std::string HexDigest();

  private:
    sha256_ctx context_;
};
