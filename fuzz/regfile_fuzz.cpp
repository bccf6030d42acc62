// The registry export reader: whatever a parse accepts, writing it out and
// reading that again gives the same file.
#include "fuzz/fuzz.h"
#include "platform/wmi/regfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tw::platform::RegParseError error;
    auto tree = tw::platform::parseRegFile(tw::fuzz::text(data, size), &error);
    if (!tree) return 0;
    const std::string once = tw::platform::writeRegFile(*tree);
    auto again = tw::platform::parseRegFile(once, &error);
    TW_FUZZ_CHECK(again);
    TW_FUZZ_CHECK(tw::platform::writeRegFile(*again) == once);
    return 0;
}
