// The MemLevels setting: the physical-memory and commit-charge figures.
#include <string>

#include "fuzz/fuzz.h"
#include "agent/tests/mem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view in = tw::fuzz::text(data, size);
    tw::parsememlevels(in);
    return 0;
}
