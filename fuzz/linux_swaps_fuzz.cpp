// The /proc/swaps parser.
#include "fuzz/fuzz.h"
#include "platform/posix/linux_sources.h"

namespace L = tw::platform::linuxsrc;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view in = tw::fuzz::text(data, size);
    L::parseSwaps(in);
    return 0;
}
