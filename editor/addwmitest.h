// "New WMI Test": the dialog that edits one WMI test definition, offers the
// queries of the pool as starting points, checks the definition and runs
// its query once on the target machine ("Test Query"), and puts the
// finished row into the list of "WMI Test Configuration"; as a form.
// "Threshold" opens the threshold dialog of the data type when it receives
// the focus, "Browser" the class browser (sub()).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editor/form.h"
#include "editor/uiport.h"
#include "editor/wmicontext.h"
#include "editor/wmitestrows.h"

namespace tw::editor {

// The queries of the pool entries that name "perf" or "noperf", in order.
std::vector<std::string> poolqueries(std::string_view pool);

class AddWMITest : public Form {
  public:
    static constexpr const char* kCaption = "New WMI Test";
    static constexpr const char* kDataTypes[2] = {"Numerical", "String"};
    // The controls, by their labels.
    static constexpr const char* kName = "TW Test Name";
    static constexpr const char* kType = "Data Type";             // kDataTypes
    static constexpr const char* kQueryField = "WMI Query";       // "" and the pool's queries
    static constexpr const char* kThreshold = "Threshold";        // read-only, see below
    static constexpr const char* kTrend = "Trend";                // Numerical only
    static constexpr const char* kPageFormat = "TW Page Format";  // real line breaks
    static constexpr const char* kTestQuery = "Test Query";
    static constexpr const char* kBrowser = "Browser";
    static constexpr const char* kShowClass = "Show Class";

    // Opening for "Add" (no row) or "Edit" (the row that was taken out of
    // the list at index editedAt). list is the list dialog's rows: names are
    // checked against it and the finished row is appended to it, so the list
    // must outlive the dialog. Queries run on the target machine of wmi;
    // messages go to its UI port. The close box and Escape are "Cancel".
    //
    // "Threshold" receiving the focus: the focus moves to "WMI Query", and
    // the threshold dialog of the data type opens on the "Threshold" text
    // (a message instead while no type is chosen).
    AddWMITest(std::vector<WmiTestRow>& list, std::string_view pool, WmiContext& wmi,
               std::optional<WmiTestRow> edited = std::nullopt, size_t editedAt = 0);

    // An entry of the "WMI Query" list chosen: the test becomes the pool
    // definition of that query (or a blank String test).
    void chooseQuery(std::string_view chosen);
    // "Data Type" changed.
    void setType(std::string_view newType);
    // "Show Class": the class detail of the query's class, after asking.
    void showClass();
    // "Test Query": checks and runs the test, showing the first problem or
    // the preview.
    bool testQuery();
    // "OK": true when the row was appended at the end of the list (close);
    // otherwise a message was shown and the dialog stays.
    bool ok();
    // "Cancel": an edited row goes back unchanged to where it was; a new
    // test adds nothing.
    void cancel();

    // Checks a definition (page format with real line breaks) and runs its
    // query once; with showMessages the first problem, or the preview, is
    // shown.
    bool TestQuery(const WmiTestRow& t, bool showMessages);

  private:
    ViewStep thresholdFocused();
    WmiTestRow collect() const;
    void show(const WmiTestRow& t);

    std::vector<WmiTestRow>& list_;
    std::string pool_;
    WmiContext& wmi_;
    std::optional<WmiTestRow> edited_;
    size_t editedAt_;
};

}  // namespace tw::editor
