// The two small dialogs that compose a WMI test's threshold: "Numerical
// Threshold" (Warning and Panic expressions, or with "or" the four figures
// of a band) and "String Threshold" (Warning and Panic lists). Each is
// opened on the "Threshold" text of "New WMI Test" and replaces it on OK.
#pragma once

#include <string>

#include "editor/uiport.h"

namespace tw::editor {

class WMINumThreshold {
  public:
    static constexpr const char* kCaption = "Numerical Threshold";

    // Opening: a band "minred:minyel::maxyel:maxred" fills the four range
    // fields and sets "or"; any other text fills Warning and Panic from
    // either side of its first ":".
    WMINumThreshold(std::string& threshold, UiPort& ui);

    // The fields, by their labels.
    std::string warning;     // "Warning"
    std::string panic;       // "Panic"
    bool orSet = false;      // "or"
    std::string panicMin;    // "Panic Min Value"
    std::string warningMin;  // "Warning Min Value"
    std::string warningMax;  // "Warning Max Value"
    std::string panicMax;    // "Panic Max Value"

    // "or" toggled. While it is set the four range fields are enabled and
    // "Warning"/"Panic" disabled; while clear, the reverse.
    void setOr(bool on) { orSet = on; }
    bool rangeFieldsEnabled() const { return orSet; }
    bool warningPanicEnabled() const { return !orSet; }

    // "OK": checks the fields; on success the composed threshold replaces
    // the "Threshold" text and the answer is true (close). A problem is
    // shown and the dialog stays.
    bool ok();

  private:
    std::string& threshold_;
    UiPort& ui_;
};

class WMIStrThreshold {
  public:
    static constexpr const char* kCaption = "String Threshold";
    static constexpr const char* kHint = "Use ; to separate multiple strings";

    // Opening: a text with ":" after its first character is split there.
    WMIStrThreshold(std::string& threshold, UiPort& ui);

    std::string warning;  // "Warning String(s)"
    std::string panic;    // "Panic String(s)"

    // "OK": both lists are required; warning ":" panic replaces the
    // "Threshold" text and the answer is true (close).
    bool ok();

  private:
    std::string& threshold_;
    UiPort& ui_;
};

}  // namespace tw::editor
