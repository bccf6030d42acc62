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
        std::string* f[6] = {&d.warning,    &d.panic,      &d.panicMin,
                             &d.warningMin, &d.warningMax, &d.panicMax};
        EXPECT_EQ((d.orSet ? "or " : "") + *f[0] + "|" + *f[1] + "|" + *f[2] + "|" + *f[3] + "|" +
                      *f[4] + "|" + *f[5],
                  c.opened);
        for (int i = 0; i < 6; ++i)
            if (c.edited[i] && *c.edited[i]) *f[i] = c.edited[i];
        if (d.ok()) {
            EXPECT_EQ(threshold, c.result);
        } else {
            EXPECT_EQ(threshold, c.threshold) << "unchanged while the dialog stays";
            EXPECT_EQ(
                ui.messages,
                (std::vector<testing::ShownMessage>{{c.result, "ERROR", MessageKind::Error}}));
        }
    }
}

TEST(WMIStrThreshold, OpeningThenOk) {
    testing::ScriptedUi ui;
    std::string threshold = "Unknown;Lost Comm:Error;Pred Fail";
    WMIStrThreshold d(threshold, ui);
    EXPECT_EQ(d.warning + "|" + d.panic, "Unknown;Lost Comm|Error;Pred Fail");
    std::string other = ":only";  // a ":" first is not a separator
    EXPECT_EQ(WMIStrThreshold(other, ui).warning + WMIStrThreshold(other, ui).panic, "");
    d.warning = " ";
    EXPECT_FALSE(d.ok());
    d.warning = " Unknown ";
    d.panic = "";
    EXPECT_FALSE(d.ok());
    EXPECT_EQ(ui.texts(),
              (std::vector<std::string>{"Warning string is empty.", "Panic string is empty."}));
    d.panic = "Error; Pred Fail ";
    EXPECT_TRUE(d.ok());
    EXPECT_EQ(threshold, "Unknown:Error; Pred Fail");
}

}  // namespace
}  // namespace tw::editor
