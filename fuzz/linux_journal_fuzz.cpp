// The Key=Value parser and the journal record mapping.
#include "fuzz/fuzz.h"
#include "platform/posix/linux_sources.h"

namespace L = tw::platform::linuxsrc;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view in = tw::fuzz::text(data, size);
    // "Key=Value" lines (systemctl show) read as one journal record.
    auto fields = L::parseKeyValues(in);
    L::mapJournalRecord(fields, static_cast<int64_t>(in.size()) * 1000003);
    return 0;
}
