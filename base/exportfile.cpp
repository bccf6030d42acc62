#include "base/exportfile.h"

#include "base/text.h"

namespace tw {

// The order names each of the table's settings once.
static_assert([] {
    bool seen[kNoSetting] = {};
    for (const char* name : kExportOrder) {
        const size_t i = settingindex(name);
        if (i == kNoSetting || seen[i]) return false;
        seen[i] = true;
    }
    return sizeof kExportOrder / sizeof kExportOrder[0] == kNoSetting;
}());

std::string exportLine(std::string_view name, std::string_view text) {
    std::string out;
    out.reserve(name.size() + text.size() + 3);
    out += '[';
    out += name;
    out += ']';
    out += text;
    out += '\n';
    return out;
}

bool exportSpansLines(const SettingDef& setting) {
    return &setting == findsetting("WMITests") || &setting == findsetting("WMIPool");
}

namespace {

// The setting a line starts, when it starts one: "[name]" with a name of
// the table. nameOut gets what stands between the brackets of any
// "[...]" start.
const SettingDef* startsSetting(std::string_view line, std::string& nameOut) {
    nameOut.clear();
    if (line.empty() || line[0] != '[') return nullptr;
    const size_t close = line.find(']');
    if (close == std::string_view::npos) return nullptr;
    nameOut = std::string(line.substr(1, close - 1));
    return findsetting(nameOut);
}

}  // namespace

std::optional<std::vector<ExportEntry>> readExportText(std::string_view file,
                                                       ExportReadError* error) {
    std::vector<ExportEntry> entries;
    auto fail = [&](int line, std::string what) {
        if (error) *error = {line, std::move(what)};
        return std::nullopt;
    };
    int number = 0;
    size_t at = 0;
    while (at < file.size()) {
        ++number;
        size_t end = file.find('\n', at);
        std::string_view line = file.substr(at, end == std::string_view::npos ? end : end - at);
        at = end == std::string_view::npos ? file.size() : end + 1;
        // Text mode: the CR of a CR LF is the line end's, not the text's.
        if (end != std::string_view::npos && !line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.find('\0') != std::string_view::npos)
            return fail(number, "a zero byte; the file is not an export file");
        std::string name;
        const SettingDef* setting = startsSetting(line, name);
        if (setting) {
            for (const ExportEntry& e : entries)
                if (e.setting == setting) {
                    std::string why = "[";
                    why += name;
                    why += "] again (line ";
                    why += std::to_string(e.line);
                    why += " gave ";
                    why += e.name;
                    why += " already)";
                    return fail(number, why);
                }
            entries.push_back({setting, name, std::string(line.substr(name.size() + 2)), number});
            continue;
        }
        if (line.size() > 1 && line[0] == '[' && line.find(']') != std::string_view::npos) {
            // Built by appending: GCC 12's -O3 for 32-bit Windows takes "[" + a
            // temporary for an overlapping copy (-Wrestrict).
            std::string why = "[";
            why += visibleText(name);
            why += "] is not one of the agent's settings";
            return fail(number, why);
        }
        if (entries.empty() || !exportSpansLines(*entries.back().setting))
            return fail(number, "not a setting's line (\"[name]text\")");
        entries.back().text += '\n';
        entries.back().text += line;
    }
    return entries;
}

}  // namespace tw
