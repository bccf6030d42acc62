#include "agent/wmi/wmidate.h"

#include <gtest/gtest.h>

#include "test/support/manual_clock.h"

namespace tw {
namespace {

// The manual clock in a zone of standardMinutes east of UTC, with EU
// daylight time when asked.
struct ZoneClock : tw::testing::ManualClock {
    ZoneClock(int standardMinutes, bool euDaylight) {
        utcOffset = standardMinutes * 60L;
        this->euDaylight = euDaylight;
    }
};

constexpr int64_t k1430Utc = 1349447400;  // 2012-10-05 14:30:00 UTC

TEST(WmiDate, TextFromAnyZoneGivesTheSameInstant) {
    EXPECT_EQ(wmidatetotime("20121005143000.0+000"), k1430Utc);
    EXPECT_EQ(wmidatetotime("20121005143000.000000+000"), k1430Utc);
    EXPECT_EQ(wmidatetotime("20121005163000.000000+120"), k1430Utc);
    EXPECT_EQ(wmidatetotime("20121005093000.000000-300"), k1430Utc);
    EXPECT_EQ(wmidatetotime("20121006000000.0+570"), k1430Utc) << "half-hour zone across midnight";
}

TEST(WmiDate, UnreadableTextsAreRefused) {
    EXPECT_FALSE(wmidatetotime("20121005143000.000000")) << "no sign";
    EXPECT_FALSE(wmidatetotime("18991005143000.0+000")) << "year before 1900";
    EXPECT_FALSE(wmidatetotime("20121305143000.0+000"));
    EXPECT_FALSE(wmidatetotime("20121000143000.0+000"));
    EXPECT_FALSE(wmidatetotime("20121005243000.0+000"));
    EXPECT_FALSE(wmidatetotime("20121005146000.0+000"));
    EXPECT_FALSE(wmidatetotime("20121005143060.0+000"));
    EXPECT_FALSE(wmidatetotime("2012100514"));
    EXPECT_FALSE(wmidatetotime(""));
    EXPECT_TRUE(wmidatetotime("20121031143000.0+000")) << "day 31 is in range";
}

TEST(WmiDate, WrittenInLocalTimeWithTheOffsetOfThatInstant) {
    ZoneClock berlin(60, true);
    EXPECT_EQ(timetowmidate(berlin, k1430Utc), "20121005163000.0+120") << "summer time";
    EXPECT_EQ(timetowmidate(berlin, k1430Utc + 60 * 86400), "20121204153000.0+060") << "winter";
    ZoneClock newYork(-300, false);
    EXPECT_EQ(timetowmidate(newYork, k1430Utc), "20121005093000.0-300");
    ZoneClock utc(0, false);
    EXPECT_EQ(timetowmidate(utc, 0), "19700101000000.0+000");
}

TEST(WmiDate, SummerTextReadInWinterKeepsItsInstant) {
    // The guard against correcting by today's offset: a boot time written in
    // summer and read after the change to winter time must not move an hour.
    ZoneClock berlin(60, true);
    berlin.set(k1430Utc + 60 * 86400);  // December
    const std::string summer = timetowmidate(berlin, k1430Utc);
    EXPECT_EQ(wmidatetotime(summer), k1430Utc);
    for (int64_t t = k1430Utc - 200 * 86400; t < k1430Utc + 200 * 86400; t += 86400 / 3 + 7)
        EXPECT_EQ(wmidatetotime(timetowmidate(berlin, t)), t);
}

}  // namespace
}  // namespace tw
