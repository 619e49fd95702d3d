#include "video/region.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace strixc::video {

namespace {

// Holds a camera's frame lock for one scope.
class FrameLock {
 public:
  FrameLock(FrameSource& source, int camera) : source_(source), camera_(camera) {
    source_.LockFrame(camera_);
  }
  ~FrameLock() { source_.UnlockFrame(camera_); }
  FrameLock(const FrameLock&) = delete;
  FrameLock& operator=(const FrameLock&) = delete;

 private:
  FrameSource& source_;
  int camera_;
};

// A frame-unit coordinate mapped onto 0..extent-1. 64-bit: (extent - 1) * 10000 overflows int for
// extents past 214 748 pixels, which a broken header could announce.
int ToPixels(int extent, int units) {
  return static_cast<int>(int64_t{extent - 1} * units / kFrameUnits);
}

}  // namespace

Rect NormaliseFrameRect(Rect r) {
  if (r.left > r.right) std::swap(r.left, r.right);
  if (r.top > r.bottom) std::swap(r.top, r.bottom);
  r.left = std::clamp(r.left, 0, kFrameUnits);
  r.right = std::clamp(r.right, 0, kFrameUnits);
  r.top = std::clamp(r.top, 0, kFrameUnits);
  r.bottom = std::clamp(r.bottom, 0, kFrameUnits);
  return r;
}

bool ExtractRegion(FrameSource& source, int camera, const Rect& area, std::vector<uint8_t>& out) {
  FrameLock lock(source, camera);
  const BitmapInfoHeader* header = source.GetFrameHeader(camera);
  const uint8_t* bits = source.GetFrameBits(camera);
  if (header == nullptr || bits == nullptr) return false;
  return ExtractRegion(*header, bits, area, out);
}

bool ExtractRegion(const BitmapInfoHeader& header, const uint8_t* bits, const Rect& area,
                   std::vector<uint8_t>& out) {
  if (bits == nullptr) return false;
  const int width = header.biWidth;
  const int height = header.biHeight;
  // Only our own layout can be cut row by row; a top-down (negative height) picture is no
  // picture here.
  if (width <= 0 || height <= 0 || header.biBitCount != 24) return false;
  const int stride = PictureStride(width);

  const Rect units = NormaliseFrameRect(area);
  Rect pixels{0, 0, width - 1, height - 1};
  if (!units.Empty()) {
    pixels = Rect{ToPixels(width, units.left), ToPixels(height, units.top),
                  ToPixels(width, units.right), ToPixels(height, units.bottom)};
  }
  const int regionWidth = pixels.right - pixels.left + 1;
  const int regionHeight = pixels.bottom - pixels.top + 1;
  if (regionWidth < 1 || regionHeight < 1) return false;

  const int regionStride = PictureStride(regionWidth);
  const BitmapInfoHeader regionHeader = MakeHeader(regionWidth, regionHeight);
  out.resize(sizeof regionHeader + static_cast<size_t>(regionStride) * regionHeight);
  std::memcpy(out.data(), &regionHeader, sizeof regionHeader);

  uint8_t* rows = out.data() + sizeof regionHeader;
  const size_t rowBytes = 3 * static_cast<size_t>(regionWidth);
  for (int y = 0; y < regionHeight; ++y) {
    // Both pictures are bottom-up: row y from the top lives at (height - 1 - y) rows in.
    const int pictureRow = height - 1 - (pixels.top + y);
    const uint8_t* from = bits + static_cast<size_t>(pictureRow) * stride + 3 * pixels.left;
    uint8_t* to = rows + static_cast<size_t>(regionHeight - 1 - y) * regionStride;
    std::memcpy(to, from, rowBytes);
    std::memset(to + rowBytes, 0, regionStride - rowBytes);
  }
  return true;
}

}  // namespace strixc::video
