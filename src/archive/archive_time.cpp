#include "archive/archive_time.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace strixc::archive {

namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kDaysFrom1601To1970 = static_cast<int64_t>(kSecondsFrom1601To1970) / kSecondsPerDay;

// Days since 1970-01-01 of a proleptic Gregorian date, and back: eras of 400 years starting on
// March 1st, so that the leap day is the last day of a year.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, TimeFields& f) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  f.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  f.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  f.year = static_cast<int>(yoe + era * 400 + (f.month <= 2));
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

namespace {

// The zone at a UTC instant (seconds since 1970): its offset from UTC in seconds and whether that
// is summer time. `ok` is false when the C library cannot tell (years beyond its range).
struct ZoneState {
  int64_t offset = 0;
  bool summer = false;
  bool ok = false;
};

ZoneState ZoneAt(int64_t utcSeconds) {
  const auto t = static_cast<std::time_t>(utcSeconds);
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return {};
  return {static_cast<int64_t>(local.tm_gmtoff), local.tm_isdst > 0, true};
}

// The zone's offset without daylight saving at a UTC instant: the instant's own offset outside
// summer time, else that of the latest earlier moment outside it (found in steps of 30 days; a
// summer is shorter than a year). The C library names no standard offset per instant, and zones
// have changed theirs in the past, so one fixed value would misplace old recordings.
int64_t StandardOffset(int64_t utcSeconds) {
  const ZoneState at = ZoneAt(utcSeconds);
  if (!at.ok) return 0;
  if (!at.summer) return at.offset;
  constexpr int64_t kStep = 30 * kSecondsPerDay;
  for (int k = 1; k <= 13; ++k) {
    const ZoneState before = ZoneAt(utcSeconds - k * kStep);
    if (before.ok && !before.summer) return before.offset;
  }
  // Summer time all year round: the usual hour ahead of standard time.
  return at.offset - 3600;
}

// StandardOffset for the present. The recorder asks at every frame, and in summer the answer takes a
// search back to the last winter: it is kept for the hour and the summer offset it was found for
// (a changed zone shows as another offset).
int64_t StandardOffsetNow(int64_t utcSeconds) {
  const ZoneState at = ZoneAt(utcSeconds);
  if (!at.ok) return 0;
  if (!at.summer) return at.offset;
  thread_local int64_t hour = -1;
  thread_local int64_t summerOffset = 0;
  thread_local int64_t standard = 0;
  if (utcSeconds / 3600 != hour || at.offset != summerOffset) {
    standard = StandardOffset(utcSeconds);
    hour = utcSeconds / 3600;
    summerOffset = at.offset;
  }
  return standard;
}

constexpr int64_t kEpochSeconds = static_cast<int64_t>(kSecondsFrom1601To1970);
constexpr int64_t kLargestSeconds = static_cast<int64_t>(UINT64_MAX / kUnitsPerSecond) - 1;

// A count of seconds since 1601 with its sub-second units, or `fallback` when it leaves the range.
uint64_t UnitsOf(int64_t secondsFrom1601, uint64_t fraction, uint64_t fallback) {
  if (secondsFrom1601 <= 0 || secondsFrom1601 > kLargestSeconds) return fallback;
  return static_cast<uint64_t>(secondsFrom1601) * kUnitsPerSecond + fraction;
}

uint64_t UnitsSince1970Now() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count() / 100);
}

}  // namespace

uint64_t ArchiveTimeNow() {
  const uint64_t units = UnitsSince1970Now();
  const auto seconds = static_cast<int64_t>(units / kUnitsPerSecond);
  return UnitsOf(seconds + kEpochSeconds + StandardOffsetNow(seconds), units % kUnitsPerSecond, 1);
}

uint64_t WallClockNow() {
  const uint64_t units = UnitsSince1970Now();
  const auto seconds = static_cast<int64_t>(units / kUnitsPerSecond);
  return UnitsOf(seconds + kEpochSeconds + ZoneAt(seconds).offset, units % kUnitsPerSecond, 1);
}

uint64_t ToWallClock(uint64_t archiveTime) {
  if (archiveTime == 0) return 0;
  // Standard time as if it were UTC; the standard offset of the instant is found from a first
  // guess of the instant (it only ever differs across a change of the zone's standard offset).
  const int64_t standard = static_cast<int64_t>(archiveTime / kUnitsPerSecond) - kEpochSeconds;
  int64_t utc = standard - StandardOffset(standard);
  utc = standard - StandardOffset(utc);
  return UnitsOf(utc + ZoneAt(utc).offset + kEpochSeconds, archiveTime % kUnitsPerSecond, archiveTime);
}

uint64_t FromWallClock(uint64_t wallClock) {
  if (wallClock == 0) return 0;
  const int64_t wall = static_cast<int64_t>(wallClock / kUnitsPerSecond) - kEpochSeconds;
  // The offsets a day before and a day after enclose any change near this time (offsets stay
  // within 14 hours); a candidate instant holds when its own offset is the one assumed.
  const ZoneState before = ZoneAt(wall - kSecondsPerDay);
  const ZoneState after = ZoneAt(wall + kSecondsPerDay);
  bool found = false;
  int64_t utc = 0;
  for (const ZoneState& zone : {before, after}) {
    const int64_t candidate = wall - zone.offset;
    if (zone.ok && ZoneAt(candidate).offset == zone.offset && (!found || candidate < utc)) {
      utc = candidate;
      found = true;
    }
  }
  // Inside the hour the spring change skips: as the clock would have shown it without the change.
  if (!found) utc = wall - before.offset;
  return UnitsOf(utc + StandardOffset(utc) + kEpochSeconds, wallClock % kUnitsPerSecond, wallClock);
}

ArchiveDay ArchiveDayOf(uint64_t archiveTime) {
  const uint64_t wall = ToWallClock(archiveTime);
  const uint64_t midnight = wall - wall % kUnitsPerDay;
  ArchiveDay day;
  day.first = FromWallClock(midnight);
  day.last = FromWallClock(midnight + kUnitsPerDay) - 1;
  return day;
}

TimeFields FieldsOfTime(uint64_t time) {
  const uint64_t seconds = time / kUnitsPerSecond;
  const auto days = static_cast<int64_t>(seconds / kSecondsPerDay);
  const auto inDay = static_cast<int>(seconds % kSecondsPerDay);
  TimeFields f;
  CivilFromDays(days - kDaysFrom1601To1970, f);
  f.hour = inDay / 3600;
  f.minute = inDay / 60 % 60;
  f.second = inDay % 60;
  f.millisecond = static_cast<int>(time % kUnitsPerSecond / (kUnitsPerSecond / 1000));
  return f;
}

std::optional<uint64_t> TimeOfFields(const TimeFields& f) {
  if (f.year < 1601 || f.year > 30000 || f.month < 1 || f.month > 12 || f.day < 1 ||
      f.day > DaysInMonth(f.year, f.month) || f.hour < 0 || f.hour > 23 || f.minute < 0 || f.minute > 59 ||
      f.second < 0 || f.second > 59 || f.millisecond < 0 || f.millisecond > 999)
    return std::nullopt;
  const int64_t days = DaysFromCivil(f.year, f.month, f.day) + kDaysFrom1601To1970;
  const int64_t seconds = days * kSecondsPerDay + f.hour * 3600 + f.minute * 60 + f.second;
  return static_cast<uint64_t>(seconds) * kUnitsPerSecond +
         static_cast<uint64_t>(f.millisecond) * (kUnitsPerSecond / 1000);
}

std::string FormatLocal(uint64_t time, const char* format) {
  const TimeFields f = FieldsOfTime(time);
  std::tm tm{};
  tm.tm_year = f.year - 1900;
  tm.tm_mon = f.month - 1;
  tm.tm_mday = f.day;
  tm.tm_hour = f.hour;
  tm.tm_min = f.minute;
  tm.tm_sec = f.second;
  char text[128];
  const size_t n = std::strftime(text, sizeof text, format, &tm);
  return std::string(text, n);
}

std::string FormatArchiveTime(uint64_t archiveTime, const char* format) {
  return FormatLocal(ToWallClock(archiveTime), format);
}

std::string FormatTime(uint64_t time) {
  const TimeFields f = FieldsOfTime(time);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", f.year, f.month, f.day, f.hour,
                f.minute, f.second, f.millisecond);
  return text;
}

std::optional<uint64_t> ParseTime(std::string_view text) {
  if (!text.empty() && text[0] == '@') {
    uint64_t value = 0;
    if (text.size() == 1 || text.size() > 21) return std::nullopt;
    for (char c : text.substr(1)) {
      if (c < '0' || c > '9') return std::nullopt;
      const uint64_t digit = static_cast<uint64_t>(c - '0');
      if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
      value = value * 10 + digit;
    }
    return value;
  }
  TimeFields f;
  int consumed = 0;
  const std::string copy(text);
  if (std::sscanf(copy.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &f.year, &f.month, &f.day, &f.hour, &f.minute,
                  &f.second, &consumed) != 6 ||
      consumed != 19)
    return std::nullopt;
  if (copy.size() > 19) {
    // Up to three digits of fractions of a second after a dot.
    if (copy[19] != '.' || copy.size() == 20 || copy.size() > 23) return std::nullopt;
    int scale = 100;
    for (size_t i = 20; i < copy.size(); ++i, scale /= 10) {
      if (copy[i] < '0' || copy[i] > '9') return std::nullopt;
      f.millisecond += (copy[i] - '0') * scale;
    }
  }
  return TimeOfFields(f);
}

std::string FormatArchiveTimeText(uint64_t archiveTime) { return FormatTime(ToWallClock(archiveTime)); }

std::optional<uint64_t> ParseArchiveTime(std::string_view text) {
  const std::optional<uint64_t> time = ParseTime(text);
  if (!time || (!text.empty() && text[0] == '@')) return time;
  return FromWallClock(*time);
}

}  // namespace strixc::archive
