#include "editor/remoteselect.h"

#include <algorithm>

#include "agent/core/text.h"

namespace tw::editor {

namespace {

constexpr int kObjectWaitMs = 30000;

// Whether the text has an entry that begins with prefix: at its start or
// after a ";" and blanks. A mere substring (the tail of a longer path) is
// another program.
bool hasentry(std::string_view text, std::string_view prefix) {
    for (size_t at = text.find(prefix); at != std::string_view::npos;
         at = text.find(prefix, at + 1)) {
        size_t before = at;
        while (before > 0 && text[before - 1] == ' ') --before;
        if (before == 0 || text[before - 1] == ';') return true;
    }
    return false;
}

}  // namespace

std::optional<std::vector<std::string>> collectremotenames(platform::WmiConnection* cimv2,
                                                           std::string_view wql) {
    std::unique_ptr<platform::WmiEnumerator> e = cimv2 ? cimv2->query(wql) : nullptr;
    if (!e) return std::nullopt;
    std::vector<std::string> blocks(1);
    std::unique_ptr<platform::WmiObject> obj;
    while (e->next(kObjectWaitMs, obj) == platform::WmiNext::Object && obj) {
        std::optional<platform::WmiValue> v = obj->get("Name");
        if (!v || v->type != platform::WmiType::String) continue;
        if (blocks.back().size() > kNameBlockFull) {
            if (blocks.size() == kNameBlocksMax) break;
            blocks.emplace_back();
        }
        blocks.back() += v->s + ";";
    }
    if (blocks.back().empty()) blocks.pop_back();
    return blocks;
}

RemoteSelect::RemoteSelect(const std::vector<std::string>& blocks) {
    for (const std::string& block : blocks) {
        size_t start = 0;
        while (start < block.size()) {
            size_t end = block.find(';', start);
            if (end == std::string::npos) end = block.size();
            if (end > start) names.push_back(block.substr(start, end - start));
            start = end + 1;
        }
    }
    // The list keeps its entries sorted, without regard to case.
    std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return toLower(a) < toLower(b);
    });
}

void RemoteSelect::ok() {
    result = selected >= 0 && selected < static_cast<int>(names.size())
                 ? names[static_cast<size_t>(selected)]
                 : std::string();
}

std::string addexternalentry(std::string_view externals, std::string_view path) {
    std::string entry = std::string(path) + " /INT=";
    if (hasentry(externals, entry)) return std::string(externals);
    if (externals.empty()) return entry + "300";
    return entry + "300;" + std::string(externals);
}

}  // namespace tw::editor
