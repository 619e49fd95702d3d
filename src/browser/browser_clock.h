#pragma once

#include <cstdint>

#include "archive/archive_time.h"

namespace strixc::browser {

// The two clocks a playback source's times can be on (see archive/archive_time.h): the local
// archive's standard-time clock, or the wall clock (a server's archive). The browser takes its
// days through these, so a 23- or 25-hour day is shown as the day it is.

// The first and last time of the wall-clock day that holds `time`; {0, 0} for `time` 0.
archive::ArchiveDay WholeDayOf(uint64_t time, bool wallClock);

// Now on the given clock.
uint64_t NowOn(bool wallClock);

}  // namespace strixc::browser
