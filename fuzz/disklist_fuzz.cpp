// The DiskList setting: its drive letters and their entries.
#include <string>

#include "fuzz/fuzz.h"
#include "platform/ascii.h"
#include "agent/tests/disk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view in = tw::fuzz::text(data, size);
    // The DiskList as the load keeps it, with each drive entry it names.
    const std::string list = tw::toUpper(std::string(in));
    for (char letter : tw::disklistletters(list)) {
        size_t at = list.find(std::string(1, letter) + ":");
        if (at == std::string::npos) continue;
        tw::parsediskentry(list, at, 95);
        tw::missingdrivecolour(list, at);
    }
    return 0;
}
