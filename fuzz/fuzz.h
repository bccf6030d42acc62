// What the fuzz targets share: the input as text, and a check that stops
// the run (a finding) when a parser breaks one of its own promises.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace tw::fuzz {

inline std::string_view text(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Splits the input at its first zero byte: two texts for parsers that take two.
inline std::pair<std::string_view, std::string_view> split(std::string_view in) {
    size_t z = in.find('\0');
    if (z == std::string_view::npos) return {in, {}};
    return {in.substr(0, z), in.substr(z + 1)};
}

[[noreturn]] inline void broken(const char* what) {
    std::fprintf(stderr, "promise broken: %s\n", what);
    std::abort();
}

}  // namespace tw::fuzz

#define TW_FUZZ_CHECK(cond)                     \
    do {                                        \
        if (!(cond)) ::tw::fuzz::broken(#cond); \
    } while (0)
