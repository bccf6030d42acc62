// The NetworkInterfaces setting: the interface limits.
#include <string>

#include "fuzz/fuzz.h"
#include "agent/tests/netdata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view in = tw::fuzz::text(data, size);
    tw::parseinterfaces(in);
    return 0;
}
