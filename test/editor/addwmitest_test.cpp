#include "editor/addwmitest.h"

#include <gtest/gtest.h>

#include "agent/wmitests/definitions.h"
#include "editor/wmibrowser.h"
#include "editor/wmithreshold.h"
#include "test/support/editor_harness.h"

namespace tw::editor {
namespace {

using testing::ShownMessage;

const char kNewFormat[] = "Query: &query\r\n&value: %value%\r\n";
const char kProcessors[] = "select NumberOfProcessors from Win32_ComputerSystem";

using A = AddWMITest;

std::string fields(const AddWMITest& d) {
    return "[" + d.text(A::kName) + "][" + d.selectedText(A::kType) + "][" + d.text(A::kThreshold) +
           "][" + (d.enabled(A::kTrend) ? (d.checked(A::kTrend) ? "on" : "off") : "disabled") +
           "][" + d.text(A::kQueryField) + "][" + d.text(A::kPageFormat) + "]";
}

class AddWmiTestTest : public ::testing::Test {
  protected:
    testing::EditorHarness h{R"({
        "Win32_ComputerSystem": [{"Name": "WEB1", "SystemType": "X86-based PC",
                                  "NumberOfProcessors": 4}],
        "Win32_Processor": [{"Name": "Xeon", "LoadPercentage": 7}]})"};
    std::vector<WmiTestRow> list;
    std::string pool = defaultwmipool();
    void SetUp() override {
        h.wmi.start();
        h.wmi.ConnectWMIDB(kRootCimv2);
        h.ui.clear();
    }
};

TEST_F(AddWmiTestTest, OpeningAndChoosingAPoolQuery) {
    AddWMITest d(list, pool, h.wmi);
    EXPECT_EQ(fields(d), std::string("[][][][disabled][][") + kNewFormat + "]");
    ASSERT_EQ(d.entries(A::kQueryField).size(), 7u);
    EXPECT_EQ(d.entries(A::kQueryField)[0], "");
    EXPECT_EQ(d.entries(A::kQueryField)[6], kProcessors);
    EXPECT_EQ(fields(AddWMITest(list, pool, h.wmi,
                                WmiTestRow{"c", "Numerical", "1:2", "Y", "q", "a\\r\\nb"})),
              "[c][Numerical][1:2][on][q][a\r\nb]");
    EXPECT_EQ(
        fields(AddWMITest(list, pool, h.wmi, WmiTestRow{"b", "string", "a:b", "Y", "q", "p"})),
        "[b][String][a:b][disabled][q][p]");
    EXPECT_EQ(
        poolqueries(
            "a N \"1\" perf \" select a \" \"p\"| |b S x noperf \"c\" |c S x maybe \"e\" \"r\""),
        (std::vector<std::string>{"select a", "c"}));

    d.select(A::kQueryField, 6);
    EXPECT_EQ(fields(d), std::string("[NumberOfProcessors][Numerical][0:0][off][") + kProcessors +
                             "][Query: &query\r\n&value: %value%]");
    // Typing a query chooses nothing.
    EXPECT_TRUE(d.setText(A::kQueryField, "select Name from Win32_Processor"));
    EXPECT_EQ(d.text(A::kName), "NumberOfProcessors");
    // A query the pool does not have (or the empty entry): a blank String test.
    d.chooseQuery("select Name from Win32_Processor");
    EXPECT_EQ(fields(d), std::string("[][String][][disabled][select Name from Win32_Processor][") +
                             kNewFormat + "]");
    // Fault: Cancel appended the chosen pool definition unchecked.
    d.chooseQuery(kProcessors);
    EXPECT_EQ(d.click(kCancelButton), ViewStep::CloseCancel);
    EXPECT_TRUE(list.empty());
}

TEST_F(AddWmiTestTest, TypeDecidesTrendAndTheThresholdDialog) {
    AddWMITest d(list, pool, h.wmi);
    // The field's focus counts as its click.
    EXPECT_EQ(d.click(A::kThreshold), ViewStep::None);
    EXPECT_EQ(h.ui.texts(), std::vector<std::string>{"Please select data type first"});
    EXPECT_FALSE(d.setText(A::kThreshold, "1:2")) << "filled by its dialogs only";
    struct Case {
        int type;
        bool trend;
        const char* caption;
        const char* field;
        const char* typed;
        const char* threshold;
    } cases[] = {
        {0, true, WMINumThreshold::kCaption, WMINumThreshold::kWarning, "7", "7:"},
        {1, false, WMIStrThreshold::kCaption, WMIStrThreshold::kPanic, "down", "7:down"},
    };
    for (const Case& c : cases) {
        d.select(A::kType, c.type);
        d.setChecked(A::kTrend, true);
        EXPECT_EQ(d.enabled(A::kTrend), c.trend);
        EXPECT_EQ(d.checked(A::kTrend), c.trend);
        ASSERT_EQ(d.click(A::kThreshold), ViewStep::OpenDialog);
        Form* t = d.sub();
        ASSERT_TRUE(t);
        EXPECT_EQ(t->caption(), c.caption);
        t->setText(c.field, c.typed);
        EXPECT_EQ(t->click(kOkButton), ViewStep::CloseOk);
        d.closeSub();
        EXPECT_EQ(d.text(A::kThreshold), c.threshold);
    }
    EXPECT_EQ(h.ui.focus, (std::vector<std::string>(3, "WMI Query")));
}

TEST_F(AddWmiTestTest, TestQueryThenOk) {
    list.push_back({"CPUS", "Numerical", "1:2", "N", kProcessors, "p"});
    AddWMITest d(list, pool, h.wmi);
    d.select(A::kType, 0);
    d.ctrl(A::kThreshold).text = " 0:0 ";
    d.setText(A::kPageFormat, "Q: &query\r\nV: %value%");
    d.setChecked(A::kTrend, true);
    const ShownMessage refer{"Error: use 'Test Query' to validate it.", "ERROR",
                             MessageKind::Error};
    struct Step {
        const char* name;
        const char* query;
        ShownMessage shown;  // by "Test Query"
    } steps[] = {
        {"cpus",
         kProcessors,
         {"The Test Name has already been defined.", "ERROR", MessageKind::Error}},
        {"n",
         "select Nope from Win32_Processor",
         {"WMI Query Failure: Can't handle the query: define one query object only.", "INFO",
          MessageKind::Information}},
        {" n ",
         " select NumberOfProcessors from Win32_ComputerSystem ",
         {"Q: select NumberOfProcessors from Win32_ComputerSystem\r\nV: 4", "INFO",
          MessageKind::Information}},
    };
    for (const Step& s : steps) {
        h.ui.clear();
        d.setText(A::kName, s.name);
        d.setText(A::kQueryField, s.query);
        const bool passes = &s == &steps[2];
        EXPECT_EQ(d.click(A::kTestQuery), ViewStep::None);
        // OK checks silently.
        EXPECT_EQ(d.click(kOkButton), passes ? ViewStep::CloseOk : ViewStep::None);
        std::vector<ShownMessage> shown = {s.shown};
        if (!passes) shown.push_back(refer);
        EXPECT_EQ(h.ui.messages, shown);
    }
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1],
              (WmiTestRow{"n", "Numerical", "0:0", "Y", kProcessors, "Q: &query\\r\\nV: %value%"}));
}

TEST_F(AddWmiTestTest, ShowClassAndBrowser) {
    AddWMITest d(list, pool, h.wmi);
    struct Case {
        const char* query;
        bool yes;
        const char* shown;  // nullptr: nothing shown
    } cases[] = {
        {"select Name from Win32_Processor", false, nullptr},
        {"selec Name from Win32_Processor", true, "Query must start with 'select'"},
        {"select Name in X", true, "Query must follow the format of 'select oneobject from...'"},
        {" select Name from Win32_Processor where Name='Xeon' ", true,
         "WMI Class Win32_Processor:\n\nProperties:\nName|LoadPercentage\n\nValues:\nXeon|7\n"},
        {"select Name from Win32_Nothing", true, "Can't query WMI Class Win32_Nothing"},
    };
    std::string captions;
    for (const Case& c : cases) {
        h.ui.clear();
        h.ui.answers = {c.yes};
        d.setText(A::kQueryField, c.query);
        d.click(A::kShowClass);
        EXPECT_EQ(
            h.ui.questions.at(0).text,
            "It may take a few minutes to retrieve all values for a WMI class, do you want to "
            "continue?");
        EXPECT_EQ(h.ui.texts(),
                  c.shown ? std::vector<std::string>{c.shown} : std::vector<std::string>{});
        if (c.shown) captions += h.ui.messages[0].caption + ";";
    }
    EXPECT_EQ(captions, "ERROR;ERROR;Show Class;ERROR;");
    EXPECT_EQ(h.ui.waits, 2) << "the two class lookups";

    ASSERT_EQ(d.click(A::kBrowser), ViewStep::OpenDialog);
    Form* b = d.sub();
    ASSERT_TRUE(b);
    b->select(WMIBrowser::kClasses, 1);
    EXPECT_EQ(b->click(kOkButton), ViewStep::CloseOk);
    d.closeSub();
    EXPECT_EQ(d.text(A::kQueryField), "select Name from Win32_Processor");
}

}  // namespace
}  // namespace tw::editor
