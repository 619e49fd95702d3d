#include "display/frame_mapping.h"

#include <algorithm>
#include <cmath>

#include "video/region.h"

namespace strixc::display {

namespace {

video::Rect Visible(const video::Rect& zoom) {
  return zoom.Empty() ? video::Rect{0, 0, video::kFrameUnits, video::kFrameUnits} : zoom;
}

}  // namespace

int MapRange(int v, int a0, int a1, int b0, int b1) {
  if (a0 > a1) std::swap(a0, a1);
  if (b0 > b1) std::swap(b0, b1);
  if (a1 == a0) return b0;
  const double mapped = static_cast<double>(v - a0) * (b1 - b0) / (a1 - a0) + b0 + 0.5;
  return static_cast<int>(std::floor(mapped));
}

video::Rect FrameToCell(const video::Rect& frame, const video::Rect& zoom, const video::Rect& cell) {
  const video::Rect z = Visible(zoom);
  return {MapRange(frame.left, z.left, z.right, cell.left, cell.right),
          MapRange(frame.top, z.top, z.bottom, cell.top, cell.bottom),
          MapRange(frame.right, z.left, z.right, cell.left, cell.right),
          MapRange(frame.bottom, z.top, z.bottom, cell.top, cell.bottom)};
}

video::Rect CellToFrame(const video::Rect& pixels, const video::Rect& zoom, const video::Rect& cell) {
  const video::Rect z = Visible(zoom);
  return {MapRange(pixels.left, cell.left, cell.right, z.left, z.right),
          MapRange(pixels.top, cell.top, cell.bottom, z.top, z.bottom),
          MapRange(pixels.right, cell.left, cell.right, z.left, z.right),
          MapRange(pixels.bottom, cell.top, cell.bottom, z.top, z.bottom)};
}

}  // namespace strixc::display
