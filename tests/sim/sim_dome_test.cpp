// The simulated dome's mechanics on a clock of the test's own: moves integrate over time, steps,
// presets, tours and patterns, the absolute position, and the picture that follows the view.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "sim/dome_scene.h"
#include "sim/sim_dome.h"

namespace strixc::sim {
namespace {

using namespace std::chrono_literals;

class SimDomeTest : public ::testing::Test {
 protected:
  void Send(uint16_t code, std::array<double, 6> p = {}) {
    net::DomeCommandRecord r;
    r.camera = 0;
    r.code = code;
    r.params = p;
    dome_.Apply(r, now_);
  }
  DomeView After(SimDome::Clock::duration d) {
    now_ += d;
    return dome_.ViewAt(now_);
  }

  SimDome dome_;
  SimDome::Clock::time_point now_ = SimDome::Clock::time_point{} + 1000s;
};

TEST_F(SimDomeTest, MovesIntegrateSpeedOverTimeWithTheRequestsSigns) {
  dome_.ViewAt(now_);
  Send(1, {0.5, 0, 0, 0, 0});  // left at half speed
  EXPECT_NEAR(After(1s).pan, 0.5 * SimDome::kPanSpeed, 1e-9);
  EXPECT_TRUE(dome_.ViewAt(now_).moving);
  Send(1, {});  // a stop
  const DomeView stopped = After(5s);
  EXPECT_NEAR(stopped.pan, 30.0, 1e-9);
  EXPECT_FALSE(stopped.moving);

  Send(1, {-1, 0.5, 0, 0, 0});  // right, down
  const DomeView v = After(500ms);
  EXPECT_NEAR(v.pan, 0.0, 1e-9);
  EXPECT_NEAR(v.tilt, 0.25 * SimDome::kTiltSpeed, 1e-9);
  EXPECT_NEAR(After(10s).tilt, SimDome::kMaxTilt, 1e-9) << "tilt stops at its end";
  EXPECT_NEAR(dome_.ViewAt(now_).pan, std::remainder(30.0 - SimDome::kPanSpeed * 10.5, 360.0), 1e-6)
      << "pan wraps around";

  Send(1, {0, 0, -1, 0, 0});  // zoom in
  EXPECT_NEAR(After(1s).zoom, 2.0, 1e-9);
  EXPECT_NEAR(After(10s).zoom, SimDome::kMaxZoom, 1e-9);
  Send(1, {0, 0, 2.0, 0, 0});  // beyond full speed: full speed out
  EXPECT_NEAR(After(2s).zoom, 2.0, 1e-9);
}

TEST_F(SimDomeTest, StepsPresetsAndTheAbsolutePosition) {
  Send(2, {-0.4, -1, 0, 0, 0});
  DomeView v = After(1s);
  EXPECT_NEAR(v.pan, -0.4 * SimDome::kPanStep, 1e-9);
  EXPECT_NEAR(v.tilt, -SimDome::kTiltStep, 1e-9);
  EXPECT_FALSE(v.moving);

  Send(12, {4});
  Send(1, {1, 0, 0, 0, 0});
  EXPECT_GT(After(1s).pan, 50.0);
  Send(11, {4});
  v = After(1s);
  EXPECT_NEAR(v.pan, -4.0, 1e-9) << "the recall stops the move and jumps to the preset";
  EXPECT_NEAR(v.tilt, -5.0, 1e-9);
  Send(11, {7});
  EXPECT_NEAR(After(1s).pan, -4.0, 1e-9) << "an unsaved preset changes nothing";

  Send(23, {0.5, -2, 1, 0, -2, -2});
  v = After(1s);
  EXPECT_NEAR(v.pan, 90.0, 1e-9);
  EXPECT_NEAR(v.tilt, -5.0, 1e-9) << "-2 leaves the tilt";
  EXPECT_NEAR(v.zoom, SimDome::kMaxZoom, 1e-9);
  Send(23, {-2, 1, 0, 0, 0, 0});
  v = After(1s);
  EXPECT_NEAR(v.pan, 90.0, 1e-9);
  EXPECT_NEAR(v.tilt, SimDome::kMaxTilt, 1e-9);
  EXPECT_NEAR(v.zoom, 1.0, 1e-9);

  Send(23, {std::numeric_limits<double>::quiet_NaN(), 0, 0, 0, 0, 0});
  Send(1, {std::numeric_limits<double>::infinity(), 0, 0, 0, 0});
  v = After(1s);
  EXPECT_NEAR(v.pan, 90.0, 1e-9) << "values that are not finite are ignored";
  EXPECT_FALSE(v.moving);
}

TEST_F(SimDomeTest, ATourVisitsTheSavedPresetsOfItsRangeUntilEnded) {
  for (int n : {1, 2, 5}) {
    Send(23, {n / 10.0, -2, -2, 0, 0, 0});
    Send(12, {double(n)});
  }
  Send(13, {4, 0, 1000});  // last 4, first 0: presets 1 and 2
  EXPECT_NEAR(After(100ms).pan, 18.0, 1e-9);
  EXPECT_NEAR(After(1s).pan, 36.0, 1e-9);
  EXPECT_NEAR(After(1s).pan, 18.0, 1e-9) << "back to the first";
  EXPECT_NEAR(After(1h + 1s).pan, 36.0, 1e-9) << "an hour later in step";
  Send(14);
  EXPECT_NEAR(After(5s).pan, 36.0, 1e-9);
  EXPECT_FALSE(dome_.Touring());
}

TEST_F(SimDomeTest, APatternReplaysItsMovesInALoopUntilAnotherCommand) {
  Send(23, {0, 0, 0, 0, 0, 0});
  Send(15, {3});
  now_ += 1s;
  Send(1, {1, 0, 0, 0, 0});
  now_ += 1s;
  Send(1, {});
  now_ += 1s;
  Send(16);
  EXPECT_NEAR(dome_.ViewAt(now_).pan, 60.0, 1e-9);

  Send(17, {3});
  EXPECT_NEAR(After(0s).pan, 0.0, 1e-9) << "the replay starts where the recording did";
  EXPECT_NEAR(After(1500ms).pan, 30.0, 1e-9);
  EXPECT_NEAR(After(1500ms).pan, 0.0, 1e-9) << "second round begins";
  EXPECT_NEAR(After(3h + 2s).pan, 60.0, 1e-9) << "rounds stay in step over hours";
  Send(1, {});
  EXPECT_FALSE(dome_.Replaying());
  EXPECT_NEAR(After(3s).pan, 60.0, 1e-9);
  Send(17, {9});
  EXPECT_FALSE(dome_.Replaying()) << "no such pattern";
}

TEST(DomeSceneTest, ThePictureFollowsTheView) {
  const DomeScene scene(0, 352, 288, "Entrance");
  video::PictureBuffer home, again, turned, zoomed;
  scene.Render(0, DomeView{}, home);
  scene.Render(0, DomeView{}, again);
  scene.Render(0, DomeView{45, 10, 1, false}, turned);
  scene.Render(0, DomeView{0, 0, 4, false}, zoomed);
  const auto differing = [&](const video::PictureBuffer& a, const video::PictureBuffer& b) {
    size_t n = 0;
    for (size_t i = 0; i < a.ImageSize(); ++i) n += a.Bits()[i] != b.Bits()[i];
    return n;
  };
  EXPECT_EQ(differing(home, again), 0u);
  EXPECT_GT(differing(home, turned), home.ImageSize() / 3);
  EXPECT_GT(differing(home, zoomed), home.ImageSize() / 3);
}

}  // namespace
}  // namespace strixc::sim
