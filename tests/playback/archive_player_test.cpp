#include "playback/archive_player.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "playback/playback_fixture.h"

namespace strixc::playback::test {
namespace {

using strixc::test::kBlue;
using strixc::test::kGreen;

constexpr uint64_t kFrame = 40 * kMs;

class ArchivePlayerTest : public PlaybackArchive {
 protected:
  // Cameras 0 and 1 alternate, camera 2 records every fifth frame; enough to fill more than one file.
  std::vector<uint64_t> Record(int count) {
    MakeArchive(4);
    std::vector<uint64_t> times;
    for (int i = 0; i < count; ++i) {
      const int camera = i % 5 == 4 ? 2 : i % 2;
      Key(camera, kT0 + i * kFrame, camera == 0 ? kGreen : kBlue);
      times.push_back(kT0 + i * kFrame);
    }
    return times;
  }
  int NonEmptyFiles() {
    int n = 0;
    for (const auto& f : db_->Files()) n += !f.IsEmpty();
    return n;
  }
};

TEST_F(ArchivePlayerTest, WalksEveryFrameInOrderAcrossFilesBothWays) {
  const std::vector<uint64_t> times = Record(3000);
  ASSERT_GE(NonEmptyFiles(), 2);
  video::PlaybackFrameStore frames;
  ArchivePlayer player(db_.get(), &frames);
  ASSERT_TRUE(player.SeekCamera(0, times.front()));
  player.Refresh();
  std::vector<uint64_t> forward{player.CurrentTime()};
  while (player.Next()) {
    forward.push_back(player.CurrentTime());
    // The look-ahead names the frame Next delivers, or 0 at the end of a file.
    ASSERT_LE(forward.size(), times.size());
  }
  EXPECT_EQ(forward, times);

  ASSERT_TRUE(player.SeekCamera(2, times.back()));
  player.Refresh();
  std::vector<uint64_t> backward{player.CurrentTime()};
  while (player.Previous()) {
    player.Refresh();
    backward.push_back(player.CurrentTime());
    ASSERT_LE(backward.size(), times.size());
  }
  std::reverse(backward.begin(), backward.end());
  EXPECT_EQ(backward, times);
}

TEST_F(ArchivePlayerTest, TheLookAheadNamesTheNextFrameWithinAFile) {
  const std::vector<uint64_t> times = Record(40);
  video::PlaybackFrameStore frames;
  ArchivePlayer player(db_.get(), &frames);
  EXPECT_EQ(player.NextFrameTime(), 0u);
  ASSERT_TRUE(player.SeekCamera(1, times[3]));
  player.Refresh();
  for (size_t i = 3; i + 1 < times.size(); ++i) {
    ASSERT_EQ(player.NextFrameTime(), times[i + 1]);
    ASSERT_TRUE(player.Next());
    ASSERT_EQ(player.CurrentTime(), times[i + 1]);
  }
  // Only shown cameras are walked.
  player.SetCameraMask(1u << 2);
  ASSERT_TRUE(player.SeekCamera(2, times[0]));
  player.Refresh();
  EXPECT_EQ(player.CurrentTime(), times[4]);
  ASSERT_TRUE(player.Next());
  EXPECT_EQ(player.CurrentTime(), times[9]);
  EXPECT_EQ(player.CurrentCamera(), 2);
  EXPECT_FALSE(player.IsSelected(0));
}

}  // namespace
}  // namespace strixc::playback::test
