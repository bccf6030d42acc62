// The plugin work-file reader: the file's text, its sections and the status
// message of each, as the plugin thread builds them.
#include <string>

#include "agent/ext/plugin.h"
#include "fuzz/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = tw::worktext(tw::fuzz::text(data, size));
    for (std::string_view section : tw::worksections(text)) {
        auto msg =
            tw::statusmessage(std::string(section.substr(0, tw::kSectionLimit)), "DISKX", "WEB1");
        if (msg) TW_FUZZ_CHECK(msg->rfind("status", 0) == 0);
    }
    return 0;
}
