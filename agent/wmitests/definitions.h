// The administrator's WMI test definitions as stored in WMITests and
// WMIPool: definitions separated by "|", each six blank-separated fields
//   name  datatype  threshold  perf|noperf  "select Prop from Class"  "page format"
// where a field that begins with a double quote runs to the next double
// quote. Also the default pool that installation writes and the
// placeholder replacement of page formats.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tw {

// Limits, in characters.
inline constexpr size_t kDefinitionMax = 2046;
inline constexpr size_t kNameMax = 1023;
inline constexpr size_t kDataTypeMax = 19;
inline constexpr size_t kThresholdMax = 2047;
inline constexpr size_t kPerfSwitchMax = 19;
inline constexpr size_t kQueryMax = 5119;
inline constexpr size_t kPageFormatMax = 5119;
inline constexpr size_t kValueNameMax = 127;

struct WmiTestDefinition {
    std::string text;  // the definition as read (at most kDefinitionMax characters)
    std::string name, datatype, threshold, perf, query, pageformat;

    // A name that begins with "#" makes the whole definition a comment.
    bool comment() const { return !name.empty() && name[0] == '#'; }
};

// The pieces of a setting between "|" separators, in order, the text after
// the last "|" included; empty pieces are kept (the runner ignores them).
// Each piece is cut to kDefinitionMax characters.
std::vector<std::string> splitdefinitions(std::string_view setting);

// Reads the six fields of one definition. Blanks before a field are skipped;
// missing fields are empty. A field that is still open at the end of the
// definition (no closing quote, or no blank after it) ends there. A field
// longer than its limit is cut at the limit and ends the definition: the
// fields after it are read as empty, so that the rest of an over-long field
// is never taken for the next fields.
WmiTestDefinition readdefinition(std::string_view definition);

// Every non-empty definition of a setting, read.
std::vector<WmiTestDefinition> readdefinitions(std::string_view setting);

// The property a query names: the first word after its first seven
// characters ("select" and a blank), at most kValueNameMax characters.
std::string valuename(std::string_view query);

// The WMIPool text that installation writes: six example definitions.
std::string defaultwmipool();

// Replaces every occurrence of placeholder in text, left to right, never
// letting the text hold more than capacity - 1 characters.
//   0  done, also when the placeholder does not occur
//   1  bad arguments: capacity 0 or an empty placeholder; text unchanged
//   2  out of memory; text unchanged
//   3  capacity reached: text is what was built before the piece that did
//      not fit
int replacetext(std::string& text, size_t capacity, std::string_view placeholder,
                std::string_view replacement);

}  // namespace tw
