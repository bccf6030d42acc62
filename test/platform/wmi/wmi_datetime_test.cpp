#include "platform/wmi/wmi_datetime.h"

#include <gtest/gtest.h>

namespace tw::platform {
namespace {

TEST(WmiDateTime, StrictReadingAndWriting) {
    auto dt = parseWmiDateTime("20121005163000.000000+120");
    ASSERT_TRUE(dt);
    EXPECT_EQ(dt->year, 2012);
    EXPECT_EQ(dt->hour, 16);
    EXPECT_EQ(dt->offsetMinutes, 120);
    EXPECT_EQ(wmiDateTimeInstant("20121005163000.0+120"), int64_t{1349447400});
    EXPECT_EQ(wmiDateTimeInstant("20121005093000.000000-300"), int64_t{1349447400});
    EXPECT_FALSE(parseWmiDateTime("20121005163000+120")) << "no fraction";
    EXPECT_FALSE(parseWmiDateTime("20121305163000.000000+120")) << "month 13";
    EXPECT_FALSE(parseWmiDateTime("20120230163000.000000+120")) << "30 February";
    EXPECT_FALSE(parseWmiDateTime("20121005163000.000000")) << "no sign";
    EXPECT_FALSE(parseWmiDateTime("hello"));
    EXPECT_EQ(formatWmiDateTime(wmiDateTimeAt(1349447400, 120)), "20121005163000.000000+120");
    EXPECT_EQ(formatWmiDateTime(wmiDateTimeAt(1349447400, -300)), "20121005093000.000000-300");
}

TEST(WmiDateTime, CalendarArithmeticAroundLeapDaysAndBeforeNineteenSeventy) {
    EXPECT_EQ(daysFromCivil(1970, 1, 1), 0);
    EXPECT_EQ(daysFromCivil(2000, 3, 1) - daysFromCivil(2000, 2, 28), 2);
    EXPECT_EQ(daysFromCivil(1900, 3, 1) - daysFromCivil(1900, 2, 28), 1);
    for (int64_t t : {int64_t{-2208988800}, int64_t{0}, int64_t{951782400}, int64_t{4102444799}}) {
        WmiDateTime d = wmiDateTimeAt(t, 0);
        EXPECT_EQ(utcSeconds(d.year, d.month, d.day, d.hour, d.minute, d.second), t);
    }
}

}  // namespace
}  // namespace tw::platform
