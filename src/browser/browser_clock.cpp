#include "browser/browser_clock.h"

#include <string>

#include "shell/string_ids.h"

namespace strixc::browser {

archive::ArchiveDay WholeDayOf(uint64_t time, bool wallClock) {
  if (time == 0) return {};
  if (!wallClock) return archive::ArchiveDayOf(time);
  // A wall-clock day is always 24 hours of its own count.
  const uint64_t first = time - time % archive::kUnitsPerDay;
  return {first, first + archive::kUnitsPerDay - 1};
}

uint64_t NowOn(bool wallClock) { return wallClock ? archive::WallClockNow() : archive::ArchiveTimeNow(); }

QString TimeAndDateText(uint64_t time, bool wallClock) {
  if (time == 0) return {};
  const uint64_t wall = wallClock ? time : archive::ToWallClock(time);
  const std::string clock(shell::Text(shell::text::kTimeFormat));
  const std::string date(shell::Text(shell::text::kDateFormat));
  return QString::fromStdString(archive::FormatLocal(wall, clock.c_str()) + " / " +
                                archive::FormatLocal(wall, date.c_str()));
}

}  // namespace strixc::browser
