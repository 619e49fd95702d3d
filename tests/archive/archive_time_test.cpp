#include "archive/archive_time.h"

#include <gtest/gtest.h>

#include "support/time_zone.h"

namespace strixc::archive {
namespace {

TEST(ArchiveTimeTest, CalendarAtTheExtremesAndRoundTrips) {
  EXPECT_EQ(FormatTime(0), "1601-01-01T00:00:00.000");
  EXPECT_EQ(FormatTime(kUnitsPerDay - 1), "1601-01-01T23:59:59.999");
  // 1970-01-01 and a leap day, computed independently: 134774 days after 1601-01-01.
  EXPECT_EQ(FormatTime(kSecondsFrom1601To1970 * kUnitsPerSecond), "1970-01-01T00:00:00.000");
  const auto leap = ParseTime("2024-02-29T12:34:56.789");
  ASSERT_TRUE(leap);
  EXPECT_EQ(FormatTime(*leap), "2024-02-29T12:34:56.789");
  EXPECT_EQ(*ParseTime("2024-03-01T00:00:00") - *ParseTime("2024-02-28T00:00:00"), 2 * kUnitsPerDay);
  EXPECT_EQ(*ParseTime("2100-03-01T00:00:00") - *ParseTime("2100-02-28T00:00:00"), kUnitsPerDay)
      << "2100 is no leap year";
  // The largest time still prints a four-digit-or-more year without overflow.
  EXPECT_FALSE(FormatTime(UINT64_MAX).empty());
}

TEST(ArchiveTimeTest, ParsingRefusesWhatIsNotATime) {
  EXPECT_EQ(ParseTime("@123"), 123u);
  EXPECT_EQ(ParseTime("@18446744073709551615"), UINT64_MAX);
  EXPECT_FALSE(ParseTime("@18446744073709551616"));
  EXPECT_FALSE(ParseTime("@"));
  EXPECT_FALSE(ParseTime("@12a"));
  EXPECT_FALSE(ParseTime("2023-02-29T00:00:00"));
  EXPECT_FALSE(ParseTime("2023-13-01T00:00:00"));
  EXPECT_FALSE(ParseTime("1600-12-31T23:59:59"));
  EXPECT_FALSE(ParseTime("2023-01-01 00:00:00"));
  EXPECT_FALSE(ParseTime("2023-01-01T00:00:00."));
  EXPECT_FALSE(ParseTime("2023-01-01T00:00:00.1234"));
  EXPECT_EQ(*ParseTime("2023-01-01T00:00:00.5") - *ParseTime("2023-01-01T00:00:00"), kUnitsPerSecond / 2);
}

uint64_t At(const char* text) { return *ParseTime(text); }

TEST(ArchiveTimeTest, NowIsStandardTimeAndTheWallClockIsTheSystemsLocalTime) {
  const uint64_t wall = WallClockNow();
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  const TimeFields f = FieldsOfTime(wall);
  EXPECT_EQ(f.year, local.tm_year + 1900);
  EXPECT_EQ(f.month, local.tm_mon + 1);
  EXPECT_EQ(f.day, local.tm_mday);
  EXPECT_EQ(f.hour, local.tm_hour);
  // Read back on the wall clock, the archive's now is the wall clock's now (the two readings lie
  // a moment apart).
  const uint64_t archive = ArchiveTimeNow();
  const uint64_t shown = ToWallClock(archive);
  EXPECT_LT(shown > wall ? shown - wall : wall - shown, 60 * kUnitsPerSecond);
}

// Warsaw: summer time from 2026-03-29 02:00 to 2026-10-25 03:00 (UTC+2), standard time UTC+1.
TEST(ArchiveTimeTest, WarsawAutumnChangeKeepsArchiveTimeGoingAndShowsTheRepeatedHourTwice) {
  test::ScopedTimeZone zone("Europe/Warsaw");
  // 00:30 and 01:30 UTC: archive times an hour apart, both 02:30 on the wall clock.
  EXPECT_EQ(ToWallClock(At("2026-10-25T01:30:00")), At("2026-10-25T02:30:00"));
  EXPECT_EQ(ToWallClock(At("2026-10-25T02:30:00")), At("2026-10-25T02:30:00"));
  EXPECT_EQ(FormatArchiveTimeText(At("2026-07-01T11:00:00.250")), "2026-07-01T12:00:00.250");
  EXPECT_EQ(FormatArchiveTime(At("2026-07-01T11:00:00"), "%H:%M %d.%m.%Y"), "12:00 01.07.2026");
  // The repeated hour typed on the wall clock means its first, summer, occurrence; @N reaches any.
  EXPECT_EQ(FromWallClock(At("2026-10-25T02:30:00")), At("2026-10-25T01:30:00"));
  EXPECT_EQ(ParseArchiveTime("2026-10-25T02:30:00"), At("2026-10-25T01:30:00"));
  EXPECT_EQ(ParseArchiveTime("@123"), 123u);
  EXPECT_FALSE(ParseArchiveTime("2026-10-25 02:30:00"));
  // The operator's day of the change is 25 hours of archive time, from the summer midnight.
  const ArchiveDay day = ArchiveDayOf(At("2026-10-25T12:00:00"));
  EXPECT_EQ(day.first, At("2026-10-24T23:00:00"));
  EXPECT_EQ(day.last, At("2026-10-26T00:00:00") - 1);
  EXPECT_EQ(ArchiveDayOf(At("2026-10-24T23:30:00")).first, day.first) << "00:30 summer time belongs to the 25th";
  EXPECT_EQ(ArchiveDayOf(At("2026-10-24T22:59:59")).last, day.first - 1);
  // Every archive time of the two days comes back from its wall-clock time, except the second
  // pass of the repeated hour, which comes back as the first.
  for (uint64_t t = At("2026-10-24T00:00:00"); t < At("2026-10-26T00:00:00"); t += 600 * kUnitsPerSecond) {
    const bool secondPass = t >= At("2026-10-25T02:00:00") && t < At("2026-10-25T03:00:00");
    EXPECT_EQ(FromWallClock(ToWallClock(t)), secondPass ? t - 3600 * kUnitsPerSecond : t) << FormatTime(t);
  }
}

TEST(ArchiveTimeTest, WarsawSpringChangeSkipsAnHourOnTheWallClockOnly) {
  test::ScopedTimeZone zone("Europe/Warsaw");
  EXPECT_EQ(ToWallClock(At("2026-03-29T01:59:59")), At("2026-03-29T01:59:59"));
  EXPECT_EQ(ToWallClock(At("2026-03-29T02:00:00")), At("2026-03-29T03:00:00"));
  EXPECT_EQ(FromWallClock(At("2026-03-29T03:30:00")), At("2026-03-29T02:30:00"));
  // 02:30 never shows on the wall clock that night: it is read as the clock without the change.
  EXPECT_EQ(FromWallClock(At("2026-03-29T02:30:00")), At("2026-03-29T02:30:00"));
  const ArchiveDay day = ArchiveDayOf(At("2026-03-29T12:00:00"));
  EXPECT_EQ(day.first, At("2026-03-29T00:00:00"));
  EXPECT_EQ(day.last, At("2026-03-29T23:00:00") - 1) << "a day of 23 hours";
  for (uint64_t t = At("2026-03-28T00:00:00"); t < At("2026-03-31T00:00:00"); t += 600 * kUnitsPerSecond) {
    EXPECT_EQ(FromWallClock(ToWallClock(t)), t) << FormatTime(t);
  }
}

TEST(ArchiveTimeTest, SouthernSummerAndZonesWithoutChangesAndTheEnds) {
  {
    // Sydney: summer time in January (UTC+11), standard time UTC+10.
    test::ScopedTimeZone zone("Australia/Sydney");
    EXPECT_EQ(ToWallClock(At("2026-01-15T12:00:00")), At("2026-01-15T13:00:00"));
    EXPECT_EQ(ToWallClock(At("2026-07-15T12:00:00")), At("2026-07-15T12:00:00"));
  }
  {
    test::ScopedTimeZone zone("UTC");
    EXPECT_EQ(ToWallClock(At("2026-07-15T12:00:00")), At("2026-07-15T12:00:00"));
    EXPECT_EQ(ArchiveDayOf(At("2026-07-15T12:00:00")).first, At("2026-07-15T00:00:00"));
  }
  test::ScopedTimeZone zone("Europe/Warsaw");
  EXPECT_EQ(ToWallClock(0), 0u);
  EXPECT_EQ(FromWallClock(0), 0u);
  EXPECT_NE(ToWallClock(1), 0u) << "a time never becomes none";
  EXPECT_NE(ToWallClock(UINT64_MAX), 0u);
  EXPECT_NE(FromWallClock(UINT64_MAX), 0u);
}

}  // namespace
}  // namespace strixc::archive
