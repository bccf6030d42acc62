// The MsgLevels setting: its sources and their level entries.
#include <string>

#include "fuzz/fuzz.h"
#include "agent/tests/msgs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view in = tw::fuzz::text(data, size);
    // As the load hands it over: normalised (upper case), then every source.
    const std::string levels = tw::normalisemsglevels(in);
    for (const tw::LogSource& s : tw::msgsources(levels)) tw::parselevels(levels, s.key);
    return 0;
}
