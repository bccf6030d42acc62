#include "base/testmode.h"
#include "platform/ascii.h"

namespace tw {

void TestModes::parse(std::string_view text) {
    entries_.clear();
    if (text.empty()) return;
    size_t start = 0;
    size_t colon = text.find(':', start);
    while (colon != std::string_view::npos && entries_.size() < 1024) {
        if (colon + 1 >= text.size()) break;  // a colon at the very end names no letter
        std::string_view name = text.substr(start, colon - start);
        if (name.size() > 256) name = name.substr(0, 256);
        entries_.push_back({std::string(name), text[colon + 1]});
        if (colon + 1 == text.size() - 1) break;
        start = colon + 3;
        if (start >= text.size()) break;
        colon = text.find(':', start);
    }
}

char TestModes::testmode(std::string_view name) const {
    for (const auto& e : entries_) {
        if (equalsNoCase(e.name, name)) {
            return upperAscii(e.mode);
        }
    }
    return 'P';
}

}  // namespace tw
