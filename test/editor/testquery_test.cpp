#include "editor/testquery.h"

#include <gtest/gtest.h>

#include "test/support/editor_harness.h"

namespace tw::editor {
namespace {

WmiTestRow test(const char* name, const char* type, const char* threshold, const char* query,
                const char* pageformat = "Query: &query\r\n&value: %value%\r\n") {
    return {name, type, threshold, "N", query, pageformat};
}

const char kQuery[] = "select NumberOfProcessors from Win32_ComputerSystem";
const char kYellowRed[] =
    "The threshold format is not correct, the format should be as 'yellow:red'.";
const char kYellowRedOrBand[] =
    "The threshold format is not correct, the format should be as 'yellow:red' or "
    "'minred:minyel::maxyel:maxred'.";
const char kOneObject[] = "Query must follow the format of 'select oneobject from...'";

TEST(TestQueryChecks, EachProblemInOrder) {
    std::vector<WmiTestRow> list = {test("CPULOAD", "Numerical", "80:90", kQuery),
                                    test("other and more", "String", "a:b", kQuery)};
    struct Case {
        WmiTestRow t;
        const char* message;  // nullptr: passes
    } cases[] = {
        // Empty texts, in order: the first empty one is reported.
        {test("", "", "", "", ""), "TW Test Name is empty"},
        {test("n", "", "", "", ""), "Data type is not selected"},
        {test("n", "String", "", "", ""), "Threshold is empty"},
        {test("n", "String", "a:b", "", ""), "WMI Query is empty"},
        {test("n", "String", "a:b", kQuery, ""), "TW Page Format is empty"},
        {test("my test", "Numerical", "1:2", kQuery), "No space is allowed in TW Test Name"},
        // Names already in the list, compared without regard to case and by
        // the row's first word.
        {test("cpuload", "Numerical", "1:2", kQuery), "The Test Name has already been defined."},
        {test("OTHER", "Numerical", "1:2", kQuery), "The Test Name has already been defined."},
        // The threshold is checked before the query.
        {test("n", "String", "a;b", "select *"), kYellowRed},
        {test("n", "String", "a:b:c", kQuery), kYellowRedOrBand},
        {test("n", "String", "Unknown;Lost Comm:Error;Pred Fail", kQuery), nullptr},
        {test("n", "Numerical", "80:90", "select"), kOneObject},
        {test("n", "Numerical", "80:90", "Select a, b from c"), kOneObject},
        {test("n", "Numerical", "80:90", "selec a from c"), "Query must start with 'select'"},
        {test("n", "Numerical", "80:90", "select * from Win32_Processor"), kOneObject},
        {test("n", "Numerical", "80:90", "select a,b from c"), kOneObject},
        {test("n", "Numerical", "80:90", "select a in c"), kOneObject},
        {test("n", "Numerical", "80:90", "  SELECT  a  FROM c"), nullptr},
    };
    for (const Case& c : cases) {
        std::optional<std::string> m = checkwmitest(c.t, list);
        EXPECT_EQ(m.value_or("passes"), c.message ? c.message : "passes")
            << c.t.name << " " << c.t.threshold << " " << c.t.query;
    }
}

TEST(TestQueryChecks, NumericalThresholds) {
    struct Case {
        const char* threshold;
        const char* message;
    } cases[] = {
        {"80:90", nullptr},
        {"5:10::20:30", nullptr},
        {"!5:", nullptr},
        {":!5", nullptr},
        {"[10,20](50,):[90,)", nullptr},
        {"80", kYellowRed},
        {"10:5::20:30", "The threshold format is not correct: check the values."},
        {"5:10::10:30", "The threshold format is not correct: check the values."},
        {"80:", "The Panic threshold is empty."},
        {":90", "The Warning threshold is empty."},
        {":", "The Panic threshold is empty."},
        {"!5:6", "The Panic threshold should be empty if '!' is defined for Warning"},
        {"5:!6", "The Warning threshold should be empty if '!' is defined for Panic"},
        // The expression check is the agent's, with its own messages.
        {"-5:6", "The threshold -5 is not correct: '-' is not supported\n"},
        {"5:(10)", "The threshold (10) is not correct: ',' is missed.\n"},
        {"5(10,20):30",
         "The threshold 5(10,20) is not correct: a number can't be defined alone.\n"},
        {"5:6:7", "The threshold 6:7 is not correct: ':' is not supported\n"},
        // The band's parts.
        {"5::20:30", kYellowRedOrBand},
        {"5:10::30", kYellowRedOrBand},
        {"::", kYellowRedOrBand},
        {"a:10::20:30", "The threshold format is not correct: use number for minred."},
        {"5:1b::20:30", "The threshold format is not correct: use number for minyel."},
        {"5:10::2 0:30", "The threshold format is not correct: use number for maxyel."},
        {"5:10::20:30:40", "The threshold format is not correct: use number for maxred."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(checkwmithreshold("Numerical", c.threshold).value_or("passes"),
                  c.message ? c.message : "passes")
            << c.threshold;
}

TEST(TestQueryChecks, BarsAndQuotesThatWouldBreakTheStoredTextAreRefused) {
    struct Case {
        WmiTestRow t;
        const char* message;
    } cases[] = {
        {test("a|b", "String", "x:y", kQuery), "No '|' or '\"' is allowed in TW Test Name"},
        {test("a", "String", "x\"1:y", kQuery), "No '|' or '\"' is allowed in Threshold"},
        {test("a", "String", "x:y", "select Name from Win32_Service where Name=\"Spooler\""),
         "No '|' or '\"' is allowed in WMI Query"},
        {test("a", "String", "x:y", kQuery, "value|%value%"),
         "No '|' or '\"' is allowed in TW Page Format"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(checkwmitest(c.t, {}).value_or("passes"), c.message) << c.t.name;
}

class QueryRunTest : public ::testing::Test {
  protected:
    testing::EditorHarness h{R"({
        "Win32_ComputerSystem": [{"NumberOfProcessors": 4, "Name": "WEB1",
                                  "SystemType": "X86-based PC"}],
        "Win32_Processor": [{"DeviceID": "CPU0", "Load": 1}, {"DeviceID": "CPU1", "Load": 2},
                            {"DeviceID": "CPU2", "Load": 3}],
        "Win32_Battery": [],
        "Win32_Mixed": [{"V": "text"}, {"V": null}, {"V": true}, {"V": 7}],
        "Win32_Odd": [{"V": 1}, {"W": 2}]
    })"};
    void SetUp() override {
        ASSERT_TRUE(h.wmi.start());
        h.wmi.ConnectWMIDB(editor::kRootCimv2);
    }

    std::string run(std::string_view query) {
        WmiQueryRun r = runwmiquery(h.wmi, query);
        return r.ok ? "ok:" + r.value : "failed:" + r.value + ":" + r.reason;
    }
};

TEST_F(QueryRunTest, ValuesOfAllObjectsJoinedWithBars) {
    EXPECT_EQ(run(kQuery), "ok:4");
    EXPECT_EQ(run("select Load from Win32_Processor"), "ok:1|2|3");
    EXPECT_EQ(run("select   DeviceID from Win32_Processor"), "ok:CPU0|CPU1|CPU2");
    EXPECT_EQ(run("select status from Win32_Battery"), "ok:");
    // Only integers and strings give text; other values add only their "|".
    EXPECT_EQ(run("select V from Win32_Mixed"), "ok:text|||7");
}

TEST_F(QueryRunTest, FailuresGiveTheirReasons) {
    EXPECT_EQ(run("select Name from Win32_NoSuchClass"), "failed::Can't run ExecQuery");
    // A property the class does not have replaces the values gathered.
    EXPECT_EQ(run("select V from Win32_Odd"),
              "failed::Can't handle the query: define one query object only.");
    EXPECT_EQ(run("select Nope from Win32_Processor"),
              "failed::Can't handle the query: define one query object only.");
    EXPECT_EQ(run("select " + std::string(1024, 'p') + " from x"), "failed::format error");
    h.provider.brokenQueries.insert("select Load from Win32_Processor");
    EXPECT_EQ(run("select Load from Win32_Processor"), "failed::Can't get the object: Load");
    h.wmi.end();
    EXPECT_EQ(run(kQuery), "failed::Can't run ExecQuery") << "not connected";
}

TEST_F(QueryRunTest, ValueTextStopsAtItsLimit) {
    std::string json = R"({"Win32_ComputerSystem": [{"Name": "WEB1", "SystemType": "x"}],
                          "Win32_Big": [{"V": "%A%"}, {"V": "%B%"}]})";
    json.replace(json.find("%A%"), 3, std::string(15000, 'a'));
    json.replace(json.find("%B%"), 3, std::string(15000, 'b'));
    testing::EditorHarness big(json);
    big.wmi.start();
    big.wmi.ConnectWMIDB(editor::kRootCimv2);
    WmiQueryRun r = runwmiquery(big.wmi, "select V from Win32_Big");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.value.size(), kQueryValueMax);
    EXPECT_EQ(r.value.substr(14999, 3), "a|b");
}

TEST(TestQueryPreview, PlaceholdersFilledInOrder) {
    struct Case {
        const char* threshold;
        const char* pageformat;
        const char* preview;
    } cases[] = {
        {"0:0", "Query: &query\r\n&value: %value%\r\n",
         "Query: select NumberOfProcessors from Win32_ComputerSystem\r\nNumberOfProcessors: "
         "4\r\n"},
        {"80:90", "%thresholds% w=%warningthreshold% p=%panicthreshold% %color%",
         "80:90 w=80 p=90 %color%"},
        {"!5:", "w=%warningthreshold% p=%panicthreshold%", "w=!5 p="},
        {"10:20::80:90", "w=%warningthreshold% p=%panicthreshold%",
         "w=[10,20][80,90] p=(,10][90,)"},
        {"a;b:c", "%value% %value% &value&value", "4 4 NumberOfProcessorsNumberOfProcessors"},
        {"1:2", "no placeholders", "no placeholders"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(previewtext(test("n", "Numerical", c.threshold, kQuery, c.pageformat), "4"),
                  c.preview)
            << c.pageformat;
    // "%value%" is filled before "&value", so a value text with "&value" in
    // it gets the property name.
    EXPECT_EQ(previewtext(test("n", "String", "a:b", "select V from X", "[%value%]"), "x&valuey"),
              "[xVy]");
}

}  // namespace
}  // namespace tw::editor
