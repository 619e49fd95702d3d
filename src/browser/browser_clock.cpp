#include "browser/browser_clock.h"

namespace strixc::browser {

archive::ArchiveDay WholeDayOf(uint64_t time, bool wallClock) {
  if (time == 0) return {};
  if (!wallClock) return archive::ArchiveDayOf(time);
  // A wall-clock day is always 24 hours of its own count.
  const uint64_t first = time - time % archive::kUnitsPerDay;
  return {first, first + archive::kUnitsPerDay - 1};
}

uint64_t NowOn(bool wallClock) { return wallClock ? archive::WallClockNow() : archive::ArchiveTimeNow(); }

}  // namespace strixc::browser
