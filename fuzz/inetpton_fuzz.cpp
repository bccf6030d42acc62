// The agent's inet_pton: both families on any text; what it accepts as
// IPv4 reads back the same when written out again.
#include <cstdio>
#include <string>

#include "agent/transport/inetpton.h"
#include "fuzz/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string in(tw::fuzz::text(data, size));
    unsigned char out[16];
    if (tw::inet_pton(tw::kAfInet, in.c_str(), out) == 1) {
        char again[16];
        std::snprintf(again, sizeof again, "%u.%u.%u.%u", out[0], out[1], out[2], out[3]);
        TW_FUZZ_CHECK(in.c_str() == std::string(again));
    }
    tw::inet_pton(tw::kAfInet6, in.c_str(), out);
    TW_FUZZ_CHECK(tw::inet_pton(7, in.c_str(), out) == -1);
    return 0;
}
