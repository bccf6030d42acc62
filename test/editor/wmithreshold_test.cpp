#include "editor/wmithreshold.h"

#include <gtest/gtest.h>

#include "test/support/scripted_ui.h"

namespace tw::editor {
namespace {

std::string numfields(const WMINumThreshold& d) {
    return (d.orSet ? "or " : "") + d.warning + "|" + d.panic + "|" + d.panicMin + "|" +
           d.warningMin + "|" + d.warningMax + "|" + d.panicMax;
}

TEST(WMINumThreshold, OpeningSplitsTheThreshold) {
    testing::ScriptedUi ui;
    struct Case {
        const char* threshold;
        const char* fields;
    } cases[] = {
        {"", "|||||"},
        {"80:90", "80|90||||"},
        {"!5:", "!5|||||"},
        {"[10,20](50,):[90,)", "[10,20](50,)|[90,)||||"},
        {"5:10::20:30", "or ||5|10|20|30"},
    };
    for (const Case& c : cases) {
        std::string threshold = c.threshold;
        EXPECT_EQ(numfields(WMINumThreshold(threshold, ui)), c.fields) << c.threshold;
    }
}

TEST(WMINumThreshold, OrSwitchesTheFieldsThatCanBeEdited) {
    testing::ScriptedUi ui;
    std::string threshold = "80:90";
    WMINumThreshold d(threshold, ui);
    EXPECT_TRUE(d.warningPanicEnabled());
    EXPECT_FALSE(d.rangeFieldsEnabled());
    d.setOr(true);
    EXPECT_FALSE(d.warningPanicEnabled());
    EXPECT_TRUE(d.rangeFieldsEnabled());
}

TEST(WMINumThreshold, OkComposesOrShowsTheFirstProblem) {
    struct Case {
        bool orSet;
        const char* fields[6];  // warning, panic, panic min, warning min, warning max, panic max
        const char* result;     // the new threshold, or the message shown
    } cases[] = {
        {false, {" 8 0 ", "9 0 ", "", "", "", ""}, "80:90"},
        {false, {"!5", "", "", "", "", ""}, "!5:"},
        {false, {"80", "", "", "", "", ""}, "80:"},
        {false, {" ", "  ", "", "", "", ""}, "The Warning and Panic value(s) can't be empty."},
        {true, {"", "", " 5 ", "10", "20", "30"}, "5:10::20:30"},
        {true, {"", "", "10", "10", "20", "30"}, "10:10::20:30"},
        {true, {"", "", "", "", "", ""}, "Panic Min Value is empty."},
        {true, {"", "", "5", " ", "", ""}, "Warning Min Value is empty."},
        {true, {"", "", "5", "10", "", ""}, "Warning Max Value is empty."},
        {true, {"", "", "5", "10", "20", ""}, "Panic Max Value is empty."},
        {true, {"", "", "10", "5", "20", "30"}, "The min/max values are not correct."},
        {true, {"", "", "5", "10", "40", "30"}, "The min/max values are not correct."},
    };
    for (const Case& c : cases) {
        testing::ScriptedUi ui;
        std::string threshold = "old";
        WMINumThreshold d(threshold, ui);
        d.setOr(c.orSet);
        d.warning = c.fields[0];
        d.panic = c.fields[1];
        d.panicMin = c.fields[2];
        d.warningMin = c.fields[3];
        d.warningMax = c.fields[4];
        d.panicMax = c.fields[5];
        const bool closes = d.ok();
        if (closes) {
            EXPECT_EQ(threshold, c.result);
            EXPECT_TRUE(ui.messages.empty());
        } else {
            EXPECT_EQ(threshold, "old") << "unchanged while the dialog stays";
            EXPECT_EQ(
                ui.messages,
                (std::vector<testing::ShownMessage>{{c.result, "ERROR", MessageKind::Error}}));
        }
    }
}

TEST(WMIStrThreshold, OpeningAndOk) {
    struct Case {
        const char* threshold;
        const char* warning;
        const char* panic;
    } opening[] = {
        {"Unknown;Lost Comm;No Contact:Error;Pred Fail", "Unknown;Lost Comm;No Contact",
         "Error;Pred Fail"},
        {"a:b:c", "a", "b:c"},
        {":panic", "", ""},
        {"", "", ""},
    };
    testing::ScriptedUi ui;
    for (const Case& c : opening) {
        std::string threshold = c.threshold;
        WMIStrThreshold d(threshold, ui);
        EXPECT_EQ(d.warning, c.warning) << c.threshold;
        EXPECT_EQ(d.panic, c.panic) << c.threshold;
    }

    std::string threshold = "old";
    WMIStrThreshold d(threshold, ui);
    d.warning = " ";
    d.panic = "Error";
    EXPECT_FALSE(d.ok());
    d.warning = " Unknown ";
    d.panic = "";
    EXPECT_FALSE(d.ok());
    EXPECT_EQ(ui.texts(),
              (std::vector<std::string>{"Warning string is empty.", "Panic string is empty."}));
    EXPECT_EQ(ui.messages[0].caption, "ERROR");
    EXPECT_EQ(threshold, "old");
    d.panic = "Error; Pred Fail ";
    EXPECT_TRUE(d.ok());
    EXPECT_EQ(threshold, "Unknown:Error; Pred Fail");
}

}  // namespace
}  // namespace tw::editor
