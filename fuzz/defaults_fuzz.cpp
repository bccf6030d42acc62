// The Defaults setting: the threshold defaults (CPU, DISK, PAGEFILE).
#include <string>

#include "fuzz/fuzz.h"
#include "agent/tests/defaults.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view in = tw::fuzz::text(data, size);
    tw::parsedefaults(std::string(in));
    return 0;
}
