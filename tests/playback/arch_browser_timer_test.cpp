#include "playback/arch_browser_timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace strixc::playback {
namespace {

using namespace std::chrono_literals;
using Clock = ArchBrowserTimer::Clock;

constexpr int64_t kUnitsPerMs = 10000;

// Waits (bounded, for a failing test only) until `done` holds.
template <typename F>
bool Eventually(F done) {
  for (int i = 0; i < 2000 && !done(); ++i) std::this_thread::sleep_for(5ms);
  return done();
}

TEST(ArchBrowserTimerRule, DeadlinesCountFromTheFiredDeadlineInsideATick) {
  const Clock::time_point fired = Clock::time_point{} + 10s;
  const int64_t delay = 40 * kUnitsPerMs;
  // Outside a tick: from now.
  EXPECT_EQ(ArchBrowserTimer::NextDeadline(false, fired, fired + 5s, delay), fired + 5s + 40ms);
  // Inside: from the deadline that fired, however long the tick took.
  EXPECT_EQ(ArchBrowserTimer::NextDeadline(true, fired, fired + 30ms, delay), fired + 40ms);
  // A little late: the plan stands, the tick is due at once and the next ones catch up.
  EXPECT_EQ(ArchBrowserTimer::NextDeadline(true, fired, fired + 200ms, delay), fired + 40ms);
  // Far behind: from now, so no burst of ticks.
  const Clock::time_point now = fired + 40ms + ArchBrowserTimer::kMaxLateness + 1ms;
  EXPECT_EQ(ArchBrowserTimer::NextDeadline(true, fired, now, delay), now);
  EXPECT_EQ(ArchBrowserTimer::NextDeadline(true, fired, fired, 0), fired);
}

// A tick that takes 5 ms and asks for the next one 10 ms on: every fired deadline lies exactly
// 10 ms after the previous one, the work does not add up.
TEST(ArchBrowserTimer, PacingKeepsThePlannedSpacingWhileTicksWork) {
  constexpr int kTicks = 40;
  std::mutex lock;
  std::vector<Clock::time_point> fired;
  ArchBrowserTimer* self = nullptr;
  ArchBrowserTimer timer([&] {
    std::lock_guard<std::mutex> guard(lock);
    fired.push_back(self->FiredDeadline());
    std::this_thread::sleep_for(5ms);
    if (fired.size() < kTicks) self->Schedule(10 * kUnitsPerMs);
  });
  self = &timer;
  timer.Schedule(0);
  ASSERT_TRUE(Eventually([&] {
    std::lock_guard<std::mutex> guard(lock);
    return fired.size() == kTicks;
  }));
  timer.Shutdown();
  int exact = 0;
  for (size_t i = 1; i < fired.size(); ++i) exact += fired[i] - fired[i - 1] == 10ms;
  // Only a stall of more than kMaxLateness rebases a deadline; allow a few.
  EXPECT_GE(exact, kTicks - 4);
}

TEST(ArchBrowserTimer, CancelDropsThePendingTickAndShutdownEndsTheThread) {
  std::atomic<int> ticks{0};
  ArchBrowserTimer timer([&] { ++ticks; });
  timer.Schedule(50 * kUnitsPerMs);
  timer.Cancel();
  timer.Schedule(-1000);  // negative: at once
  ASSERT_TRUE(Eventually([&] { return ticks.load() == 1; }));
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(ticks.load(), 1);
  // Shutdown does not wait for a pending deadline, and nothing runs after it.
  timer.Schedule(3600LL * 1000 * kUnitsPerMs);
  timer.Shutdown();
  timer.Schedule(0);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(ticks.load(), 1);
}

// The owner takes its lock in the tick; an operation that held the lock while the tick fired has
// rescheduled or cancelled, so the tick must see that it is stale.
TEST(ArchBrowserTimer, ATickOvertakenByAScheduleFromOutsideIsStale) {
  std::mutex owner;
  std::atomic<int> entered{0};
  std::vector<bool> current;
  ArchBrowserTimer* self = nullptr;
  ArchBrowserTimer timer([&] {
    ++entered;
    std::lock_guard<std::mutex> guard(owner);
    current.push_back(self->IsCurrentTick());
  });
  self = &timer;
  {
    std::lock_guard<std::mutex> guard(owner);
    timer.Schedule(0);
    ASSERT_TRUE(Eventually([&] { return entered.load() == 1; }));  // fired, waits for `owner`
    timer.Cancel();
    timer.Schedule(20 * kUnitsPerMs);
  }
  ASSERT_TRUE(Eventually([&] { return entered.load() == 2; }));
  timer.Shutdown();
  std::lock_guard<std::mutex> guard(owner);
  EXPECT_EQ(current, (std::vector<bool>{false, true}));
}

}  // namespace
}  // namespace strixc::playback
