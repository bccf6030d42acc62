// The IgnoreMsgs setting: its pattern automaton and a match.
#include <string>

#include "fuzz/fuzz.h"
#include "agent/tests/msgs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view in = tw::fuzz::text(data, size);
    // The patterns before the first zero byte, a text to look in after it.
    auto [patterns, message] = tw::fuzz::split(in);
    tw::IgnoreList list(patterns);
    list.matches(message);
    return 0;
}
