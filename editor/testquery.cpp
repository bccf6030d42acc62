#include "editor/testquery.h"

#include "platform/ascii.h"
#include "agent/wmitests/definitions.h"
#include "agent/wmitests/threshold.h"

namespace tw::editor {

namespace {

constexpr char kYellowRed[] =
    "The threshold format is not correct, the format should be as 'yellow:red'.";
constexpr char kYellowRedOrBand[] =
    "The threshold format is not correct, the format should be as 'yellow:red' or "
    "'minred:minyel::maxyel:maxred'.";
constexpr char kOneObject[] = "Query must follow the format of 'select oneobject from...'";

// The preview is cut where the agent cuts an expanded page format.
constexpr size_t kPreviewCapacity = 51200;

bool has(std::string_view s, char c) {
    return s.find(c) != std::string_view::npos;
}

bool allnumberchars(std::string_view s) {
    for (char c : s)
        if (!(c >= '0' && c <= '9') && c != '.') return false;
    return true;
}

bool isspacec(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::optional<std::string> checkexpressions(std::string_view threshold) {
    size_t colon = threshold.find(':');
    if (colon == std::string_view::npos) return kYellowRed;
    std::string_view warning = threshold.substr(0, colon), panic = threshold.substr(colon + 1);
    if (auto m = checkexpression(warning)) return m;
    if (auto m = checkexpression(panic)) return m;
    const bool wbang = has(warning, '!'), pbang = has(panic, '!');
    if (wbang && !panic.empty())
        return "The Panic threshold should be empty if '!' is defined for Warning";
    if (pbang && !warning.empty())
        return "The Warning threshold should be empty if '!' is defined for Panic";
    if (!wbang && panic.empty()) return "The Panic threshold is empty.";
    if (!pbang && warning.empty()) return "The Warning threshold is empty.";
    return std::nullopt;
}

std::optional<std::string> checkband(std::string_view threshold, size_t sep) {
    const std::string_view sides[2] = {threshold.substr(0, sep), threshold.substr(sep + 2)};
    const char* const names[4] = {"minred", "minyel", "maxyel", "maxred"};
    std::string_view figures[4];
    for (int s = 0; s < 2; ++s) {
        size_t colon = sides[s].find(':');
        if (colon == std::string_view::npos) return kYellowRedOrBand;
        figures[2 * s] = sides[s].substr(0, colon);
        figures[2 * s + 1] = sides[s].substr(colon + 1);
        for (int f = 2 * s; f < 2 * s + 2; ++f)
            if (!allnumberchars(figures[f]))
                return std::string("The threshold format is not correct: use number for ") +
                       names[f] + ".";
    }
    double v[4];
    for (int f = 0; f < 4; ++f) v[f] = readnumber(figures[f]);
    if (!(v[0] < v[1] && v[1] < v[2] && v[2] < v[3]))
        return "The threshold format is not correct: check the values.";
    return std::nullopt;
}

// The Warning and Panic texts a preview shows for a threshold.
void previewthresholds(std::string_view threshold, std::string& warning, std::string& panic) {
    size_t sep = threshold.find("::");
    if (sep == std::string_view::npos || sep == 0) {
        size_t colon = threshold.find(':');
        warning = threshold.substr(0, colon);
        panic = colon == std::string_view::npos ? "" : threshold.substr(colon + 1);
        return;
    }
    std::string_view left = threshold.substr(0, sep), right = threshold.substr(sep + 2);
    // "[" left "][" right "]" with every ":" a ",".
    warning.assign(1, '[');
    for (std::string_view side : {left, right}) {
        if (warning.size() > 1) warning.append(1, ']').append(1, '[');
        for (char c : side) warning.push_back(c == ':' ? ',' : c);
    }
    warning.push_back(']');
    // "(," minred "][" maxred ",)".
    size_t rc = right.find(':');
    panic.assign(1, '(').append(1, ',').append(left.substr(0, left.find(':')));
    panic.append(1, ']').append(1, '[');
    if (rc != std::string_view::npos) panic.append(right.substr(rc + 1));
    panic.append(1, ',').append(1, ')');
}

}  // namespace

std::vector<std::string> firstwords(std::string_view text, size_t max) {
    std::vector<std::string> words;
    size_t i = 0;
    while (words.size() < max) {
        while (i < text.size() && isspacec(text[i])) ++i;
        if (i >= text.size()) break;
        size_t start = i;
        while (i < text.size() && !isspacec(text[i])) ++i;
        words.emplace_back(text.substr(start, i - start));
    }
    return words;
}

std::optional<std::string> checkwmithreshold(std::string_view type, std::string_view threshold) {
    if (equalsNoCase(type, "String")) {
        size_t colon = threshold.find(':');
        if (colon == std::string_view::npos) return kYellowRed;
        if (threshold.find(':', colon + 1) != std::string_view::npos) return kYellowRedOrBand;
        return std::nullopt;
    }
    size_t sep = threshold.find("::");
    if (sep == std::string_view::npos) return checkexpressions(threshold);
    return checkband(threshold, sep);
}

std::optional<std::string> checkwmiquery(std::string_view query) {
    std::vector<std::string> w = firstwords(query, 3);
    w.resize(3);
    if (!equalsNoCase(w[0], "select")) return "Query must start with 'select'";
    if ((!w[1].empty() && w[1][0] == '*') || has(w[1], ',') || !equalsNoCase(w[2], "from"))
        return kOneObject;
    return std::nullopt;
}

std::optional<std::string> checkwmitest(const WmiTestRow& t, const std::vector<WmiTestRow>& list) {
    if (t.name.empty()) return "TW Test Name is empty";
    if (t.type.empty()) return "Data type is not selected";
    if (t.threshold.empty()) return "Threshold is empty";
    if (t.query.empty()) return "WMI Query is empty";
    if (t.pageformat.empty()) return "TW Page Format is empty";
    if (t.name.find(' ', 1) != std::string::npos) return "No space is allowed in TW Test Name";
    for (const WmiTestRow& row : list) {
        // The whole first word counts, so that long names are compared too.
        std::vector<std::string> first = firstwords(row.name, 1);
        if (!first.empty() && equalsNoCase(first[0], t.name))
            return "The Test Name has already been defined.";
    }
    if (auto m = checkwmithreshold(t.type, t.threshold)) return m;
    if (auto m = checkwmiquery(t.query)) return m;
    // "|" separates definitions and a double quote ends a field in the
    // stored text: either would break the definition apart on the next load
    // and in the agent.
    const std::pair<const char*, const std::string*> texts[4] = {{"TW Test Name", &t.name},
                                                                 {"Threshold", &t.threshold},
                                                                 {"WMI Query", &t.query},
                                                                 {"TW Page Format", &t.pageformat}};
    for (const auto& [label, text] : texts)
        if (has(*text, '|') || has(*text, '"'))
            return std::string("No '|' or '\"' is allowed in ") + label;
    return std::nullopt;
}

WmiQueryRun runwmiquery(WmiContext& wmi, std::string_view query) {
    WmiQueryRun run;
    size_t start = 7;
    while (start < query.size() && query[start] == ' ') ++start;
    std::string property;
    if (start < query.size()) property = query.substr(start, query.find(' ', start) - start);
    if (property.size() > kQueryPropertyMax) {
        run.reason = "format error";
        return run;
    }
    bool unreadable = false;
    QueryStatus status = wmi.forEachObject(query, [&](const platform::WmiObject& obj) {
        std::optional<platform::WmiValue> v = obj.get(property);
        if (!v) {
            unreadable = true;
            return false;
        }
        if (!run.value.empty()) run.value += '|';
        if (v->type == platform::WmiType::Int32)
            run.value += std::to_string(v->i);
        else if (v->type == platform::WmiType::String)
            run.value += v->s;
        if (run.value.size() > kQueryValueMax) run.value.resize(kQueryValueMax);
        return true;
    });
    if (status == QueryStatus::NotConnected || status == QueryStatus::QueryFailed) {
        run.reason = "Can't run ExecQuery";
    } else if (status == QueryStatus::FetchFailed) {
        run.reason = "Can't get the object: " + property;
    } else if (unreadable) {
        run.value.clear();
        run.reason = "Can't handle the query: define one query object only.";
    } else {
        run.ok = true;
    }
    return run;
}

std::string previewtext(const WmiTestRow& t, std::string_view value) {
    std::vector<std::string> words = firstwords(t.query, 2);
    words.resize(2);
    std::string warning, panic;
    previewthresholds(t.threshold, warning, panic);
    const std::pair<const char*, std::string_view> replacements[6] = {
        {"&query", t.query},
        {"%value%", value},
        {"&value", words[1]},
        {"%thresholds%", t.threshold},
        {"%warningthreshold%", warning},
        {"%panicthreshold%", panic}};
    std::string text = t.pageformat;
    for (const auto& [placeholder, replacement] : replacements)
        replacetext(text, kPreviewCapacity, placeholder, replacement);
    return text;
}

}  // namespace tw::editor
