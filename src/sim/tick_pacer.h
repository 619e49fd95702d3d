#pragma once

#include <chrono>

namespace strixc::sim {

// The schedule of a periodic tick on the monotonic clock. Each deadline is the previous one plus the
// period, never "now" plus the period, so a late timer does not shift the ticks that follow; when
// the caller fell behind by whole periods, those ticks are dropped rather than fired in a burst.
class TickPacer {
 public:
  using Clock = std::chrono::steady_clock;

  // The first tick is due at `now`.
  void Start(Clock::time_point now, Clock::duration period) {
    period_ = period.count() > 0 ? period : Clock::duration{1};
    deadline_ = now;
  }

  // Called when the tick due now has been served: moves to the next deadline after `now` and returns
  // how long to wait for it (rounded up to whole milliseconds, which is what timers take).
  std::chrono::milliseconds Advance(Clock::time_point now) {
    deadline_ += period_;
    if (deadline_ <= now) deadline_ += ((now - deadline_) / period_ + 1) * period_;
    return std::chrono::ceil<std::chrono::milliseconds>(deadline_ - now);
  }

  Clock::time_point Deadline() const { return deadline_; }
  Clock::duration Period() const { return period_; }

 private:
  Clock::duration period_{1};
  Clock::time_point deadline_{};
};

}  // namespace strixc::sim
