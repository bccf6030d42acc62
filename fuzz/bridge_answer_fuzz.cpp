// The remote client's reader of the bridge's answers, which another machine
// writes: each input line is read as an answer. A refused line says why; an
// accepted one holds objects whose every property can be read.
#include "fuzz/fuzz.h"
#include "platform/bridge/wmi_bridge.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tw::platform::bridge::AnswerReader reader;
    const std::string_view input = tw::fuzz::text(data, size);
    for (size_t pos = 0; pos <= input.size();) {
        size_t end = input.find('\n', pos);
        if (end == std::string_view::npos) end = input.size();
        std::string error;
        auto answer = reader.read(input.substr(pos, end - pos), &error);
        if (!answer) {
            TW_FUZZ_CHECK(!error.empty());
        } else {
            for (const auto& o : answer->objects) {
                TW_FUZZ_CHECK(o != nullptr);
                for (const auto& name : o->propertyNames()) (void)o->get(name);
            }
        }
        pos = end + 1;
    }
    return 0;
}
