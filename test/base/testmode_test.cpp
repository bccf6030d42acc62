#include "base/testmode.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(TestModes, SingleBlankSeparatedItemsAreParsedAndLookedUpIgnoringCase) {
    TestModes m;
    m.parse("cpu:d disk:T");
    EXPECT_EQ(m.testmode("cpu"), 'D');
    EXPECT_EQ(m.testmode("DISK"), 'T');
    EXPECT_EQ(m.testmode("mem"), 'P');
}

TEST(TestModes, SecondBlankBecomesPartOfTheNextNameWhichMatchesNothing) {
    TestModes m;
    m.parse("cpu:d  disk:T");
    EXPECT_EQ(m.testmode("cpu"), 'D');
    EXPECT_EQ(m.testmode("disk"), 'P');
    ASSERT_EQ(m.entries().size(), 2u);
    EXPECT_EQ(m.entries()[1].name, " disk");
}

TEST(TestModes, FirstMatchWinsAndTableIsRebuiltOnEachParse) {
    TestModes m;
    m.parse("cpu:G cpu:D");
    EXPECT_EQ(m.testmode("cpu"), 'G');
    m.parse("");
    EXPECT_EQ(m.testmode("cpu"), 'P');
    EXPECT_TRUE(m.entries().empty());
}

TEST(TestModes, TrailingColonWithoutLetterDoesNotReadPastTheText) {
    TestModes m;
    m.parse("cpu:");
    EXPECT_EQ(m.testmode("cpu"), 'P');
    m.parse("cpu:T x");  // separator then a name without a colon
    EXPECT_EQ(m.testmode("cpu"), 'T');
    EXPECT_EQ(m.entries().size(), 1u);
}

TEST(TestModes, DefaultTestsTextAndEntryLimits) {
    TestModes m;
    m.parse("procs:P msgs:P cpu:P disk:P netprotl:P mem:P pagefile:P svcs:P netdata:D wmitest:D");
    EXPECT_EQ(m.entries().size(), 10u);
    EXPECT_EQ(m.testmode("netdata"), 'D');
    EXPECT_EQ(m.testmode("wmitest"), 'D');
    std::string many;
    for (int i = 0; i < 1500; ++i) many += "t" + std::to_string(i) + ":D ";
    m.parse(many);
    EXPECT_EQ(m.entries().size(), 1024u);
    std::string longName(300, 'x');
    m.parse(longName + ":T");
    ASSERT_EQ(m.entries().size(), 1u);
    EXPECT_EQ(m.entries()[0].name.size(), 256u);
}

}  // namespace
}  // namespace tw
