// Test doubles for the WMI layer: a platform wired to the fixture provider
// over a temporary file, on the manual clock (in a chosen zone), and reading
// a file whole.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/wmi/fixture_wmi_provider.h"
#include "test/support/fake_platform.h"

namespace tw::testing {

// A platform whose WMI is the fixture provider over a file in a temporary
// directory, with settings in memory.
struct FixturePlatform {
    TempDir dir;
    ManualClock clock{1349447400};  // 2012-10-05 14:30:00 UTC
    std::unique_ptr<platform::SettingsStore> store;
    std::unique_ptr<platform::WmiProvider> provider;
    platform::Platform p;

    explicit FixturePlatform(const std::string& json, int zoneMinutes = 0) {
        clock.utcOffset = zoneMinutes * 60L;
        clock.zone = "TST";
        writeFile(fixture(), json);
        store = std::make_unique<MemorySettingsStore>();
        provider = platform::makeFixtureWmiProvider(fixture(), clock, *store);
        p.settings = store.get();
        p.clock = &clock;
        p.wmi = provider.get();
    }
    std::string fixture() const { return dir.file("wmi.json"); }
};

// Reads a whole file (the diagnostic log in tests).
inline std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace tw::testing
