#include "imaging/rgb32.h"
#include "imaging/resampler.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <vector>

#include "support/test_picture.h"

namespace strixc::imaging {
namespace {

using test::TestPicture;

uint32_t Channel(uint32_t pixel, int c) { return (pixel >> (8 * c)) & 0xFF; }

TEST(Rgb32Test, ConvertFlipsUprightAndIsOpaque) {
  TestPicture picture(13, 5, RowStride(13) + 8);  // odd width: the four-pixel loop and its tail
  picture.Pattern();
  std::vector<uint32_t> out(13 * 5);
  ASSERT_TRUE(ConvertToRgb32(picture.View(), {reinterpret_cast<uint8_t*>(out.data()), 13, 5, 13 * 4}));
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 13; ++x) {
      const uint32_t p = out[y * 13 + x];
      ASSERT_EQ(p >> 24, 0xFFu);
      for (int c = 0; c < 3; ++c) ASSERT_EQ(Channel(p, c), picture.Pixel(x, y)[c]) << x << "," << y;
    }
  }
  EXPECT_FALSE(ConvertToRgb32(picture.View(), {reinterpret_cast<uint8_t*>(out.data()), 12, 5, 13 * 4}));
}

TEST(Rgb32Test, HalvingAveragesEachTwoByTwoBlockWithinOne) {
  // 37 wide: four blocks of eight output pixels and a scalar tail; 9 high: an odd last row dropped.
  TestPicture picture(37, 9);
  for (int i = 0; i < 37 * 9; ++i) picture.Pixel(i % 37, i / 37)[i % 3] = static_cast<uint8_t>(std::rand());
  std::vector<uint32_t> half(18 * 4);
  const Rgb32Span span{reinterpret_cast<uint8_t*>(half.data()), 18, 4, 18 * 4};
  ASSERT_TRUE(HalveToRgb32(picture.View(), span));
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 18; ++x) {
      for (int c = 0; c < 3; ++c) {
        const int sum = picture.Pixel(2 * x, 2 * y)[c] + picture.Pixel(2 * x + 1, 2 * y)[c] +
                        picture.Pixel(2 * x, 2 * y + 1)[c] + picture.Pixel(2 * x + 1, 2 * y + 1)[c];
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

namespace strixc::imaging {
namespace {

struct Rgb32Picture {
  int width, height;
  std::vector<uint32_t> pixels;
  Rgb32Picture(int w, int h, uint32_t fill = 0) : width(w), height(h), pixels(static_cast<size_t>(w) * h, fill) {}
  Rgb32Span Span() { return {reinterpret_cast<uint8_t*>(pixels.data()), width, height, width * 4}; }
  uint32_t& At(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
};

TEST(ResamplerTest, FlatStaysFlatAndEdgesKeepTheirColours) {
  Rgb32Resampler resampler;
  for (const auto [w, h, tw, th] : {std::array{352, 288, 315, 235}, std::array{5, 3, 64, 48}, std::array{1, 1, 7, 5},
                                    std::array{1, 9, 3, 4}}) {
    Rgb32Picture source(w, h, 0xFF336699);
    Rgb32Picture target(tw, th);
    ASSERT_TRUE(resampler.Scale(source.Span(), target.Span()));
    for (const uint32_t p : target.pixels) ASSERT_EQ(p, 0xFF336699u) << w << "x" << h << " to " << tw << "x" << th;
  }
  // Left half black, right half white: the edges keep their colour, the middle is a ramp.
  Rgb32Picture source(8, 2);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 8; ++x) source.At(x, y) = x < 4 ? 0xFF000000 : 0xFFFFFFFF;
  }
  Rgb32Picture target(32, 4);
  ASSERT_TRUE(resampler.Scale(source.Span(), target.Span()));
  EXPECT_EQ(target.At(0, 0), 0xFF000000u);
  EXPECT_EQ(target.At(31, 3), 0xFFFFFFFFu);
  for (int x = 1; x < 32; ++x) ASSERT_GE(target.At(x, 2) & 0xFF, target.At(x - 1, 2) & 0xFF) << x;
}

TEST(ResamplerTest, RowRangesTogetherGiveTheWholePicture) {
  Rgb32Picture source(97, 61);
  for (size_t i = 0; i < source.pixels.size(); ++i) source.pixels[i] = 0xFF000000u | static_cast<uint32_t>(i * 2654435761u >> 8);
  Rgb32Picture whole(211, 133), parts(211, 133);
  Rgb32Resampler a, b;
  ASSERT_TRUE(a.Scale(source.Span(), whole.Span()));
  ASSERT_TRUE(a.Scale(source.Span(), parts.Span(), 0, 70));
  ASSERT_TRUE(b.Scale(source.Span(), parts.Span(), 70, 133));
  EXPECT_EQ(whole.pixels, parts.pixels);
  EXPECT_FALSE(a.Scale(source.Span(), parts.Span(), 70, 134));
}

}  // namespace
}  // namespace strixc::imaging
