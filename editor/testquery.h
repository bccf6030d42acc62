// What "Test Query" and "OK" of the WMI test dialog check before a
// definition may join the list, the single run of its query on the target
// machine, and the preview of its page format.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editor/wmitestrows.h"
#include "editor/wmicontext.h"

namespace tw::editor {

// The first problem of a definition (page format with real line breaks),
// checked in this order: empty texts, a blank in the name, a name that a
// row of the list already has, the threshold for its type, the query's
// form; nothing when there is none.
std::optional<std::string> checkwmitest(const WmiTestRow& t, const std::vector<WmiTestRow>& list);

// The threshold rules alone: "yellow:red" or the band
// "minred:minyel::maxyel:maxred" for Numerical, "yellow:red" for String.
// An expression side is checked by the agent's own expression check.
std::optional<std::string> checkwmithreshold(std::string_view type, std::string_view threshold);

// A query of the form "select oneobject from ...".
std::optional<std::string> checkwmiquery(std::string_view query);

// The blank-separated words of a text, at most max of them.
std::vector<std::string> firstwords(std::string_view text, size_t max);

struct WmiQueryRun {
    bool ok = false;
    std::string value;   // the values of all objects joined with "|"
    std::string reason;  // why the run failed
};

// The value text holds at most this many characters.
inline constexpr size_t kQueryValueMax = 20479;
// A property name longer than this is a format error.
inline constexpr size_t kQueryPropertyMax = 1023;

// Runs a query once on the current ROOT\CIMV2 connection of the target
// machine and gathers the property it names from every object: 32-bit
// integers in decimal, strings as they are, other types as nothing.
WmiQueryRun runwmiquery(WmiContext& wmi, std::string_view query);

// The page format (real line breaks) with its placeholders filled from the
// definition and the run's value text.
std::string previewtext(const WmiTestRow& t, std::string_view value);

}  // namespace tw::editor
