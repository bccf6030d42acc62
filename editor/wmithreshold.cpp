#include "editor/wmithreshold.h"

#include "agent/wmitests/threshold.h"
#include "editor/wmitestrows.h"

namespace tw::editor {

namespace {

// The text before and after the first ":" at or after from; all of it and
// nothing when there is none.
void splitat(const std::string& text, size_t from, std::string& before, std::string& after) {
    size_t colon = text.find(':', from);
    before = text.substr(0, colon);
    after = colon == std::string::npos ? "" : text.substr(colon + 1);
}

}  // namespace

WMINumThreshold::WMINumThreshold(std::string& threshold, UiPort& ui)
    : threshold_(threshold), ui_(ui) {
    size_t sep = threshold.find("::");
    if (sep == std::string::npos) {
        splitat(threshold, 0, warning, panic);
        return;
    }
    orSet = true;
    splitat(threshold.substr(0, sep), 0, panicMin, warningMin);
    splitat(threshold.substr(sep + 2), 0, warningMax, panicMax);
}

bool WMINumThreshold::ok() {
    std::string result;
    if (orSet) {
        const std::string figures[4] = {trimmed(panicMin), trimmed(warningMin), trimmed(warningMax),
                                        trimmed(panicMax)};
        const char* const empty[4] = {"Panic Min Value is empty.", "Warning Min Value is empty.",
                                      "Warning Max Value is empty.", "Panic Max Value is empty."};
        for (int i = 0; i < 4; ++i) {
            if (figures[i].empty()) {
                ui_.messageBox(empty[i], kShortErrorCaption, MessageKind::Error);
                return false;
            }
        }
        double v[4];
        for (int i = 0; i < 4; ++i) v[i] = readnumber(figures[i]);
        if (!(v[0] <= v[1] && v[1] <= v[2] && v[2] <= v[3])) {
            ui_.messageBox("The min/max values are not correct.", kShortErrorCaption,
                           MessageKind::Error);
            return false;
        }
        result = figures[0] + ":" + figures[1] + "::" + figures[2] + ":" + figures[3];
    } else {
        result = trimmed(warning) + ":" + trimmed(panic);
        if (result.size() < 2) {
            ui_.messageBox("The Warning and Panic value(s) can't be empty.", kShortErrorCaption,
                           MessageKind::Error);
            return false;
        }
        std::erase(result, ' ');
    }
    threshold_ = result;
    return true;
}

WMIStrThreshold::WMIStrThreshold(std::string& threshold, UiPort& ui)
    : threshold_(threshold), ui_(ui) {
    if (threshold.find(':', 1) != std::string::npos) splitat(threshold, 1, warning, panic);
}

bool WMIStrThreshold::ok() {
    std::string w = trimmed(warning), p = trimmed(panic);
    if (w.empty()) {
        ui_.messageBox("Warning string is empty.", kShortErrorCaption, MessageKind::Error);
        return false;
    }
    if (p.empty()) {
        ui_.messageBox("Panic string is empty.", kShortErrorCaption, MessageKind::Error);
        return false;
    }
    threshold_ = w + ":" + p;
    return true;
}

}  // namespace tw::editor
