#pragma once

// Archive time: a 64-bit count of 100 ns units since 1601-01-01 00:00 of the LOCAL wall clock (the
// system clock plus the local UTC offset); 0 means none. The protocol, the archive files and the
// playback all count in it. Calendar arithmetic here is plain proleptic Gregorian: the time is local
// already, so no time zone enters once a time exists.

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

// Now, on the local wall clock. Any thread.
uint64_t ArchiveTimeNow();

TimeFields FieldsOfTime(uint64_t time);
// The inverse of FieldsOfTime; std::nullopt for fields out of range or before 1601.
std::optional<uint64_t> TimeOfFields(const TimeFields& fields);

// The time through a strftime format ("%I:%M:%S %p", "%d.%m.%Y"), in the C library's current
// locale. The time is local wall-clock time already: no time zone enters.
std::string FormatLocal(uint64_t time, const char* format);

// "YYYY-MM-DDTHH:MM:SS.fff", the form the command-line tools print and read.
std::string FormatTime(uint64_t time);
// Reads "YYYY-MM-DDTHH:MM:SS[.fff]" (local) or "@N" (raw units).
std::optional<uint64_t> ParseTime(std::string_view text);

}  // namespace strixc::archive
