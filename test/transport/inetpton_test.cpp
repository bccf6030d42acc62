#include "agent/transport/inetpton.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace tw {
namespace {

std::string v4(const char* text) {
    std::array<unsigned char, 4> b{};
    if (inet_pton(kAfInet, text, b.data()) != 1) return "invalid";
    return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
           std::to_string(b[3]);
}

std::string v6(const char* text) {
    std::array<unsigned char, 16> b{};
    if (inet_pton(kAfInet6, text, b.data()) != 1) return "invalid";
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (unsigned char c : b) {
        out += hex[c >> 4];
        out += hex[c & 15];
    }
    return out;
}

TEST(InetPton, IPv4AcceptsFourDecimalPartsUpTo255InNetworkOrder) {
    EXPECT_EQ(v4("127.0.0.1"), "127.0.0.1");
    EXPECT_EQ(v4("0.0.0.0"), "0.0.0.0");
    EXPECT_EQ(v4("255.255.255.255"), "255.255.255.255");
    EXPECT_EQ(v4("10.200.3.40"), "10.200.3.40");
}

TEST(InetPton, IPv4RejectsWhatTheCLibraryMightTakeOrMisread) {
    for (const char* bad : {"01.2.3.4", "1.2.3.04", "1.2.3.00", "256.1.1.1", "1.2.3", "1.2.3.4.5",
                            "1..2.3", "1.2.3.4 ", " 1.2.3.4", "1.2.3.4.", ".1.2.3.4", "0x1.2.3.4",
                            "1.2.3.0004", "1234.1.1.1", "", "a.b.c.d", "1.2.3.-4"}) {
        EXPECT_EQ(v4(bad), "invalid") << bad;
    }
}

TEST(InetPton, IPv6ConventionalFormsAndCompression) {
    EXPECT_EQ(v6("::"), std::string(32, '0'));
    EXPECT_EQ(v6("::1"), std::string(31, '0') + "1");
    EXPECT_EQ(v6("fe80::1"), "fe80" + std::string(27, '0') + "1");
    EXPECT_EQ(v6("1:2:3:4:5:6:7:8"), "00010002000300040005000600070008");
    EXPECT_EQ(v6("2001:DB8::aB:0"),
              "20010db8"
              "0000000000000000"
              "00ab"
              "0000");
    EXPECT_EQ(v6("1::"), "0001" + std::string(28, '0'));
    EXPECT_EQ(v6("1:2:3:4:5:6:7::"),
              "0001000200030004000500060007"
              "0000");
    EXPECT_EQ(v6("::2:3:4:5:6:7:8"),
              "0000000200030004000500060007"
              "0008");
    // A group is limited by its value, not by its number of digits.
    EXPECT_EQ(v6("00000001::"), "0001" + std::string(28, '0'));
}

TEST(InetPton, IPv6WithTrailingIPv4Part) {
    EXPECT_EQ(v6("::ffff:192.168.1.2"), "00000000000000000000ffffc0a80102");
    EXPECT_EQ(v6("::1.2.3.4"), "00000000000000000000000001020304");
    EXPECT_EQ(v6("1:2:3:4:5:6:1.2.3.4"), "00010002000300040005000601020304");
    EXPECT_EQ(v6("1:2:3:4:5:6:7:1.2.3.4"), "invalid");  // 20 bytes
    EXPECT_EQ(v6("::01.2.3.4"), "invalid");             // IPv4 rules hold inside
    EXPECT_EQ(v6("::1.2.3.4:5"), "invalid");            // the IPv4 part ends the text
    EXPECT_EQ(v6("1.2.3.4"), "invalid");                // only 4 bytes
}

TEST(InetPton, IPv6RejectsMalformedTexts) {
    for (const char* bad : {"", ":", ":1::", "1:2:3:4:5:6:7:8:9", "1::2::3", ":::", "1:::2",
                            "1:", "1:2:3:4:5:6:7:8::", "::1:2:3:4:5:6:7:8", "12345::", "g::1",
                            "fe80::1%eth0", "[::1]", "1:2:3:4:5:6:7", " ::1", "::1 "}) {
        EXPECT_EQ(v6(bad), "invalid") << bad;
    }
}

TEST(InetPton, OtherFamiliesAnswerMinusOneAndFailureLeavesOutputAlone) {
    unsigned char out[16];
    std::fill(std::begin(out), std::end(out), 0xAA);
    EXPECT_EQ(inet_pton(10, "::1", out), -1);  // Linux's AF_INET6 number is not 23
    EXPECT_EQ(inet_pton(0, "1.2.3.4", out), -1);
    EXPECT_EQ(inet_pton(kAfInet, "1.2.3.256", out), 0);
    EXPECT_EQ(inet_pton(kAfInet6, "1::2::3", out), 0);
    EXPECT_EQ(inet_pton(kAfInet, nullptr, out), 0);
    for (unsigned char c : out) EXPECT_EQ(c, 0xAA);
}

}  // namespace
}  // namespace tw
