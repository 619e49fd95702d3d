#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "sim/canvas.h"
#include "sim/glyph_font.h"
#include "video/picture.h"

namespace strixc::sim {

// The caption fonts of one picture size, shared by every scene of that size.
struct SceneFonts {
  SceneFonts(int width, int height);
  GlyphFont number;   // the big camera number
  GlyphFont caption;  // the camera's name
  GlyphFont clock;    // time and date
};

// One simulated camera's view: a room in the camera's own colours (walls, a window, a door or
// signs, a tiled floor), the camera number in big digits and its name at the top left, a running
// clock with tenths of a second and the date at the bottom, and two objects that cross the room
// now and then and rest in between.
//
// The picture is a pure function of the camera, the size and the archive time, so that a test can
// render exactly what the server sent for a frame. Everything that changes from frame to frame lies
// inside the whole 8 x 8 blocks of the picture (the right and bottom rest of a size that is not a
// multiple of 8 only ever shows the static background).
//
// Building a scene renders its static background once (tens of milliseconds for large pictures);
// Render then copies it and draws the few moving parts. Immutable after construction: Render and
// Moving may be called from any thread.
class Scene {
 public:
  static constexpr int kObjects = 2;

  // `camera` 0..15 picks the colours, the decoration and the timing; the number shown is camera + 1.
  // Width and height at least 1. `fonts` must be made for the same size; null builds its own.
  Scene(int camera, int width, int height, const std::string& name, std::shared_ptr<const SceneFonts> fonts = nullptr);

  int Width() const { return background_.Width(); }
  int Height() const { return background_.Height(); }

  // The picture at `time` (archive time units). `out` is resized to the scene's size.
  void Render(uint64_t time, video::PictureBuffer& out) const;
  // True while at least one object moves at `time`.
  bool Moving(uint64_t time) const;

 private:
  // One moving object: it goes from A to B, rests, comes back from B to A, rests, and so on.
  struct Mover {
    Sprite sprite;
    Sprite shadow;
    int ax = 0, ay = 0, bx = 0, by = 0;  // top left of the sprite at both ends
    int shadowDx = 0, shadowDy = 0;      // shadow's top left relative to the sprite's
    int hop = 0;                         // height of the hops while moving (0: slides)
    uint64_t period = 1;                 // one way plus the rest after it, archive units
    uint64_t travel = 1;                 // the moving part of it
    uint64_t offset = 0;
  };
  struct Place {
    int x = 0, y = 0, shadowX = 0, shadowY = 0;
    bool moving = false;
  };
  Place PlaceOf(const Mover& mover, uint64_t time) const;

  void PaintRoom();
  void PaintDecoration(Canvas& canvas);
  void ApplyVignette(Canvas& canvas);
  void PaintCaptions(Canvas& canvas);
  void MakeMovers();

  const int camera_;
  const std::string name_;
  std::shared_ptr<const SceneFonts> fonts_;
  video::PictureBuffer background_;
  double hue_ = 0;
  // Geometry shared by the background and the moving parts.
  int blockWidth_ = 0;  // width and height rounded down to whole 8 x 8 blocks
  int blockHeight_ = 0;
  int horizon_ = 0;
  int bandTop_ = 0;
  int clockX_ = 0, clockY_ = 0;
  int dateX_ = -1;  // -1: no room for the date
  int dateY_ = 0;
  int barX_ = 0, barY_ = 0, barWidth_ = 0, barHeight_ = 0;
  Bgr accent_;
  Mover movers_[kObjects];
};

}  // namespace strixc::sim
