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
const char kBarOrQuote[] = "No '|' or '\"' is allowed in ";

TEST(TestQueryChecks, EachProblemInOrder) {
    std::vector<WmiTestRow> list = {test("CPULOAD", "Numerical", "80:90", kQuery),
                                    test("other and more", "String", "a:b", kQuery)};
    struct Case {
        WmiTestRow t;
        std::string message;  // empty: passes
    } cases[] = {
        {test("", "", "", "", ""), "TW Test Name is empty"},
        {test("n", "", "", "", ""), "Data type is not selected"},
        {test("n", "String", "", "", ""), "Threshold is empty"},
        {test("n", "String", "a:b", "", ""), "WMI Query is empty"},
        {test("n", "String", "a:b", kQuery, ""), "TW Page Format is empty"},
        {test("my test", "Numerical", "1:2", kQuery), "No space is allowed in TW Test Name"},
        // Names in the list count without regard to case, by their first word.
        {test("cpuload", "Numerical", "1:2", kQuery), "The Test Name has already been defined."},
        {test("OTHER", "Numerical", "1:2", kQuery), "The Test Name has already been defined."},
        // The threshold is checked before the query.
        {test("n", "String", "a;b", "select *"), kYellowRed},
        {test("n", "String", "a:b:c", kQuery), kYellowRedOrBand},
        {test("n", "String", "Unknown;Lost Comm;No Contact:Error;Pred Fail", kQuery), ""},
        {test("n", "Numerical", "80:90", "select"), kOneObject},
        {test("n", "Numerical", "80:90", "selec a from c"), "Query must start with 'select'"},
        {test("n", "Numerical", "80:90", "select * from Win32_Processor"), kOneObject},
        {test("n", "Numerical", "80:90", "select a,b from c"), kOneObject},
        {test("n", "Numerical", "80:90", "Select a , b from c"), kOneObject},
        {test("n", "Numerical", "80:90", "  SELECT  a  FROM c"), ""},
        // A "|" or a double quote would break the stored definitions apart
        // (fault: such a test was saved and came back as other tests).
        {test("a|b", "String", "x:y", kQuery), std::string(kBarOrQuote) + "TW Test Name"},
        {test("a", "String", "x\"1:y", kQuery), std::string(kBarOrQuote) + "Threshold"},
        {test("a", "String", "x:y", "select Name from Win32_Service where Name=\"Spooler\""),
         std::string(kBarOrQuote) + "WMI Query"},
        {test("a", "String", "x:y", kQuery, "v|%value%"),
         std::string(kBarOrQuote) + "TW Page Format"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(checkwmitest(c.t, list).value_or(""), c.message) << c.t.name << " " << c.t.query;
}

TEST(TestQueryChecks, NumericalThresholds) {
    struct Case {
        const char* threshold;
        const char* message;  // "": passes
    } cases[] = {
        {"80:90", ""},
        {"5:10::20:30", ""},
        {"!5:", ""},
        {":!5", ""},
        {"[10,20](50,):[90,)", ""},
        {"80", kYellowRed},
        {"10:5::20:30", "The threshold format is not correct: check the values."},
        {"5:10::10:30", "The threshold format is not correct: check the values."},
        {"80:", "The Panic threshold is empty."},
        {":90", "The Warning threshold is empty."},
        {"!5:6", "The Panic threshold should be empty if '!' is defined for Warning"},
        {"5:!6", "The Warning threshold should be empty if '!' is defined for Panic"},
        // The agent's own expression check and messages.
        {"-5:6", "The threshold -5 is not correct: '-' is not supported\n"},
        {"5:(10)", "The threshold (10) is not correct: ',' is missed.\n"},
        {"5(10,20):30",
         "The threshold 5(10,20) is not correct: a number can't be defined alone.\n"},
        {"5::20:30", kYellowRedOrBand},
        {"5:10::30", kYellowRedOrBand},
        {"a:10::20:30", "The threshold format is not correct: use number for minred."},
        {"5:1b::20:30", "The threshold format is not correct: use number for minyel."},
        {"5:10::2 0:30", "The threshold format is not correct: use number for maxyel."},
        {"5:10::20:30:40", "The threshold format is not correct: use number for maxred."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(checkwmithreshold("Numerical", c.threshold).value_or(""), c.message)
            << c.threshold;
}

TEST(TestQueryRun, ValuesReasonsAndTheLimit) {
    std::string json = R"({
        "Win32_ComputerSystem": [{"NumberOfProcessors": 4, "Name": "WEB1", "SystemType": "x"}],
        "Win32_Processor": [{"ID": "CPU0", "Load": 1}, {"ID": "CPU1", "Load": 2},
                            {"ID": "CPU2", "Load": 3}],
        "Win32_Battery": [],
        "Win32_Mixed": [{"V": "text"}, {"V": null}, {"V": true}, {"V": 7}],
        "Win32_Odd": [{"V": 1}, {"W": 2}],
        "Win32_Big": [{"V": "%A%"}, {"V": "%B%"}]})";
    json.replace(json.find("%A%"), 3, std::string(15000, 'a'));
    json.replace(json.find("%B%"), 3, std::string(15000, 'b'));
    testing::EditorHarness h(json);
    h.wmi.start();
    h.wmi.ConnectWMIDB(kRootCimv2);
    h.provider.brokenQueries.insert("select Load from Win32_Processor where ID='x'");
    const std::string kOneOnly = "Can't handle the query: define one query object only.";
    struct Case {
        std::string query;
        std::string outcome;  // "=" value, or "!" reason
    } cases[] = {
        {kQuery, "=4"},
        {"select   ID from Win32_Processor", "=CPU0|CPU1|CPU2"},
        {"select status from Win32_Battery", "="},
        // Only integers and strings give text; other values add only their "|".
        {"select V from Win32_Mixed", "=text|||7"},
        {"select Name from Win32_NoSuchClass", "!Can't run ExecQuery"},
        {"select V from Win32_Odd", "!" + kOneOnly},
        {"select Nope from Win32_Processor", "!" + kOneOnly},
        {"select Load from Win32_Processor where ID='x'", "!Can't get the object: Load"},
        {"select " + std::string(1024, 'p') + " from x", "!format error"},
    };
    for (const Case& c : cases) {
        WmiQueryRun r = runwmiquery(h.wmi, c.query);
        EXPECT_EQ(r.ok ? "=" + r.value : "!" + r.reason + r.value, c.outcome) << c.query;
    }
    WmiQueryRun big = runwmiquery(h.wmi, "select V from Win32_Big");
    EXPECT_EQ(big.value.size(), kQueryValueMax);
    EXPECT_EQ(big.value.substr(14999, 3), "a|b");
    h.wmi.end();
    EXPECT_EQ(runwmiquery(h.wmi, kQuery).reason, "Can't run ExecQuery") << "not connected";
}

TEST(TestQueryPreview, PlaceholdersFilledInOrder) {
    struct Case {
        const char* threshold;
        const char* pageformat;
        const char* value;
        const char* preview;
    } cases[] = {
        {"0:0", "Query: &query\r\n&value: %value%\r\n", "4",
         "Query: select NumberOfProcessors from Win32_ComputerSystem\r\nNumberOfProcessors: 4\r\n"},
        {"80:90", "%thresholds% w=%warningthreshold% p=%panicthreshold% %color%", "4",
         "80:90 w=80 p=90 %color%"},
        {"!5:", "w=%warningthreshold% p=%panicthreshold%", "4", "w=!5 p="},
        {"10:20::80:90", "w=%warningthreshold% p=%panicthreshold%", "4",
         "w=[10,20][80,90] p=(,10][90,)"},
        // "%value%" goes before "&value": a value with "&value" in it gets
        // the property name.
        {"1:2", "[%value%] &value&value", "x&valuey",
         "[xNumberOfProcessorsy] NumberOfProcessorsNumberOfProcessors"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(previewtext(test("n", "Numerical", c.threshold, kQuery, c.pageformat), c.value),
                  c.preview)
            << c.pageformat;
}

}  // namespace
}  // namespace tw::editor
