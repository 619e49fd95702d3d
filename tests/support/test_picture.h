#pragma once

// A picture in our layout (24-bit, padded rows, bottom-up) for the picture tests, addressed as a
// person sees it: (0, 0) is the top left.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "imaging/picture_view.h"
#include "support/colours.h"

namespace strixc::test {

class TestPicture {
 public:
  // `stride` 0: the packed row size. Every byte, padding included, starts as `fill`.
  TestPicture(int width, int height, int stride = 0, uint8_t fill = 0xAA)
      : width_(width),
        height_(height),
        stride_(stride ? stride : imaging::RowStride(width)),
        bytes_(static_cast<size_t>(stride_) * height, fill) {}

  uint8_t* Pixel(int x, int y) { return bytes_.data() + (height_ - 1 - y) * stride_ + 3 * x; }
  Bgr At(int x, int y) {
    const uint8_t* p = Pixel(x, y);
    return {p[0], p[1], p[2]};
  }
  void Set(int x, int y, Bgr c) {
    uint8_t* p = Pixel(x, y);
    p[0] = static_cast<uint8_t>(c.blue);
    p[1] = static_cast<uint8_t>(c.green);
    p[2] = static_cast<uint8_t>(c.red);
  }
  TestPicture& Fill(Bgr c) { return Fill(c, c); }
  // The upper half `top`, the lower half `bottom`.
  TestPicture& Fill(Bgr top, Bgr bottom) {
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) Set(x, y, y < height_ / 2 ? top : bottom);
    }
    return *this;
  }
  // Different values in every byte and channel, so a wrong offset shows.
  TestPicture& Pattern() {
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) {
        Set(x, y, {(x * 37 + y * 11) % 256, (x * 5 + y * 71) % 256, (x * y * 13 + 90) % 256});
      }
    }
    return *this;
  }
  void Assign(const std::vector<uint8_t>& bytes) {
    std::copy_n(bytes.begin(), std::min(bytes.size(), bytes_.size()), bytes_.begin());
  }
  imaging::PictureView View() const { return {bytes_.data(), width_, height_, stride_}; }
  imaging::PictureSpan Span() { return {bytes_.data(), width_, height_, stride_}; }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  int Stride() const { return stride_; }

 private:
  int width_, height_, stride_;
  std::vector<uint8_t> bytes_;
};

}  // namespace strixc::test
