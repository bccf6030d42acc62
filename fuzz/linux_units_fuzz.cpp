// The parsers of systemctl list-units and list-unit-files (the /sys-backed service list).
#include "fuzz/fuzz.h"
#include "platform/posix/linux_sources.h"

namespace L = tw::platform::linuxsrc;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view in = tw::fuzz::text(data, size);
    // list-units before the first zero byte, list-unit-files after it.
    auto [units, files] = tw::fuzz::split(in);
    L::parseListUnits(units);
    L::parseListUnitFiles(files);
    return 0;
}
