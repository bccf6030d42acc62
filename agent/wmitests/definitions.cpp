#include "agent/wmitests/definitions.h"

#include <algorithm>
#include <new>

namespace tw {

std::vector<std::string> splitdefinitions(std::string_view setting) {
    std::vector<std::string> out;
    size_t start = 0;
    while (true) {
        size_t bar = setting.find('|', start);
        std::string_view piece = setting.substr(
            start, bar == std::string_view::npos ? std::string_view::npos : bar - start);
        out.emplace_back(piece.substr(0, kDefinitionMax));
        if (bar == std::string_view::npos) return out;
        start = bar + 1;
    }
}

WmiTestDefinition readdefinition(std::string_view definition) {
    WmiTestDefinition def;
    std::string_view d = definition.substr(0, kDefinitionMax);
    def.text = d;

    std::string* const fields[6] = {&def.name, &def.datatype, &def.threshold,
                                    &def.perf, &def.query,    &def.pageformat};
    const size_t limits[6] = {kNameMax,       kDataTypeMax, kThresholdMax,
                              kPerfSwitchMax, kQueryMax,    kPageFormatMax};
    size_t pos = 0;
    for (int f = 0; f < 6; ++f) {
        while (pos < d.size() && d[pos] == ' ') ++pos;
        if (pos >= d.size()) break;
        size_t start, end, next;
        if (d[pos] == '"') {
            start = pos + 1;
            end = d.find('"', start);
            if (end == std::string_view::npos) end = d.size();
            next = end < d.size() ? end + 1 : end;  // past the closing quote
        } else {
            start = pos;
            end = d.find(' ', start);
            if (end == std::string_view::npos) end = d.size();
            next = end;
        }
        if (end - start > limits[f]) {
            fields[f]->assign(d.substr(start, limits[f]));
            break;
        }
        fields[f]->assign(d.substr(start, end - start));
        pos = next;
    }
    return def;
}

std::vector<WmiTestDefinition> readdefinitions(std::string_view setting) {
    std::vector<WmiTestDefinition> out;
    for (const std::string& piece : splitdefinitions(setting))
        if (!piece.empty()) out.push_back(readdefinition(piece));
    return out;
}

std::string valuename(std::string_view query) {
    if (query.size() <= 7) return {};
    std::string_view rest = query.substr(7);
    size_t start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos) return {};
    rest = rest.substr(start);
    return std::string(rest.substr(0, std::min(rest.find(' '), kValueNameMax)));
}

std::string defaultwmipool() {
    static const char* const kFormat = "\"Query: &query\r\n&value: %value%\"";
    static const char* const kRows[6][4] = {
        {"ChassisBootupState Numerical ", "4:5",
         " noperf \"select ChassisBootupState from Win32_ComputerSystem\" ", kFormat},
        {"PowerSupplyState Numerical ", "4:5",
         " noperf \"select PowerSupplyState from Win32_ComputerSystem\" ", kFormat},
        {"BaseboardStatus String ", "\"Unknown;Lost Comm;No Contact:Error;Pred Fail\"",
         " noperf \"select status from Win32_BaseBoard\" ", kFormat},
        {"BatteryStatus String ", "\"Unknown;Lost Comm;No Contact:Error;Pred Fail\"",
         " noperf \"select status from Win32_Battery\" ", kFormat},
        {"MotherBoardStatus String ", "\"Unknown;Lost Comm;No Contact:Error;Pred Fail\"",
         " noperf \"select status from Win32_MotherboardDevice\" ", kFormat},
        {"NumberOfProcessors Numerical ", "0:0",
         " noperf \"select NumberOfProcessors from Win32_ComputerSystem\" ", kFormat},
    };
    std::string pool;
    for (int i = 0; i < 6; ++i) {
        if (i > 0) pool += '|';
        for (const char* part : kRows[i]) pool += part;
    }
    return pool;
}

int replacetext(std::string& text, size_t capacity, std::string_view placeholder,
                std::string_view replacement) {
    if (capacity == 0 || placeholder.empty()) return 1;
    const std::string_view src = text;
    size_t at = src.find(placeholder);
    if (at == std::string_view::npos) return 0;
    try {
        const size_t max = capacity - 1;
        std::string out;
        auto append = [&](std::string_view piece) {
            if (out.size() + piece.size() > max) return false;
            out.append(piece);
            return true;
        };
        size_t from = 0;
        int result = 0;
        while (at != std::string_view::npos) {
            if (!append(src.substr(from, at - from)) || !append(replacement)) {
                result = 3;
                break;
            }
            from = at + placeholder.size();
            at = src.find(placeholder, from);
        }
        if (result == 0 && !append(src.substr(from))) result = 3;
        text = std::move(out);
        return result;
    } catch (const std::bad_alloc&) {
        return 2;
    }
}

}  // namespace tw
