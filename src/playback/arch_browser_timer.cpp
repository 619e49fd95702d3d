#include "playback/arch_browser_timer.h"

#include <algorithm>

namespace strixc::playback {

ArchBrowserTimer::ArchBrowserTimer(std::function<void()> onTimer) : onTimer_(std::move(onTimer)) {
  thread_ = std::thread([this] { Run(); });
}

ArchBrowserTimer::~ArchBrowserTimer() { Shutdown(); }

ArchBrowserTimer::Clock::time_point ArchBrowserTimer::NextDeadline(bool fromTick,
                                                                   Clock::time_point fired,
                                                                   Clock::time_point now,
                                                                   int64_t delay) {
  const auto step = std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(delay * 100));
  if (!fromTick) return now + step;
  const Clock::time_point planned = fired + step;
  // Far behind: start again from now rather than deliver the missed ticks back to back.
  if (planned + kMaxLateness < now) return now;
  return planned;
}

void ArchBrowserTimer::Schedule(int64_t delay) {
  delay = std::clamp<int64_t>(delay, 0, kMaxDelay);
  std::lock_guard<std::mutex> guard(lock_);
  if (stop_) return;
  const bool fromTick = std::this_thread::get_id() == runId_;
  deadline_ = NextDeadline(fromTick, fired_, Clock::now(), delay);
  armed_ = true;
  if (!fromTick) ++generation_;
  wake_.notify_all();
}

void ArchBrowserTimer::Cancel() {
  std::lock_guard<std::mutex> guard(lock_);
  const bool fromTick = std::this_thread::get_id() == runId_;
  armed_ = false;
  if (!fromTick) ++generation_;
  wake_.notify_all();
}

bool ArchBrowserTimer::IsCurrentTick() {
  std::lock_guard<std::mutex> guard(lock_);
  return !stop_ && firedGeneration_ == generation_;
}

ArchBrowserTimer::Clock::time_point ArchBrowserTimer::FiredDeadline() {
  std::lock_guard<std::mutex> guard(lock_);
  return fired_;
}

void ArchBrowserTimer::Shutdown() {
  bool self = false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    armed_ = false;
    stop_ = true;
    if (joined_) return;
    joined_ = true;
    self = std::this_thread::get_id() == runId_;
    wake_.notify_all();
  }
  // A tick that destroys its own timer cannot wait for itself.
  if (self) {
    thread_.detach();
  } else if (thread_.joinable()) {
    thread_.join();
  }
}

void ArchBrowserTimer::Run() {
  std::unique_lock<std::mutex> guard(lock_);
  runId_ = std::this_thread::get_id();
  while (!stop_) {
    if (!armed_) {
      wake_.wait(guard);
      continue;
    }
    if (Clock::now() < deadline_) {
      wake_.wait_until(guard, deadline_);
      continue;  // re-check: cancelled, rescheduled, stopped or spurious
    }
    armed_ = false;
    fired_ = deadline_;
    firedGeneration_ = generation_;
    guard.unlock();
    onTimer_();
    guard.lock();
  }
}

}  // namespace strixc::playback
