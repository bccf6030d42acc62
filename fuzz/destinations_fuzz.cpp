// The destination lists (TWDISPLAY, TWPAGE): cleaning, splitting and one destination.
#include <string>

#include "fuzz/fuzz.h"
#include "agent/core/config.h"
#include "agent/transport/destination.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view in = tw::fuzz::text(data, size);
    // TWDISPLAY as the load cleans it, then as the status channel reads it.
    const std::string list = tw::cleandestinations(in);
    for (const std::string& entry : tw::splitdestinations(list)) {
        tw::Destination d = tw::parsedestination(entry, 1984);
        TW_FUZZ_CHECK(d.port != 0);
        tw::stripbrackets(d.host);
    }
    return 0;
}
