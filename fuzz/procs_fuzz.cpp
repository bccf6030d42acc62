// The Procs setting: the process list items.
#include <string>

#include "fuzz/fuzz.h"
#include "agent/tests/procs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view in = tw::fuzz::text(data, size);
    tw::parseprocs(in);
    return 0;
}
