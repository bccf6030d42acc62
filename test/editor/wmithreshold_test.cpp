#include "editor/wmithreshold.h"

#include <gtest/gtest.h>

#include "test/support/scripted_ui.h"

namespace tw::editor {
namespace {

TEST(WMINumThreshold, OpeningThenOk) {
    struct Case {
        const char* threshold;
        const char* opened;     // or? warning|panic|panic min|warning min|warning max|panic max
        const char* edited[6];  // field values typed before OK (nullptr or "": as opened)
        const char* result;     // the new threshold, or the message shown
    } cases[] = {
        {"80:90", "80|90||||", {" 8 0 ", "9 0 "}, "80:90"},
        {"!5:", "!5|||||", {}, "!5:"},
        {"", "|||||", {" ", " "}, "The Warning and Panic value(s) can't be empty."},
        {"5:10::20:30", "or ||5|10|20|30", {"", "", " 10 "}, "10:10::20:30"},
        {"5:10::20:30", "or ||5|10|20|30", {"", "", "", " "}, "Warning Min Value is empty."},
        {"5:10::20:30", "or ||5|10|20|30", {"", "", " "}, "Panic Min Value is empty."},
        {"5:10::20:30", "or ||5|10|20|30", {"", "", "", "", "", " "}, "Panic Max Value is empty."},
        {"5:10::20:30",
         "or ||5|10|20|30",
         {"", "", "", "", "40"},
         "The min/max values are not correct."},
    };
    for (const Case& c : cases) {
        testing::ScriptedUi ui;
        std::string threshold = c.threshold;
        WMINumThreshold d(threshold, ui);
        using N = WMINumThreshold;
        const char* f[6] = {N::kWarning,    N::kPanic,      N::kPanicMin,
                            N::kWarningMin, N::kWarningMax, N::kPanicMax};
        const bool band = d.checked(N::kOr);
        std::string opened = band ? "or " : "";
        for (int i = 0; i < 6; ++i) {
            opened += d.text(f[i]) + (i < 5 ? "|" : "");
            // The band's fields are enabled with "or", the others without.
            EXPECT_EQ(d.enabled(f[i]), (i >= 2) == band) << f[i];
        }
        EXPECT_EQ(opened, c.opened);
        for (int i = 0; i < 6; ++i) {
            if (c.edited[i] && *c.edited[i]) {
                EXPECT_TRUE(d.setText(f[i], c.edited[i])) << f[i];
            }
        }
        if (d.click(kOkButton) == ViewStep::CloseOk) {
            EXPECT_EQ(threshold, c.result);
        } else {
            EXPECT_EQ(threshold, c.threshold) << "unchanged while the dialog stays";
            EXPECT_EQ(
                ui.messages,
                (std::vector<testing::ShownMessage>{{c.result, "ERROR", MessageKind::Error}}));
        }
    }
}

TEST(WMINumThreshold, OrSwitchesTheFieldsAndCancelChangesNothing) {
    testing::ScriptedUi ui;
    std::string threshold = "80:90";
    WMINumThreshold d(threshold, ui);
    d.setChecked(WMINumThreshold::kOr, true);
    EXPECT_FALSE(d.setText(WMINumThreshold::kWarning, "1")) << "disabled with or";
    EXPECT_TRUE(d.setText(WMINumThreshold::kPanicMin, "1"));
    d.setChecked(WMINumThreshold::kOr, false);
    EXPECT_TRUE(d.enabled(WMINumThreshold::kWarning) && !d.enabled(WMINumThreshold::kPanicMax));
    EXPECT_EQ(d.escape(), ViewStep::CloseCancel);
    EXPECT_EQ(d.closeBox(), ViewStep::CloseCancel);
    EXPECT_EQ(threshold, "80:90");
}

TEST(WMIStrThreshold, OpeningThenOk) {
    testing::ScriptedUi ui;
    std::string threshold = "Unknown;Lost Comm:Error;Pred Fail";
    using S = WMIStrThreshold;
    S d(threshold, ui);
    EXPECT_EQ(d.text(S::kWarning) + "|" + d.text(S::kPanic), "Unknown;Lost Comm|Error;Pred Fail");
    std::string other = ":only";  // a ":" first is not a separator
    S second(other, ui);
    EXPECT_EQ(second.text(S::kWarning) + second.text(S::kPanic), "");
    d.setText(S::kWarning, " ");
    EXPECT_EQ(d.click(kOkButton), ViewStep::None);
    d.setText(S::kWarning, " Unknown ");
    d.setText(S::kPanic, "");
    EXPECT_EQ(d.click(kOkButton), ViewStep::None);
    EXPECT_EQ(ui.texts(),
              (std::vector<std::string>{"Warning string is empty.", "Panic string is empty."}));
    d.setText(S::kPanic, "Error; Pred Fail ");
    EXPECT_EQ(d.click(kOkButton), ViewStep::CloseOk);
    EXPECT_EQ(threshold, "Unknown:Error; Pred Fail");
}

}  // namespace
}  // namespace tw::editor
