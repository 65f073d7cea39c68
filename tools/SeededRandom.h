// Deterministic pseudo-random numbers (splitmix64): the same seed gives the
// same practice on every machine and compiler, which the standard
// distributions do not promise.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class SeededRandom {
  public:
    explicit SeededRandom(uint64_t seed) : state_(seed) {}
    // A stream of its own for one patient and one table, so that the rows of a
    // table do not depend on the order in which tables are written.
    SeededRandom(uint64_t seed, uint64_t pid, const std::string& salt)
        : state_(seed ^ (pid * 0x9E3779B97F4A7C15ull) ^ Hash(salt)) {
        Next();
    }

    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [lo, hi].
    int64_t Range(int64_t lo, int64_t hi) {
        if (hi <= lo) return lo;
        return lo + static_cast<int64_t>(Next() % static_cast<uint64_t>(hi - lo + 1));
    }
    // True with the given probability in percent.
    bool Chance(int percent) { return Range(0, 99) < percent; }
    template <typename T>
    const T& Pick(const std::vector<T>& items) {
        return items[static_cast<size_t>(Range(0, static_cast<int64_t>(items.size()) - 1))];
    }

  private:
    static uint64_t Hash(const std::string& s) {
        uint64_t h = 1469598103934665603ull;
        for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
        return h;
    }
    uint64_t state_;
};
