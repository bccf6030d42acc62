#include "editor/wmitestrows.h"

#include <cstdint>

#include "platform/ascii.h"
#include "agent/wmitests/definitions.h"

namespace tw::editor {

namespace {

bool isblankc(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Reads one field from pos: skips blanks, then takes the text up to the
// delimiter (or the end); pos moves past the delimiter.
std::string_view field(std::string_view e, size_t& pos, char delimiter) {
    while (pos < e.size() && e[pos] == ' ') ++pos;
    size_t start = pos;
    size_t end = e.find(delimiter, start);
    if (end == std::string_view::npos) end = e.size();
    pos = end < e.size() ? end + 1 : end;
    return e.substr(start, end - start);
}

std::string withoutquotes(std::string_view s) {
    std::string out;
    for (char c : s)
        if (c != '"') out += c;
    return out;
}

}  // namespace

std::string linebreakstosequences(std::string_view text) {
    std::string out(text);
    replacetext(out, SIZE_MAX, "\r\n", "\\r\\n");
    return out;
}

std::string sequencestolinebreaks(std::string_view text) {
    std::string out(text);
    replacetext(out, SIZE_MAX, "\\r\\n", "\r\n");
    return out;
}

std::string trimmed(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && isblankc(text[b])) ++b;
    while (e > b && isblankc(text[e - 1])) --e;
    return std::string(text.substr(b, e - b));
}

WmiTestRow parsewmitestentry(std::string_view e, bool sequences) {
    WmiTestRow row;
    size_t pos = 0;
    row.name = field(e, pos, ' ');
    row.type = field(e, pos, ' ');

    while (pos < e.size() && e[pos] == ' ') ++pos;
    std::string_view threshold;
    if (pos < e.size() && e[pos] == '"') {
        ++pos;
        threshold = field(e, pos, '"');
    } else {
        threshold = field(e, pos, ' ');
    }
    row.threshold = trimmed(withoutquotes(threshold));
    if (equalsNoCase(row.threshold, "NA")) row.threshold.clear();

    row.trend.assign(1, equalsNoCase(trimmed(field(e, pos, ' ')), "perf") ? 'Y' : 'N');

    size_t open = e.find('"', pos);
    if (open != std::string_view::npos) {
        pos = open + 1;
        row.query = field(e, pos, '"');
    }

    std::string pageformat = withoutquotes(trimmed(e.substr(pos)));
    row.pageformat = sequences ? linebreakstosequences(pageformat) : pageformat;
    return row;
}

std::vector<WmiTestRow> parsewmitests(std::string_view setting) {
    std::vector<WmiTestRow> rows;
    size_t start = 0;
    while (start <= setting.size()) {
        size_t bar = setting.find('|', start);
        if (bar == std::string_view::npos) bar = setting.size();
        std::string entry = trimmed(setting.substr(start, bar - start));
        if (!entry.empty()) rows.push_back(parsewmitestentry(entry, true));
        start = bar + 1;
    }
    return rows;
}

std::string composewmitests(const std::vector<WmiTestRow>& rows) {
    std::string out;
    for (size_t i = 0; i < rows.size(); ++i) {
        const WmiTestRow& r = rows[i];
        if (i > 0) out += '|';
        std::string threshold = trimmed(r.threshold);
        out += trimmed(r.name) + " " + trimmed(r.type) + " \"" +
               (threshold.empty() ? std::string("NA") : threshold) + "\" " +
               (r.trend == "Y" ? "perf" : "noperf") + " " + trimmed("\"" + r.query + "\"") + " \"" +
               sequencestolinebreaks(r.pageformat) + "\"";
    }
    return out;
}

}  // namespace tw::editor
