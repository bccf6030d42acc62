// The Services setting: the service entries.
#include <string>

#include "fuzz/fuzz.h"
#include "agent/tests/svcs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view in = tw::fuzz::text(data, size);
    for (const tw::ServiceEntry& e : tw::parseservices(in)) tw::servicekey(e.name);
    return 0;
}
