// The two small dialogs that compose a WMI test's threshold, as forms:
// "Numerical Threshold" (Warning and Panic expressions, or with "or" the
// four figures of a band) and "String Threshold" (Warning and Panic lists).
// Each is opened on the "Threshold" text of "New WMI Test" and replaces it
// on OK; the close box and Escape are "Cancel".
#pragma once

#include <string>

#include "editor/form.h"
#include "editor/uiport.h"

namespace tw::editor {

class WMINumThreshold : public Form {
  public:
    static constexpr const char* kCaption = "Numerical Threshold";
    // The controls, by their labels. While "or" is set the four range
    // fields are enabled and "Warning"/"Panic" disabled; while clear, the
    // reverse.
    static constexpr const char* kWarning = "Warning";
    static constexpr const char* kPanic = "Panic";
    static constexpr const char* kOr = "or";
    static constexpr const char* kPanicMin = "Panic Min Value";
    static constexpr const char* kWarningMin = "Warning Min Value";
    static constexpr const char* kWarningMax = "Warning Max Value";
    static constexpr const char* kPanicMax = "Panic Max Value";

    // Opening: a band "minred:minyel::maxyel:maxred" fills the four range
    // fields and sets "or"; any other text fills Warning and Panic from
    // either side of its first ":". The text must outlive the dialog.
    WMINumThreshold(std::string& threshold, UiPort& ui);

    // "OK": checks the fields; on success the composed threshold replaces
    // the "Threshold" text and the answer is true (close). A problem is
    // shown and the dialog stays.
    bool ok();

  private:
    void showOr(bool on);

    std::string& threshold_;
    UiPort& ui_;
};

class WMIStrThreshold : public Form {
  public:
    static constexpr const char* kCaption = "String Threshold";
    static constexpr const char* kWarning = "Warning String(s)";
    static constexpr const char* kPanic = "Panic String(s)";
    // The hint under the fields (a static text named by its text).
    static constexpr const char* kHint = "Use ; to separate multiple strings";

    // Opening: a text with ":" after its first character is split there.
    WMIStrThreshold(std::string& threshold, UiPort& ui);

    // "OK": both lists are required; warning ":" panic replaces the
    // "Threshold" text and the answer is true (close).
    bool ok();

  private:
    std::string& threshold_;
    UiPort& ui_;
};

}  // namespace tw::editor
