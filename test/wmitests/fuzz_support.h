// Random inputs for the robustness tests of the WMI test modules. The count
// per test is TW_FUZZ_ITERATIONS (default 500: the fuzz targets do the long
// search; a longer local run sets it), the seed TW_FUZZ_SEED.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>

namespace tw::fuzz {

inline long iterations() {
    const char* v = std::getenv("TW_FUZZ_ITERATIONS");
    long n = v ? std::atol(v) : 0;
    return n > 0 ? n : 500;
}

inline uint64_t seed() {
    const char* v = std::getenv("TW_FUZZ_SEED");
    return v ? std::strtoull(v, nullptr, 10) : 20240607u;
}

class Gen {
  public:
    explicit Gen(uint64_t seed) : rng_(seed) {}

    size_t below(size_t n) {
        return n == 0 ? 0 : std::uniform_int_distribution<size_t>(0, n - 1)(rng_);
    }
    bool chance(int percent) { return below(100) < static_cast<size_t>(percent); }

    // Mostly characters of the given alphabet, now and then any byte at all.
    std::string text(std::string_view alphabet, size_t maxLen) {
        std::string s;
        size_t len = below(maxLen + 1);
        for (size_t i = 0; i < len; ++i)
            s += chance(8) ? static_cast<char>(below(256)) : alphabet[below(alphabet.size())];
        return s;
    }

    // Lengths that sit on both sides of a limit as often as far from it.
    size_t lengthAround(size_t limit) {
        return chance(50) ? below(limit + 3) : limit - 1 + below(4);
    }

  private:
    std::mt19937_64 rng_;
};

}  // namespace tw::fuzz
