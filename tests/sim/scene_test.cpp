// The simulated cameras' pictures, the archive clock they print, and the pacing of the frame ticks.

#include "sim/scene.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <limits>

#include "archive/archive_time.h"
#include "sim/tick_pacer.h"

namespace strixc::sim {
namespace {

constexpr uint64_t kSecond = archive::kUnitsPerSecond;
// 2024-05-17 12:00:00, a plain archive time to start scenes from.
const uint64_t kNoon = *archive::TimeOfFields({2024, 5, 17, 12, 0, 0, 0});

video::PictureBuffer RenderAt(const Scene& scene, uint64_t time) {
  video::PictureBuffer picture;
  scene.Render(time, picture);
  return picture;
}

bool SamePicture(const video::PictureBuffer& a, const video::PictureBuffer& b) {
  return a.Width() == b.Width() && a.Height() == b.Height() && std::memcmp(a.Bits(), b.Bits(), a.ImageSize()) == 0;
}

// The 8 x 8 blocks in which two pictures of one size differ, as (column, row) of the topmost one.
struct Difference {
  int blocks = 0;
  int topRow = std::numeric_limits<int>::max();
};
Difference BlocksThatDiffer(const video::PictureBuffer& a, const video::PictureBuffer& b) {
  Difference d;
  for (int i = 0; i <= a.LastBlockIndex(); ++i) {
    for (int row = 0; row < 8; ++row) {
      if (std::memcmp(a.BlockTop(i) - row * a.Stride(), b.BlockTop(i) - row * b.Stride(), 24) != 0) {
        ++d.blocks;
        d.topRow = std::min(d.topRow, i / a.BlocksPerRow());
        break;
      }
    }
  }
  return d;
}

// --- Scenes -------------------------------------------------------------------------------------

TEST(SceneTest, SameCameraAndTimeGiveTheSamePicture) {
  const Scene a(3, 352, 288, "Reception");
  const Scene b(3, 352, 288, "Reception");
  EXPECT_TRUE(SamePicture(RenderAt(a, kNoon + 12345), RenderAt(b, kNoon + 12345)));
}

TEST(SceneTest, ObjectsMoveForAWhileThenRest) {
  const Scene scene(5, 352, 288, "Loading Dock");
  int moving = 0, resting = 0;
  uint64_t restStart = 0, restTime = 0, moveTime = 0;
  // Two full out-and-back rounds of the slowest object, in tenths.
  for (uint64_t t = kNoon; t < kNoon + 60 * kSecond; t += kSecond / 10) {
    if (scene.Moving(t)) {
      ++moving;
      moveTime = t;
      restStart = 0;
    } else {
      ++resting;
      if (restStart == 0) restStart = t;
      // A rest a whole second long, checked at its start and one second later.
      if (t - restStart == kSecond) restTime = restStart;
    }
  }
  EXPECT_GT(moving, 0);
  EXPECT_GT(resting, 0);
  ASSERT_NE(restTime, 0u);
  ASSERT_NE(moveTime, 0u);

  // At rest only the clock band at the bottom changes; while moving, blocks above it change too.
  const int bandRows = 6;
  const Difference still = BlocksThatDiffer(RenderAt(scene, restTime), RenderAt(scene, restTime + kSecond));
  EXPECT_GT(still.blocks, 0);
  EXPECT_GE(still.topRow, 288 / 8 - bandRows);
  const Difference moved = BlocksThatDiffer(RenderAt(scene, moveTime - kSecond / 5), RenderAt(scene, moveTime));
  EXPECT_LT(moved.topRow, 288 / 8 - bandRows);
}

class SceneSizeTest : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(SceneSizeTest, RendersAnySizeWithChangesInsideWholeBlocks) {
  const auto [width, height] = GetParam();
  const Scene scene(7, width, height, "Corridor B");
  video::PictureBuffer first = RenderAt(scene, kNoon);
  ASSERT_EQ(first.Width(), width);
  ASSERT_EQ(first.Height(), height);
  const int stride = first.Stride();
  for (uint64_t t = kNoon; t < kNoon + 20 * kSecond; t += kSecond / 3) {
    const video::PictureBuffer p = RenderAt(scene, t);
    for (int y = 0; y < height; ++y) {
      const uint8_t* row = p.Bits() + static_cast<size_t>(height - 1 - y) * stride;
      const uint8_t* firstRow = first.Bits() + static_cast<size_t>(height - 1 - y) * stride;
      // Row padding stays zero.
      for (int i = 3 * width; i < stride; ++i) ASSERT_EQ(row[i], 0) << y;
      // The rest beyond the last whole block never changes.
      const int from = y >= height / 8 * 8 ? 0 : width / 8 * 8;
      ASSERT_EQ(std::memcmp(row + 3 * from, firstRow + 3 * from, 3 * static_cast<size_t>(width - from)), 0) << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, SceneSizeTest,
                         ::testing::Values(std::pair{16, 16}, std::pair{35, 23}, std::pair{100, 60},
                                           std::pair{360, 200}, std::pair{704, 576}));

// --- Tick pacing --------------------------------------------------------------------------------

using Clock = TickPacer::Clock;
using std::chrono::milliseconds;

TEST(TickPacerTest, DeadlinesAdvanceByThePeriodNotFromNow) {
  TickPacer pacer;
  const Clock::time_point start{std::chrono::seconds(1000)};
  pacer.Start(start, milliseconds(40));
  // Served 1 ms after its deadline: the next one stays 40 ms after the first.
  EXPECT_EQ(pacer.Advance(start + milliseconds(1)), milliseconds(39));
  // Served 15 ms late: 25 ms to the next.
  EXPECT_EQ(pacer.Advance(start + milliseconds(55)), milliseconds(25));
  EXPECT_EQ(pacer.Deadline(), start + milliseconds(80));
}

TEST(TickPacerTest, MissedTicksAreDroppedNotBurst) {
  TickPacer pacer;
  const Clock::time_point start{};
  pacer.Start(start, milliseconds(40));
  // 130 ms late for the tick at 40 ms: the ticks at 40..160 are gone, the next is at 200.
  EXPECT_EQ(pacer.Advance(start + milliseconds(170)), milliseconds(30));
  EXPECT_EQ(pacer.Deadline(), start + milliseconds(200));
  // Exactly on a deadline: that tick counts as missed too, the wait is never zero.
  EXPECT_EQ(pacer.Advance(start + milliseconds(240)), milliseconds(40));
}

TEST(TickPacerTest, EarlyTimerAndUnevenPeriods) {
  TickPacer pacer;
  const Clock::time_point start{};
  // 30 per second: 33.3 ms, not a whole number of milliseconds.
  pacer.Start(start, std::chrono::nanoseconds(1'000'000'000 / 30));
  Clock::time_point now = start;
  for (int i = 0; i < 30; ++i) now += pacer.Advance(now);
  // Thirty ticks later the schedule is one second on, up to the nanoseconds lost to the division.
  EXPECT_LT(std::chrono::abs(pacer.Deadline() - (start + std::chrono::seconds(1))), std::chrono::microseconds(1));
  // The waits are rounded up, so a timer never fires before its deadline...
  EXPECT_GE(now, pacer.Deadline());
  // ...and one that fires early anyway does not shorten the next period.
  const Clock::time_point deadline = pacer.Deadline();
  EXPECT_EQ(pacer.Advance(deadline - milliseconds(2)),
            std::chrono::ceil<milliseconds>(pacer.Period()) + milliseconds(2));
}

}  // namespace
}  // namespace strixc::sim
