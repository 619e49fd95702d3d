#pragma once

// Views of pictures in the project's layout (docs/pictures.md): 24-bit blue, green, red, rows
// padded to a multiple of 4 bytes and stored bottom-up, so the top row of the picture is the last
// row in memory. A view owns nothing: the bytes belong to the caller and must outlive every use.

#include <cstddef>
#include <cstdint>

namespace strixc::imaging {

// Largest width and height any imaging call accepts.
constexpr int kMaxDimension = 16384;
constexpr int kBytesPerPixel = 3;

// Bytes in one row of a picture `width` pixels wide, padding included.
constexpr int RowStride(int width) { return (kBytesPerPixel * width + 3) & ~3; }
// Bytes in a whole picture with RowStride rows.
constexpr size_t PictureBytes(int width, int height) {
  return static_cast<size_t>(RowStride(width)) * static_cast<size_t>(height);
}

// A picture to read: `height` rows of `stride` bytes starting at `bits`, bottom row first.
// stride may exceed RowStride(width) (a picture inside a wider one).
struct PictureView {
  const uint8_t* bits = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
};

// A picture to write, laid out as PictureView.
struct PictureSpan {
  uint8_t* bits = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
};

// 1..kMaxDimension pixels each way.
bool SizeUsable(int width, int height);
// True when the geometry is usable: bits set, SizeUsable, and every row long enough for its
// pixels.
bool Usable(const PictureView& view);
bool Usable(const PictureSpan& span);

}  // namespace strixc::imaging
