// The Externals setting: its entries and their interval suffixes.
#include <string>

#include "fuzz/fuzz.h"
#include "agent/ext/externals.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view in = tw::fuzz::text(data, size);
    for (const std::string& entry : tw::externalentries(in)) tw::parseexternal(entry);
    return 0;
}
