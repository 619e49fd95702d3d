#include "playback/motion_reference.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace strixc::playback {

namespace {

constexpr int kFrameUnits = 10000;
constexpr int kBlockBytes = 24;  // one row of an 8 x 8 block, three bytes a pixel

// A frame-unit coordinate onto 0..size - 1, rounded to nearest: as the live motion area is mapped.
int ToPixels(int units, int size) {
  units = std::clamp(units, 0, kFrameUnits);
  return static_cast<int>(std::floor(static_cast<double>(units) * (size - 1) / kFrameUnits + 0.5));
}

// The first byte of the 8 x 8 block whose top-left pixel is (x, y) from the top left; its rows lie
// at decreasing addresses (bottom-up storage).
const uint8_t* BlockTop(const uint8_t* bits, int height, int stride, int x, int y) {
  return bits + static_cast<size_t>(height - 1 - y) * stride + 3 * static_cast<size_t>(x);
}

}  // namespace

void MotionReference::SetSettings(int sensitivity, const video::Rect& area) {
  sensitivity_ = std::clamp(sensitivity, 0, 100);
  area_ = area;
  if (sensitivity_ == 0 || area_.Empty()) reference_.Resize(0, 0);
}

bool MotionReference::Compare(const video::BitmapInfoHeader& header, const uint8_t* bits) {
  const int width = header.biWidth;
  const int height = header.biHeight;
  if (bits == nullptr || width <= 0 || height <= 0 || sensitivity_ == 0 || area_.Empty()) return false;
  if (header.biSizeImage != video::MakeHeader(width, height).biSizeImage) return false;
  if (reference_.Width() != width || reference_.Height() != height) {
    reference_.Resize(width, height);
    std::memcpy(reference_.Bits(), bits, header.biSizeImage);
    return false;
  }
  // Only whole blocks: a picture whose size is not a multiple of 8 keeps its last partial column
  // and row out, as live detection does.
  const int lastColumn = width / 8 - 1;
  const int lastRow = height / 8 - 1;
  const int left = ToPixels(area_.left, width) / 8;
  const int top = ToPixels(area_.top, height) / 8;
  const int right = std::min(ToPixels(area_.right, width) / 8, lastColumn);
  const int bottom = std::min(ToPixels(area_.bottom, height) / 8, lastRow);
  const int stride = video::PictureStride(width);
  const long threshold = static_cast<long>(100 - sensitivity_) * 256;
  for (int row = top; row <= bottom; ++row) {
    for (int column = left; column <= right; ++column) {
      const uint8_t* a = BlockTop(reference_.Bits(), height, stride, 8 * column, 8 * row);
      const uint8_t* b = BlockTop(bits, height, stride, 8 * column, 8 * row);
      long sum = 0;
      for (int line = 0; line < 8; ++line) {
        const ptrdiff_t offset = -static_cast<ptrdiff_t>(line) * stride;
        for (int i = 0; i < kBlockBytes; ++i) sum += std::abs(a[offset + i] - b[offset + i]);
      }
      if (sum > threshold) return true;
    }
  }
  return false;
}

}  // namespace strixc::playback
