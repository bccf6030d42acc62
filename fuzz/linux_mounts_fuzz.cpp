// The /proc/self/mounts parser (octal escapes) and the drive kind of each mount.
#include "fuzz/fuzz.h"
#include "platform/posix/linux_sources.h"

namespace L = tw::platform::linuxsrc;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view in = tw::fuzz::text(data, size);
    // With what the disk classes make of each mount.
    for (const L::MountEntry& m : L::parseMounts(in)) {
        L::driveTypeOf(m, false);
        L::driveTypeOf(m, true);
        L::blockDeviceOf(m.source);
    }
    return 0;
}
