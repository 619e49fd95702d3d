#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "sim/scene.h"
#include "sim/sim_dome.h"
#include "video/picture.h"

namespace strixc::sim {

// What a dome camera sees: a window into a landscape all around it. Above the horizon a sky with a
// line every 10 degrees of elevation, a ridge of hills and eight towers at the compass points, each
// with its label ("N 0", "NE 45", ...); below it a tiled plain in perspective. A light line marks
// every 10 degrees of bearing, a stronger one every 90. The camera's name, its number and the
// dome's pan, tilt and zoom are written at the top left, the clock at the bottom, so that both a
// person and a test can tell where the dome points.
//
// The view's pan turns the picture around (positive: the dome looks further left), its tilt moves
// it up and down (positive: down), its zoom narrows the field of view (kWideFieldOfView degrees
// across at 1). The picture is a pure function of the camera, the size, the time and the view.
// Immutable after construction: Render may be called from any thread.
class DomeScene {
 public:
  // Degrees across the picture at zoom 1.
  static constexpr double kWideFieldOfView = 60.0;

  DomeScene(int camera, int width, int height, const std::string& name, std::shared_ptr<const SceneFonts> fonts = nullptr);

  int Width() const { return width_; }
  int Height() const { return height_; }

  // The picture at `time` (archive units) for `view`. `out` is resized to the scene's size.
  void Render(uint64_t time, const DomeView& view, video::PictureBuffer& out) const;

 private:
  void PaintLandscape(const DomeView& view, video::PictureBuffer& out) const;
  void PaintLabels(Canvas& canvas, const DomeView& view) const;
  void PaintCaptions(Canvas& canvas, uint64_t time, const DomeView& view) const;

  const int camera_;
  const int width_;
  const int height_;
  const std::string name_;
  std::shared_ptr<const SceneFonts> fonts_;
  double hue_ = 0;
};

}  // namespace strixc::sim
