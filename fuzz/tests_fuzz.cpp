// The Tests setting: the test mode table and its lookups.
#include <string>

#include "base/testmode.h"
#include "fuzz/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view in = tw::fuzz::text(data, size);
    tw::TestModes modes;
    modes.parse(in);
    for (const char* name : {"procs", "msgs", "cpu", "disk", "netprotl", "netprol", "mem",
                             "pagefile", "svcs", "netdata", "wmitest"})
        modes.testmode(name);
    return 0;
}
