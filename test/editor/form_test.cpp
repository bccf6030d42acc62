#include "editor/form.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tw::editor {
namespace {

using ::testing::ElementsAre;

// A small form: a field with its own edit hook, one taking the others'
// hook, a choice, a list, a pick list and two buttons, one disabled.
struct Small {
    Small() {
        form.add("Field", ControlKind::Digits, 4);
        form.add("Other", ControlKind::Text);
        form.add("Choice", ControlKind::Choice).entries = {"a", "b"};
        form.add("List", ControlKind::List).entries = {"x", "y"};
        form.add("Pick", ControlKind::PickList).entries = {"p"};
        form.add("Open", ControlKind::Button);
        form.add("Off", ControlKind::Button).enabled = false;
        form.onEdit("Field", [this] { events.push_back("Field edited"); });
        form.onOtherEdit([this] { events.push_back("other edited"); });
        form.onClick("Open", [this] {
            events.push_back("Open clicked");
            return ViewStep::OpenWmiTestConfig;
        });
        form.onClick("Off", [this] {
            events.push_back("Off clicked");
            return ViewStep::None;
        });
        form.alias("Open too", "Open");
        form.onFocusLost("Other", [this] { events.push_back("Other left"); });
    }
    Form form;
    std::vector<std::string> events;
};

TEST(Form, EditsRunTheControlsHookOrTheOthersOnlyWhenSomethingChanged) {
    Small s;
    EXPECT_TRUE(s.form.setText("Field", "12"));
    EXPECT_TRUE(s.form.setText("Field", "12")) << "the same text is taken, nothing follows";
    EXPECT_FALSE(s.form.setText("Field", "12345")) << "longer than the limit";
    EXPECT_FALSE(s.form.setText("Field", "1a"));
    EXPECT_TRUE(s.form.setText("Other", "any text"));
    s.form.select("Choice", 1);
    s.form.select("Choice", 1);
    s.form.select("List", 1);  // a list's selection is no edit
    s.form.select("Pick", -1);
    s.form.select("Pick", 0);
    s.form.select("Choice", 2);  // out of range: nothing
    EXPECT_THAT(s.events,
                ElementsAre("Field edited", "other edited", "other edited", "other edited"));
    EXPECT_EQ(s.form.text("Field"), "12");
    EXPECT_EQ(s.form.selectedText("Choice"), "b");
    EXPECT_EQ(s.form.selected("List"), 1);
}

TEST(Form, ClicksAnswerTheViewsStepAndNothingWithoutAnEnabledAction) {
    Small s;
    EXPECT_EQ(s.form.click("Open"), ViewStep::OpenWmiTestConfig);
    EXPECT_EQ(s.form.click("Open too"), ViewStep::OpenWmiTestConfig) << "by its other name";
    EXPECT_EQ(s.form.click("Off"), std::nullopt) << "disabled";
    EXPECT_EQ(s.form.click("Field"), std::nullopt) << "no action";
    EXPECT_EQ(s.form.click("No such button"), std::nullopt);
    s.form.focusLost("Other");
    s.form.focusLost("Field");
    EXPECT_THAT(s.events, ElementsAre("Open clicked", "Open clicked", "Other left"));
    EXPECT_EQ(s.form.canonical("Open too"), "Open");
    EXPECT_EQ(s.form.text("Open"), "Open") << "a button's caption starts as its name";
}

TEST(Form, EntriesAreSortedWithoutRegardToCase) {
    Small s;
    s.form.setEntries("Choice", {"b", "C", "a"});
    EXPECT_THAT(s.form.entries("Choice"), ElementsAre("a", "b", "C"));
    EXPECT_EQ(s.form.selected("Choice"), -1);
    EXPECT_EQ(s.form.insertSorted("Choice", "B2"), 2);
    EXPECT_THAT(s.form.entries("Choice"), ElementsAre("a", "b", "B2", "C"));
}

}  // namespace
}  // namespace tw::editor
