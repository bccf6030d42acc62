// The WMI fixture reader (JSON): any text ends in a usable fixture or in a
// reason, never in a crash, whatever its nesting.
#include <string>

#include "fuzz/fuzz.h"
#include "platform/wmi/fixture_wmi_provider.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tw::platform::fixtureTextError(std::string(tw::fuzz::text(data, size)));
    return 0;
}
