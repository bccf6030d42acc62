// The WMI class browser ("WMI Win32 Class Browser"): pick a Win32 class and
// one of its properties to get the query "select Property from Class"; and
// the class detail text that "Show Class" shows: a class's property names
// and the values of all its instances.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editor/form.h"
#include "editor/wmicontext.h"

namespace tw::editor {

// Limits of the lists and texts, in bytes of their collected form (each
// name followed by one separator).
inline constexpr size_t kClassListBytes = 102400;
inline constexpr size_t kPropertyListBytes = 51200;
inline constexpr size_t kPropertyNameMax = 127;
inline constexpr size_t kClassNameMax = 127;
inline constexpr size_t kClassDetailBytes = 22528;

// The non-system property names of a class, in the class's order; empty
// when the class is unknown or the query fails.
std::vector<std::string> classproperties(WmiContext& wmi, std::string_view className);

// The class detail text: "WMI Class <name>:", the property names joined by
// "|", and under "Values:" one line per instance with its 32-bit integer and
// string values joined by "|". Once the text grows past bufsize - 10240
// characters a line of dots ends it. Nothing when the class has no
// properties (or cannot be found); a failing instance query only ends the
// text early. The text holds at most bufsize - 1 characters.
std::optional<std::string> ClassDetail(WmiContext& wmi, std::string_view className,
                                       size_t bufsize = kClassDetailBytes);

class WMIBrowser : public Form {
  public:
    static constexpr const char* kCaption = "WMI Win32 Class Browser";
    // The controls: two lists, each under its label, and the query the
    // selection names (a static text).
    static constexpr const char* kClasses = "WMI Class Name";
    static constexpr const char* kProperties = "WMI Class Property";
    static constexpr const char* kQuery = "Query";

    // Opening: fills the class list with the Win32 classes of the target
    // machine (sorted) and the property list of the first one; the lists
    // stay empty when the queries fail. "OK": the query replaces the text
    // that query refers to (left alone while a list has no selection); the
    // browser closes. "Cancel" changes nothing.
    WMIBrowser(WmiContext& wmi, std::string& query);

    // The query the selection names: "select " property " from " class;
    // empty while a list has no selection.
    std::string queryText() const;

  private:
    // Another class selected: its properties fill the property list, the
    // first one selected.
    void classChosen();

    WmiContext& wmi_;
    std::string& query_;
};

}  // namespace tw::editor
