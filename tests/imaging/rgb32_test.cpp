#include "imaging/rgb32.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace strixc::imaging {
namespace {

// A bottom-up 24-bit picture whose pixel (x, y from the top) has bytes derived from x and y.
struct Picture {
  int width, height, stride;
  std::vector<uint8_t> bytes;
  Picture(int w, int h, int extraStride = 0)
      : width(w), height(h), stride(RowStride(w) + extraStride), bytes(static_cast<size_t>(stride) * h) {
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        uint8_t* p = At(x, y);
        p[0] = static_cast<uint8_t>(x * 7 + y);
        p[1] = static_cast<uint8_t>(y * 5 + x * 3);
        p[2] = static_cast<uint8_t>((x ^ y) * 11);
      }
    }
  }
  uint8_t* At(int x, int y) { return &bytes[static_cast<size_t>(height - 1 - y) * stride + 3 * x]; }
  PictureView View() const { return {bytes.data(), width, height, stride}; }
};

uint32_t Channel(uint32_t pixel, int c) { return (pixel >> (8 * c)) & 0xFF; }

TEST(Rgb32Test, ConvertFlipsUprightAndIsOpaque) {
  Picture picture(13, 5, 8);  // odd width: the four-pixel loop and its tail
  std::vector<uint32_t> out(13 * 5);
  ASSERT_TRUE(ConvertToRgb32(picture.View(), {reinterpret_cast<uint8_t*>(out.data()), 13, 5, 13 * 4}));
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 13; ++x) {
      const uint32_t p = out[y * 13 + x];
      ASSERT_EQ(p >> 24, 0xFFu);
      for (int c = 0; c < 3; ++c) ASSERT_EQ(Channel(p, c), picture.At(x, y)[c]) << x << "," << y;
    }
  }
  EXPECT_FALSE(ConvertToRgb32(picture.View(), {reinterpret_cast<uint8_t*>(out.data()), 12, 5, 13 * 4}));
}

TEST(Rgb32Test, HalvingAveragesEachTwoByTwoBlockWithinOne) {
  // 37 wide: four blocks of eight output pixels and a scalar tail; 9 high: an odd last row dropped.
  Picture picture(37, 9);
  for (int i = 0; i < 37 * 9; ++i) picture.At(i % 37, i / 37)[i % 3] = static_cast<uint8_t>(std::rand());
  std::vector<uint32_t> half(18 * 4);
  const Rgb32Span span{reinterpret_cast<uint8_t*>(half.data()), 18, 4, 18 * 4};
  ASSERT_TRUE(HalveToRgb32(picture.View(), span));
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 18; ++x) {
      for (int c = 0; c < 3; ++c) {
        const int sum = picture.At(2 * x, 2 * y)[c] + picture.At(2 * x + 1, 2 * y)[c] +
                        picture.At(2 * x, 2 * y + 1)[c] + picture.At(2 * x + 1, 2 * y + 1)[c];
        ASSERT_NEAR(static_cast<int>(Channel(half[y * 18 + x], c)), (sum + 2) / 4, 1) << x << "," << y;
      }
    }
  }
  std::vector<uint32_t> quarter(9 * 2);
  ASSERT_TRUE(HalveRgb32(span, {reinterpret_cast<uint8_t*>(quarter.data()), 9, 2, 9 * 4}));
  EXPECT_FALSE(HalveToRgb32(picture.View(), {reinterpret_cast<uint8_t*>(half.data()), 18, 5, 18 * 4}));
}

}  // namespace
}  // namespace strixc::imaging
