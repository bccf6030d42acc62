#include "base/datestamp.h"

#include <gtest/gtest.h>

#include "test/support/manual_clock.h"

namespace tw {
namespace {

// Tue Dec 08 03:20:31 2026 in the given zone.
struct Clock : testing::ManualClock {
    explicit Clock(const char* name) : ManualClock(1796700031) { zone = name; }
};

TEST(Datestamp, PlainAbbreviationIsUsedUnchanged) {
    Clock clock("CET");
    EXPECT_EQ(datestamp(clock), "Tue Dec 08 03:20:31 CET 2026");
}

TEST(Datestamp, ZoneWithBlanksBecomesUpperCasedInitials) {
    Clock four("W. Europe Standard Time");
    EXPECT_EQ(datestamp(four), "Tue Dec 08 03:20:31 WEST 2026");
    Clock lower("pacific standard time");
    EXPECT_EQ(datestamp(lower), "Tue Dec 08 03:20:31 PST 2026");
}

TEST(Datestamp, EmptyZoneGivesNon) {
    Clock clock("");
    EXPECT_EQ(datestamp(clock), "Tue Dec 08 03:20:31 NON 2026");
    EXPECT_EQ(datestampAt(clock, 42), "Thu Jan 01 00:00:42 NON 1970");
}

}  // namespace
}  // namespace tw
