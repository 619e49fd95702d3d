#include "archive/archive_time.h"

#include <gtest/gtest.h>

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

TEST(ArchiveTimeTest, NowIsLocalWallClock) {
  const uint64_t now = ArchiveTimeNow();
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  const TimeFields f = FieldsOfTime(now);
  EXPECT_EQ(f.year, local.tm_year + 1900);
  EXPECT_EQ(f.month, local.tm_mon + 1);
  EXPECT_EQ(f.day, local.tm_mday);
  EXPECT_EQ(f.hour, local.tm_hour);
}

}  // namespace
}  // namespace strixc::archive
