// Test doubles for the WMI layer: the platform of fakes with the fixture
// provider over a temporary file, on the manual clock (in a chosen zone),
// and reading a file whole.
#pragma once

#include <fstream>
#include <string>

#include "test/support/fake_platform.h"

namespace tw::testing {

// A platform whose WMI is the fixture provider over the JSON text, on the
// manual clock at 2012-10-05 14:30:00 UTC in the zone "TST", zoneMinutes
// east of UTC.
struct FixturePlatform : FakePlatform {
    explicit FixturePlatform(const std::string& json, int zoneMinutes = 0) : FakePlatform(json) {
        clock.set(1349447400);
        clock.utcOffset = zoneMinutes * 60L;
        clock.zone = "TST";
    }
};

// Reads a whole file (the diagnostic log in tests).
inline std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace tw::testing
