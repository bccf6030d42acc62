#include "platform/bridge/wmi_bridge.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace tw::platform::bridge {
namespace {

// Answer ids at and beyond the edges of a signed 64-bit figure: the edges
// read exactly, anything beyond is refused rather than wrapped into another
// request's id.
TEST(AnswerReader, IdsAtTheEdgesOf64BitsReadExactlyAndBeyondAreRefused) {
    struct Case {
        const char* id;
        bool read;
        int64_t want;
    } cases[] = {
        {"9223372036854775807", true, INT64_MAX},
        {"-9223372036854775808", true, INT64_MIN},
        {"0", true, 0},
        {"9223372036854775808", false, 0},
        {"-9223372036854775809", false, 0},
        {"18446744073709551616", false, 0},
        {"99999999999999999999999", false, 0},
    };
    AnswerReader reader;
    for (const auto& c : cases) {
        std::string why;
        auto a = reader.read(std::string("{\"id\":") + c.id + ",\"ok\":true}", &why);
        ASSERT_EQ(a.has_value(), c.read) << c.id << ": " << why;
        if (a) {
            EXPECT_TRUE(a->hasId);
            EXPECT_EQ(a->id, c.want) << c.id;
        } else {
            EXPECT_NE(why.find("a number beyond 64 bits"), std::string::npos) << why;
        }
    }
}

}  // namespace
}  // namespace tw::platform::bridge
