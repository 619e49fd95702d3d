#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "imaging/filters.h"
#include "video/picture.h"

namespace strixc::display {

constexpr int kCameras = 16;

// How one camera is shown: its overlays and, for the archive browser, its crop, zoom, tracking
// area and picture filters. Rectangles are in frame units (0..10000 across the picture).
struct CameraView {
  std::string name;
  std::string caption2;  // appended after the name
  bool showName = true;
  bool showTime = true;
  bool showFps = false;
  int textColor = 5;  // index into kTextColors
  video::Rect areaRect;
  video::Rect zoomRect;  // empty: the whole picture
  video::Rect trackRect;
  int filterMode = 0;  // -1 smooth, 0 none, +1 sharpen
  imaging::ColourAdjustment colour;
};

// The overlay text colours, 0xRRGGBB.
constexpr std::array<uint32_t, 10> kTextColors = {
    0x000000, 0x808080, 0xC4C4C4, 0xFFFFFF, 0xFF0000,
    0x00FF00, 0x0000FF, 0xFFFF00, 0x008000, 0x800000,
};

// The default name of camera `camera` (0-based): "Camera 1" for 0.
std::string DefaultCameraName(int camera);

}  // namespace strixc::display
