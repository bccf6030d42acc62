// "New WMI Test": the dialog that edits one WMI test definition, offers the
// queries of the pool as starting points, checks the definition and runs
// its query once on the target machine ("Test Query"), and puts the
// finished row into the list of "WMI Test Configuration".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editor/uiport.h"
#include "editor/wmibrowser.h"
#include "editor/wmicontext.h"
#include "editor/wmitestrows.h"

namespace tw::editor {

// The queries of the pool entries that name "perf" or "noperf", in order.
std::vector<std::string> poolqueries(std::string_view pool);

class AddWMITest {
  public:
    static constexpr const char* kCaption = "New WMI Test";
    static constexpr const char* kDataTypes[2] = {"Numerical", "String"};
    // The control that takes the focus from "Threshold".
    static constexpr const char* kQueryField = "WMI Query";

    // Opening for "Add" (no row) or "Edit" (the row that was taken out of
    // the list at index editedAt). list is the list dialog's rows: names are
    // checked against it and the finished row is appended to it, so the list
    // must outlive the dialog. Queries run on the target machine of wmi;
    // messages go to its UI port.
    AddWMITest(std::vector<WmiTestRow>& list, std::string_view pool, WmiContext& wmi,
               std::optional<WmiTestRow> edited = std::nullopt, size_t editedAt = 0);

    // The fields, by their labels.
    std::string name;                       // "TW Test Name"
    std::string type;                       // "Data Type": "Numerical", "String", "" (none)
    std::string query;                      // "WMI Query" (the editable choice's text)
    std::vector<std::string> queryChoices;  // its list: "" and the pool's queries
    std::string threshold;                  // "Threshold" (read-only; see thresholdFocused)
    bool trend = false;                     // "Trend"
    bool trendEnabled = false;
    std::string pageformat;  // "TW Page Format", with real line breaks

    // An entry of the "WMI Query" list chosen: the test becomes the pool
    // definition of that query (or a blank String test).
    void chooseQuery(std::string_view chosen);
    // "Data Type" changed.
    void setType(std::string_view newType);

    // "Threshold" receives the focus: the focus moves to "WMI Query", and the
    // answer names the dialog to open on the "Threshold" text
    // (WMINumThreshold or WMIStrThreshold); None when no type is chosen yet
    // (a message has been shown).
    enum class ThresholdDialog { None, Numerical, String };
    ThresholdDialog thresholdFocused();

    // "Browser": the class browser, which sets this dialog's "WMI Query"
    // text on OK (the dialog stays in place while the browser is open).
    WMIBrowser browser();
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
    WmiTestRow collect() const;
    void show(const WmiTestRow& t);

    std::vector<WmiTestRow>& list_;
    std::string pool_;
    WmiContext& wmi_;
    std::optional<WmiTestRow> edited_;
    size_t editedAt_;
};

}  // namespace tw::editor
