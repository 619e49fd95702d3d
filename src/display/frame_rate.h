#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace strixc::display {

// A camera's frame rate, counted over windows of a little more than 2 s on a millisecond tick
// that may wrap around.
struct FrameRate {
  static constexpr int32_t kWindowMs = 2000;

  double fps = 0;  // the last rate computed; 0: none yet
  uint32_t windowStart = 0;
  uint32_t frameCount = 0;
  bool started = false;

  // Counts one frame at tick `now`. The first window starts at the camera's first frame, so the
  // first rate is a true one and appears only after more than kWindowMs of frames. Rates at or
  // below one frame a second show as 1.
  void Count(uint32_t now) {
    if (!started) {
      started = true;
      windowStart = now;
      frameCount = 0;
    }
    ++frameCount;
    const int32_t elapsed = static_cast<int32_t>(now - windowStart);
    if (std::abs(static_cast<int64_t>(elapsed)) <= kWindowMs) return;
    const double rate = std::ceil(frameCount * 1000.0 / std::max<int32_t>(elapsed, 1));
    fps = rate > 1.0 ? rate : 1.0;
    windowStart = now;
    frameCount = 0;
  }
};

}  // namespace strixc::display
