#include "agent/transport/destination.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

std::string show(std::string_view dest, uint16_t defaultPort = 1984) {
    Destination d = parsedestination(dest, defaultPort);
    return d.host + " " + std::to_string(d.port);
}

TEST(Destination, FormsOfOneDestination) {
    EXPECT_EQ(show("a"), "a 1984");
    EXPECT_EQ(show("b:2000"), "b 2000");
    EXPECT_EQ(show("[fe80::1]:3000"), "[fe80::1] 3000");
    EXPECT_EQ(show("[fe80::1]"), "[fe80::1] 1984");
    EXPECT_EQ(show("fe80::1"), "fe80::1 1984");
    EXPECT_EQ(show("2001:db8::1:2000"), "2001:db8::1:2000 1984");  // no brackets: no port
    EXPECT_EQ(show("host.example.com:65535"), "host.example.com 65535");
    EXPECT_EQ(show("b:1"), "b 1");
}

TEST(Destination, UnusablePortsFallBackToTheIPportPortButStillEndTheHost) {
    EXPECT_EQ(show("b:0", 4464), "b 4464");
    EXPECT_EQ(show("b:70000"), "b 1984");
    EXPECT_EQ(show("b:abc"), "b 1984");
    EXPECT_EQ(show("b:"), "b 1984");
    EXPECT_EQ(show("b:-5"), "b 1984");
    EXPECT_EQ(show("b: 80"), "b 1984");
    EXPECT_EQ(show("b:99999999999999999999"), "b 1984");
    EXPECT_EQ(show("b:2000x"), "b 2000");  // the number is read up to its first non-digit
    EXPECT_EQ(show("[::1]:x"), "[::1] 1984");
}

TEST(Destination, BracketsComeOffOnlyAsAPair) {
    EXPECT_EQ(stripbrackets("[fe80::1]"), "fe80::1");
    EXPECT_EQ(stripbrackets("[fe80::1"), "[fe80::1");
    EXPECT_EQ(stripbrackets("fe80::1]"), "fe80::1]");
    EXPECT_EQ(stripbrackets("[]"), "");
    EXPECT_EQ(stripbrackets("["), "[");
}

TEST(Destination, ListSplitsInOrderAndSkipsEmptyEntries) {
    using V = std::vector<std::string>;
    EXPECT_EQ(splitdestinations("a;b:2000;[fe80::1]:3000"), (V{"a", "b:2000", "[fe80::1]:3000"}));
    EXPECT_EQ(splitdestinations(""), V{});
    EXPECT_EQ(splitdestinations(";;a;;;b;"), (V{"a", "b"}));
    EXPECT_EQ(splitdestinations("my host;x"), (V{"my host", "x"}));  // blanks stay in names
}

TEST(Destination, ListLongerThanTheLimitDropsTheCutDestinationNotSendsToAShortenedName) {
    // 200 destinations "hNNNN;" of 6 characters: the limit falls after
    // "h11" of "h1170", which must not be tried as a host of its own.
    std::string list;
    for (int i = 0; i < 200; ++i) list += "h" + std::to_string(1000 + i) + ";";
    std::vector<std::string> got = splitdestinations(list);
    ASSERT_EQ(got.size(), 170u);
    EXPECT_EQ(got.front(), "h1000");
    EXPECT_EQ(got.back(), "h1169");

    // An entry that ends exactly at the limit is whole and kept.
    std::string exact = std::string(1020, 'h') + ";ab;cd";
    got = splitdestinations(exact);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1], "ab");
}

}  // namespace
}  // namespace tw
