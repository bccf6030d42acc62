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

// Text fields, each after its label.
void addFields(Form& d, std::initializer_list<const char*> fields) {
    for (const char* f : fields) {
        d.addLabelOf(f);
        d.add(f, ControlKind::Text);
    }
}

}  // namespace

WMINumThreshold::WMINumThreshold(std::string& threshold, UiPort& ui)
    : Form(kCaption), threshold_(threshold), ui_(ui) {
    addFields(*this, {kWarning, kPanic});
    add(kOr, ControlKind::CheckBox);
    addFields(*this, {kPanicMin, kWarningMin, kWarningMax, kPanicMax});
    addOkCancel([this] { return ok(); });
    onEdit(kOr, [this] { showOr(checked(kOr)); });
    size_t sep = threshold.find("::");
    if (sep == std::string::npos) {
        splitat(threshold, 0, ctrl(kWarning).text, ctrl(kPanic).text);
        showOr(false);
        return;
    }
    splitat(threshold.substr(0, sep), 0, ctrl(kPanicMin).text, ctrl(kWarningMin).text);
    splitat(threshold.substr(sep + 2), 0, ctrl(kWarningMax).text, ctrl(kPanicMax).text);
    showOr(true);
}

void WMINumThreshold::showOr(bool on) {
    ctrl(kOr).checked = on;
    for (const char* f : {kWarning, kPanic}) ctrl(f).enabled = !on;
    for (const char* f : {kPanicMin, kWarningMin, kWarningMax, kPanicMax}) ctrl(f).enabled = on;
}

bool WMINumThreshold::ok() {
    std::string result;
    if (checked(kOr)) {
        const std::string figures[4] = {trimmed(text(kPanicMin)), trimmed(text(kWarningMin)),
                                        trimmed(text(kWarningMax)), trimmed(text(kPanicMax))};
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
        result = trimmed(text(kWarning)) + ":" + trimmed(text(kPanic));
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
    : Form(kCaption), threshold_(threshold), ui_(ui) {
    addFields(*this, {kWarning, kPanic});
    addLabel(kHint, kHint);
    addOkCancel([this] { return ok(); });
    if (threshold.find(':', 1) != std::string::npos)
        splitat(threshold, 1, ctrl(kWarning).text, ctrl(kPanic).text);
}

bool WMIStrThreshold::ok() {
    std::string w = trimmed(text(kWarning)), p = trimmed(text(kPanic));
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
