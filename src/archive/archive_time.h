#pragma once

// Times as 64-bit counts of 100 ns units since 1601-01-01 00:00; 0 means none. Two clocks count in
// them:
// - the wall clock (the system clock plus the local UTC offset of the moment): what the server sends
//   (live frames, its archive) and what the operator reads and types;
// - the local archive's clock: the zone's STANDARD time (UTC plus the zone's offset without daylight
//   saving). It never goes back at a daylight-saving change, so the recorder's times keep real
//   steps all year; outside summer time it equals the wall clock.
// ToWallClock and FromWallClock are the one place that converts between the two: every display,
// command-line time, day boundary and calendar mark of the local archive goes through them.
// The calendar arithmetic (FieldsOfTime, TimeOfFields, FormatTime, ParseTime) is plain proleptic
// Gregorian over a count as it stands: no time zone enters there.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace strixc::archive {

constexpr uint64_t kUnitsPerSecond = 10'000'000;
constexpr uint64_t kUnitsPerDay = 864'000'000'000;
constexpr uint64_t kSecondsFrom1601To1970 = 11'644'473'600;

// The calendar fields of an archive time. Years run from 1601 on.
struct TimeFields {
  int year = 1601;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// Now, on the local archive's clock (standard time). Any thread.
uint64_t ArchiveTimeNow();
// Now, on the wall clock: the server's clock (the simulator stamps its frames with it). Any thread.
uint64_t WallClockNow();

// The wall-clock time of an archive time, and back. The zone is the process's (TZ), read at each
// call. In the hour that the wall clock repeats in autumn, FromWallClock takes the first (summer)
// one; a wall-clock time that the spring change skips is taken as the clock would have shown it
// without the change (02:30 becomes 03:30 summer time). 0 stays 0.
uint64_t ToWallClock(uint64_t archiveTime);
uint64_t FromWallClock(uint64_t wallClock);
// The first and last archive time of the wall-clock day that holds `archiveTime` (23 or 25 hours
// long on the days of the changes).
struct ArchiveDay {
  uint64_t first = 0;
  uint64_t last = 0;
};
ArchiveDay ArchiveDayOf(uint64_t archiveTime);

TimeFields FieldsOfTime(uint64_t time);
// The inverse of FieldsOfTime; std::nullopt for fields out of range or before 1601.
std::optional<uint64_t> TimeOfFields(const TimeFields& fields);

// A wall-clock time through a strftime format ("%I:%M:%S %p", "%d.%m.%Y"), in the C library's
// current locale, its fields as they stand (the server's times).
std::string FormatLocal(uint64_t time, const char* format);
// An archive time the same way, on the wall clock.
std::string FormatArchiveTime(uint64_t archiveTime, const char* format);

// "YYYY-MM-DDTHH:MM:SS.fff", the form the command-line tools print and read, of a count as it
// stands (a wall-clock time).
std::string FormatTime(uint64_t time);
// Reads "YYYY-MM-DDTHH:MM:SS[.fff]" or "@N" (raw units), as counts as they stand.
std::optional<uint64_t> ParseTime(std::string_view text);

// The command-line forms of an archive time: the wall-clock text, and back ("@N" is raw archive
// units and is taken as it stands).
std::string FormatArchiveTimeText(uint64_t archiveTime);
std::optional<uint64_t> ParseArchiveTime(std::string_view text);

}  // namespace strixc::archive
