#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace strixc::playback {

// The pacing thread of a playback source: runs the owner's tick once when a scheduled deadline
// comes, on its own thread, and waits for the next Schedule.
//
// Deadlines keep the recording's own time: a Schedule made from inside the tick counts from the
// deadline that just fired, not from the moment the tick got round to it, so the time spent
// decoding a frame does not add up over a recording. A Schedule from any other thread counts from
// now. A tick that comes late runs at once; when the planned deadline lies more than kMaxLateness
// behind the clock the schedule starts again from now instead of running a burst of ticks to catch
// up (a busy machine, a paused debugger).
//
// Schedule, Cancel and IsCurrentTick may be called from any thread, the tick included. Shutdown (or
// the destructor) must not run while the caller holds a lock the tick takes: it waits for a running
// tick to end.
class ArchBrowserTimer {
 public:
  using Clock = std::chrono::steady_clock;
  // Delays are differences of archive times: 100 ns units. Longer ones are cut to 2 s, so a gap in
  // the recording is shown after 2 s.
  static constexpr int64_t kMaxDelay = 20000000;
  static constexpr Clock::duration kMaxLateness = std::chrono::milliseconds(250);

  // Starts the thread. `onTimer` runs on it for every deadline reached.
  explicit ArchBrowserTimer(std::function<void()> onTimer);
  // Shuts down.
  ~ArchBrowserTimer();
  ArchBrowserTimer(const ArchBrowserTimer&) = delete;
  ArchBrowserTimer& operator=(const ArchBrowserTimer&) = delete;

  // Arms the timer once, `delay` (100 ns units, clamped to 0..kMaxDelay) after the deadline that
  // fired when called from inside the tick, else after now. Replaces a deadline still pending.
  void Schedule(int64_t delay);
  // Drops a pending deadline; a tick that already fired and waits for the owner's lock sees it
  // through IsCurrentTick.
  void Cancel();
  // Cancels, stops and joins the thread. Idempotent. Not from inside the tick: a timer cannot wait
  // for its own thread (it would only be detached, still running).
  void Shutdown();
  // For the owner's tick, under the owner's lock: false when Schedule or Cancel ran from outside
  // the tick since this tick fired, so the tick is stale and must do nothing.
  bool IsCurrentTick();
  // The deadline of the tick running now (or of the last one): what pacing counts from.
  Clock::time_point FiredDeadline();

  // The deadline rule, alone for tests: where the next tick is due when `delay` (already clamped)
  // is asked at `now`, counting from `fired` when `fromTick`.
  static Clock::time_point NextDeadline(bool fromTick, Clock::time_point fired, Clock::time_point now,
                                        int64_t delay);

 private:
  void Run();

  const std::function<void()> onTimer_;
  std::mutex lock_;
  std::condition_variable wake_;
  // Guarded by lock_:
  bool armed_ = false;
  bool stop_ = false;
  Clock::time_point deadline_;
  Clock::time_point fired_;        // the deadline of the tick running or last run
  uint64_t generation_ = 0;        // moved on by every Schedule and Cancel from outside the tick
  uint64_t firedGeneration_ = ~uint64_t{0};
  bool joined_ = false;
  std::thread::id runId_;  // the timer thread, once it runs

  std::thread thread_;
};

}  // namespace strixc::playback
