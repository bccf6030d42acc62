#include "agent/core/base/datestamp.h"

#include <gtest/gtest.h>

#include "platform/clock.h"

namespace tw {
namespace {

// A clock that always reads Tue Dec 08 03:20:31 2026 in the given zone.
class FakeClock : public platform::Clock {
  public:
    explicit FakeClock(std::string zone) : zone_(std::move(zone)) {}
    int64_t now() override { return 1796700031; }
    int64_t monotonicMs() override { return 0; }
    platform::LocalTime localTime(int64_t t) override {
        lastAsked = t;
        platform::LocalTime lt;
        lt.tm.tm_year = 126;
        lt.tm.tm_mon = 11;
        lt.tm.tm_mday = 8;
        lt.tm.tm_wday = 2;
        lt.tm.tm_yday = 341;
        lt.tm.tm_hour = 3;
        lt.tm.tm_min = 20;
        lt.tm.tm_sec = 31;
        lt.zoneName = zone_;
        return lt;
    }
    std::optional<int64_t> fromLocalTime(const std::tm&) override { return std::nullopt; }
    bool sleepSeconds(int64_t) override { return true; }
    bool sleepMs(int64_t) override { return true; }

    int64_t lastAsked = -1;

  private:
    std::string zone_;
};

TEST(Datestamp, PlainAbbreviationIsUsedUnchanged) {
    FakeClock clock("CET");
    EXPECT_EQ(datestamp(clock), "Tue Dec 08 03:20:31 CET 2026");
    EXPECT_EQ(clock.lastAsked, 1796700031);
}

TEST(Datestamp, ZoneWithBlanksBecomesUpperCasedInitials) {
    FakeClock four("W. Europe Standard Time");
    EXPECT_EQ(datestamp(four), "Tue Dec 08 03:20:31 WEST 2026");
    FakeClock lower("pacific standard time");
    EXPECT_EQ(datestamp(lower), "Tue Dec 08 03:20:31 PST 2026");
}

TEST(Datestamp, EmptyZoneGivesNon) {
    FakeClock clock("");
    EXPECT_EQ(datestamp(clock), "Tue Dec 08 03:20:31 NON 2026");
    EXPECT_EQ(datestampAt(clock, 42), "Tue Dec 08 03:20:31 NON 2026");
    EXPECT_EQ(clock.lastAsked, 42);
}

}  // namespace
}  // namespace tw
