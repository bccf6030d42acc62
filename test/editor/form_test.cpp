#include "editor/form.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tw::editor {
namespace {

using ::testing::ElementsAre;

// A small form: a field with its own edit hook, one taking the others'
// hook, a choice, a list, a pick list and two buttons, one disabled, one
// opening another form.
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
            return form.open(std::make_unique<Form>("Sub"));
        });
        form.onSubClosed([this] { events.push_back("Sub closed"); });
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
    EXPECT_EQ(s.form.click("Open"), ViewStep::OpenDialog);
    EXPECT_EQ(s.form.click("Open too"), ViewStep::OpenDialog) << "by its other name";
    ASSERT_TRUE(s.form.sub());
    EXPECT_EQ(s.form.sub()->caption(), "Sub");
    s.form.closeSub();
    EXPECT_EQ(s.form.sub(), nullptr);
    EXPECT_EQ(s.form.click("Off"), std::nullopt) << "disabled";
    EXPECT_EQ(s.form.click("Field"), std::nullopt) << "no action";
    EXPECT_EQ(s.form.click("No such button"), std::nullopt);
    s.form.focusLost("Other");
    s.form.focusLost("Field");
    EXPECT_THAT(s.events, ElementsAre("Open clicked", "Open clicked", "Sub closed", "Other left"));
    EXPECT_EQ(s.form.canonical("Open too"), "Open");
    EXPECT_EQ(s.form.text("Open"), "Open") << "a button's caption starts as its name";
}

// The kinds the edits of a person reach, each by its own rule.
TEST(Form, EachKindTakesItsOwnEdits) {
    Form form("Kinds");
    std::vector<std::string> events;
    form.add("Lines", ControlKind::MultiLine);
    form.add("Query", ControlKind::EditChoice).entries = {"", "b", "a"};
    form.add("Rows", ControlKind::Table).rows = {{"r1"}, {"r2"}};
    form.add("Filled", ControlKind::DialogField);
    form.addLabel("Filled label", "Filled", "Filled");
    for (const char* name : {"Lines", "Query", "Rows"})
        form.onEdit(name, [&events, name] { events.push_back(name); });
    form.onClick("Filled", [&events] {
        events.push_back("Filled focused");
        return ViewStep::None;
    });
    form.addOkCancel([] { return false; }, [&events] { events.push_back("cancelled"); });

    EXPECT_TRUE(form.setText("Lines", "a\r\nb"));
    EXPECT_TRUE(form.setText("Query", "typed")) << "typing chooses nothing";
    form.select("Query", 2);  // entries keep the model's order
    EXPECT_EQ(form.text("Query"), "a");
    form.select("Rows", 1);
    form.select("Rows", 2);  // out of range
    EXPECT_EQ(form.selected("Rows"), 1);
    EXPECT_FALSE(form.setText("Filled", "x")) << "read-only";
    EXPECT_FALSE(form.setText("Filled label", "x"));
    EXPECT_EQ(form.click("Filled"), ViewStep::None);
    EXPECT_EQ(form.text("Filled label"), "Filled");
    EXPECT_EQ(form.click(kOkButton), ViewStep::None) << "not accepted: the dialog stays";
    EXPECT_EQ(form.escape(), ViewStep::CloseCancel);
    EXPECT_EQ(form.closeBox(), ViewStep::CloseCancel);
    EXPECT_THAT(events,
                ElementsAre("Lines", "Query", "Rows", "Filled focused", "cancelled", "cancelled"));
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
