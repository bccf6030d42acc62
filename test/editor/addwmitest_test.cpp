#include "editor/addwmitest.h"

#include <gtest/gtest.h>

#include "agent/wmitests/definitions.h"
#include "test/support/editor_harness.h"

namespace tw::editor {
namespace {

using testing::ShownMessage;

const char kFixture[] = R"({
    "Win32_ComputerSystem": [{"Name": "WEB1", "SystemType": "X86-based PC",
                              "NumberOfProcessors": 4}],
    "Win32_Processor": [{"Name": "Xeon", "LoadPercentage": 7}]
})";
const char kNewFormat[] = "Query: &query\r\n&value: %value%\r\n";
const char kProcessors[] = "select NumberOfProcessors from Win32_ComputerSystem";

std::string fields(const AddWMITest& d) {
    return "[" + d.name + "][" + d.type + "][" + d.threshold + "][" +
           (d.trendEnabled ? (d.trend ? "on" : "off") : "disabled") + "][" + d.query + "][" +
           d.pageformat + "]";
}

class AddWmiTestTest : public ::testing::Test {
  protected:
    testing::EditorHarness h{kFixture};
    std::vector<WmiTestRow> list;
    std::string pool = defaultwmipool();

    void SetUp() override {
        ASSERT_TRUE(h.wmi.start());
        h.wmi.ConnectWMIDB(kRootCimv2);
        h.ui.clear();
    }
    // A test the target machine can run, in the dialog.
    void fill(AddWMITest& d) {
        d.name = " cpus ";
        d.setType("Numerical");
        d.threshold = "0:0";
        d.query = kProcessors;
    }
};

TEST_F(AddWmiTestTest, OpeningForAddAndForEdit) {
    AddWMITest add(list, pool, h.wmi);
    EXPECT_EQ(fields(add), std::string("[][][][disabled][][") + kNewFormat + "]");
    ASSERT_EQ(add.queryChoices.size(), 7u);
    EXPECT_EQ(add.queryChoices[0], "");
    EXPECT_EQ(add.queryChoices[1], "select ChassisBootupState from Win32_ComputerSystem");
    EXPECT_EQ(add.queryChoices[6], kProcessors);

    struct Case {
        WmiTestRow row;
        const char* shown;
    } cases[] = {
        {{"cpu", "Numerical", "80:90", "Y", "select LoadPercentage from Win32_Processor",
          "a\\r\\nb"},
         "[cpu][Numerical][80:90][on][select LoadPercentage from Win32_Processor][a\r\nb]"},
        {{"cpu", "Numerical", "80:90", "N", "q", "p"}, "[cpu][Numerical][80:90][off][q][p]"},
        {{"bat", "string", "a:b", "Y", "q", "p"}, "[bat][String][a:b][disabled][q][p]"},
        {{"odd", "Text", "a:b", "Y", "q", "p"}, "[odd][][a:b][disabled][q][p]"},
    };
    for (const Case& c : cases) EXPECT_EQ(fields(AddWMITest(list, pool, h.wmi, c.row, 0)), c.shown);
}

TEST_F(AddWmiTestTest, PoolQueriesComeFromEntriesWithATrendWord) {
    EXPECT_EQ(poolqueries(" a Numerical \"1:2\" perf \" select a from b \" \"p\" | | "
                          "b String x:y noperf \"select c from d\" \"q\"|"
                          "c String x:y maybe \"select e from f\" \"r\"|"
                          "d String x:y noperf \"unclosed"),
              (std::vector<std::string>{"select a from b", "select c from d", "unclosed"}));
    EXPECT_TRUE(poolqueries("").empty());
}

TEST_F(AddWmiTestTest, ChoosingAQueryTakesItsPoolDefinition) {
    AddWMITest d(list, pool, h.wmi);
    d.name = "typed";
    d.chooseQuery(kProcessors);
    EXPECT_EQ(fields(d), std::string("[NumberOfProcessors][Numerical][0:0][off][") + kProcessors +
                             "][Query: &query\r\n&value: %value%]");
    d.chooseQuery("select status from Win32_Battery");
    EXPECT_EQ(fields(d),
              "[BatteryStatus][String][Unknown;Lost Comm;No Contact:Error;Pred Fail][disabled]"
              "[select status from Win32_Battery][Query: &query\r\n&value: %value%]");
    // The empty entry, or a query the pool does not have: a blank String test.
    d.chooseQuery("");
    EXPECT_EQ(fields(d), std::string("[][String][][disabled][][") + kNewFormat + "]");
    d.chooseQuery("select Name from Win32_Processor");
    EXPECT_EQ(fields(d), std::string("[][String][][disabled][select Name from Win32_Processor][") +
                             kNewFormat + "]");
}

TEST_F(AddWmiTestTest, TypeDecidesTrendAndTheThresholdDialog) {
    AddWMITest d(list, pool, h.wmi);
    EXPECT_EQ(d.thresholdFocused(), AddWMITest::ThresholdDialog::None);
    EXPECT_EQ(h.ui.messages, (std::vector<ShownMessage>{
                                 {"Please select data type first", "ERROR", MessageKind::Error}}));
    d.setType("Numerical");
    EXPECT_TRUE(d.trendEnabled);
    d.trend = true;
    EXPECT_EQ(d.thresholdFocused(), AddWMITest::ThresholdDialog::Numerical);
    d.setType("String");
    EXPECT_FALSE(d.trendEnabled);
    EXPECT_FALSE(d.trend);
    EXPECT_EQ(d.thresholdFocused(), AddWMITest::ThresholdDialog::String);
    EXPECT_EQ(h.ui.focus, (std::vector<std::string>(3, "WMI Query")));
    EXPECT_EQ(h.ui.messages.size(), 1u);
}

TEST_F(AddWmiTestTest, TestQueryShowsTheFirstProblemOrThePreview) {
    list.push_back({"CPUS", "Numerical", "1:2", "N", kProcessors, "p"});
    AddWMITest d(list, pool, h.wmi);
    struct Step {
        const char* name;
        const char* threshold;
        const char* query;
        ShownMessage shown;
    } steps[] = {
        {"", "0:0", kProcessors, {"TW Test Name is empty", "ERROR", MessageKind::Error}},
        {"cpus",
         "0:0",
         kProcessors,
         {"The Test Name has already been defined.", "ERROR", MessageKind::Error}},
        {"n",
         "0",
         kProcessors,
         {"The threshold format is not correct, the format should be as 'yellow:red'.", "ERROR",
          MessageKind::Error}},
        {"n",
         "0:0",
         "select * from Win32_ComputerSystem",
         {"Query must follow the format of 'select oneobject from...'", "ERROR",
          MessageKind::Error}},
        {"n",
         "0:0",
         "select Name from Win32_Nothing",
         {"WMI Query Failure: Can't run ExecQuery", "INFO", MessageKind::Information}},
        {"n",
         "0:0",
         "select Nope from Win32_Processor",
         {"WMI Query Failure: Can't handle the query: define one query object only.", "INFO",
          MessageKind::Information}},
        {" n ",
         " 0:0 ",
         "  select NumberOfProcessors from Win32_ComputerSystem ",
         {"Query: select NumberOfProcessors from Win32_ComputerSystem\r\nNumberOfProcessors: "
          "4\r\n",
          "INFO", MessageKind::Information}},
    };
    d.setType("Numerical");
    for (const Step& s : steps) {
        h.ui.clear();
        d.name = s.name;
        d.threshold = s.threshold;
        d.query = s.query;
        const bool expected = s.shown.caption == "INFO" && s.shown.text.rfind("WMI", 0) != 0;
        EXPECT_EQ(d.testQuery(), expected) << s.name << " " << s.query;
        EXPECT_EQ(h.ui.messages, std::vector<ShownMessage>{s.shown}) << s.name << " " << s.query;
    }
    EXPECT_EQ(list.size(), 1u) << "Test Query adds nothing";
}

TEST_F(AddWmiTestTest, OkAppendsTheCheckedRowOrRefers) {
    list.push_back({"first", "String", "a:b", "N", "select Name from Win32_Processor", "p"});
    AddWMITest d(list, pool, h.wmi);
    d.pageformat = "Q: &query\r\nV: %value%";
    EXPECT_FALSE(d.ok()) << "nothing filled in";
    EXPECT_EQ(h.ui.messages, (std::vector<ShownMessage>{{"Error: use 'Test Query' to validate it.",
                                                         "ERROR", MessageKind::Error}}));
    fill(d);
    d.query = "select NumberOfProcessors from Win32_Nothing";
    EXPECT_FALSE(d.ok()) << "a query that does not run";
    EXPECT_EQ(h.ui.messages.size(), 2u);
    EXPECT_EQ(list.size(), 1u);

    d.query = std::string(" ") + kProcessors + " ";
    d.trend = true;
    EXPECT_TRUE(d.ok());
    EXPECT_EQ(h.ui.messages.size(), 2u) << "no preview on OK";
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1], (WmiTestRow{"cpus", "Numerical", "0:0", "Y", kProcessors,
                                   "Q: &query\\r\\nV: %value%"}));
}

TEST_F(AddWmiTestTest, CancelAfterChoosingAPoolEntryAddsNothing) {
    // Fault: the chosen pool definition was appended unchecked on Cancel.
    AddWMITest d(list, pool, h.wmi);
    d.chooseQuery(kProcessors);
    d.cancel();
    EXPECT_TRUE(list.empty());
}

TEST_F(AddWmiTestTest, ShowClassAsksChecksAndShowsTheClass) {
    AddWMITest d(list, pool, h.wmi);
    const ShownMessage question{
        "It may take a few minutes to retrieve all values for a WMI class, do you want to "
        "continue?",
        "Show Class", MessageKind::Information};
    struct Case {
        const char* query;
        bool yes;
        const char* text;  // nullptr: nothing shown
        const char* caption;
    } cases[] = {
        {"select Name from Win32_Processor", false, nullptr, nullptr},
        {"selec Name from Win32_Processor", true, "Query must start with 'select'", "ERROR"},
        {"select Name in Win32_Processor", true,
         "Query must follow the format of 'select oneobject from...'", "ERROR"},
        {"  select Name from Win32_Processor where Name='Xeon' ", true,
         "WMI Class Win32_Processor:\n\nProperties:\nName|LoadPercentage\n\nValues:\nXeon|7\n",
         "Show Class"},
        {"select Name from Win32_Nothing", true, "Can't query WMI Class Win32_Nothing", "ERROR"},
    };
    for (const Case& c : cases) {
        h.ui.clear();
        h.ui.answers = {c.yes};
        d.query = c.query;
        d.showClass();
        EXPECT_EQ(h.ui.questions, std::vector<ShownMessage>{question}) << c.query;
        if (!c.text) {
            EXPECT_TRUE(h.ui.messages.empty()) << c.query;
            continue;
        }
        ASSERT_EQ(h.ui.messages.size(), 1u) << c.query;
        EXPECT_EQ(h.ui.messages[0].text, c.text);
        EXPECT_EQ(h.ui.messages[0].caption, c.caption);
    }
    EXPECT_EQ(h.ui.waitDepth, 0);
    EXPECT_EQ(h.ui.waits, 2) << "the two class lookups";
}

TEST_F(AddWmiTestTest, BrowserSetsTheQuery) {
    AddWMITest d(list, pool, h.wmi);
    WMIBrowser b = d.browser();
    b.selectClass(1);
    b.ok();
    EXPECT_EQ(d.query, "select Name from Win32_Processor");
}

}  // namespace
}  // namespace tw::editor
