#include "imaging/scaler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>
#include "support/colours.h"
#include "support/test_picture.h"

namespace strixc::imaging {
namespace {

using namespace strixc::test;


constexpr Bgr kOdd{30, 200, 77};
// Interpolating filters blend only near edges; well inside a flat area the colour is exact but for
// rounding.
constexpr int kTolerance = 2;

using Picture = TestPicture;

// A picture holding a copy of what Scaler wrote into a vector.
Picture FromBytes(const std::vector<uint8_t>& bytes, int width, int height) {
  Picture picture(width, height);
  EXPECT_EQ(bytes.size(), picture.Bytes().size());
  picture.Assign(bytes);
  return picture;
}

void ExpectColour(Picture& picture, int x, int y, Bgr expected) {
  const Bgr got = picture.At(x, y);
  EXPECT_NEAR(got.blue, expected.blue, kTolerance) << "blue at " << x << "," << y;
  EXPECT_NEAR(got.green, expected.green, kTolerance) << "green at " << x << "," << y;
  EXPECT_NEAR(got.red, expected.red, kTolerance) << "red at " << x << "," << y;
}

// Checks the first and last rows, at both ends and the middle; when the picture was enlarged, also
// the rows a quarter in from top and bottom (shrinking filters reach too far for those).
void ExpectHalves(Picture& picture, Bgr top, Bgr bottom, bool enlarged) {
  const int w = picture.Width(), h = picture.Height();
  for (int x : {0, w / 2, w - 1}) {
    ExpectColour(picture, x, 0, top);
    ExpectColour(picture, x, h - 1, bottom);
    if (enlarged) {
      ExpectColour(picture, x, h / 4, top);
      ExpectColour(picture, x, h - 1 - h / 4, bottom);
    }
  }
}

void ExpectPaddingZero(const Picture& picture) {
  const int used = 3 * picture.Width();
  for (int row = 0; row < picture.Height(); ++row) {
    for (int i = used; i < picture.Stride(); ++i) {
      ASSERT_EQ(picture.Bytes()[row * picture.Stride() + i], 0) << "row " << row << " byte " << i;
    }
  }
}

class ScalerFilterTest : public ::testing::TestWithParam<ScaleFilter> {};

TEST_P(ScalerFilterTest, KeepsColoursAndOrientationUpAndDown) {
  Scaler scaler;
  // Odd widths: 3 * width is never a multiple of 4, so every row has padding.
  Picture source(35, 21);
  source.Fill(kRed, kBlue);
  for (auto [w, h] : {std::pair{71, 43}, std::pair{17, 11}, std::pair{35, 64}, std::pair{9, 8}}) {
    SCOPED_TRACE(::testing::Message() << w << "x" << h);
    Picture target(w, h);
    ASSERT_TRUE(scaler.Scale(source.View(), target.Span(), GetParam())) << scaler.LastError();
    ExpectHalves(target, kRed, kBlue, h > source.Height());
    ExpectPaddingZero(target);
  }
}

TEST_P(ScalerFilterTest, KeepsLeftAndRight) {
  Scaler scaler;
  Picture source(40, 30);
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) source.Set(x, y, x < 20 ? kGreen : kOdd);
  }
  Picture target(101, 77);
  ASSERT_TRUE(scaler.Scale(source.View(), target.Span(), GetParam())) << scaler.LastError();
  for (int y : {0, 38, 76}) {
    ExpectColour(target, 0, y, kGreen);
    ExpectColour(target, 20, y, kGreen);
    ExpectColour(target, 80, y, kOdd);
    ExpectColour(target, 100, y, kOdd);
  }
}

INSTANTIATE_TEST_SUITE_P(AllFilters, ScalerFilterTest,
                         ::testing::Values(ScaleFilter::kBilinear, ScaleFilter::kBicubic,
                                           ScaleFilter::kArea));

TEST(ScalerTest, SameSizeCopiesExactly) {
  Picture source(13, 7);
  for (int y = 0; y < 7; ++y) {
    for (int x = 0; x < 13; ++x) source.Set(x, y, {x * 19 % 256, y * 37 % 256, (x * y) % 256});
  }
  Scaler scaler;
  std::vector<uint8_t> out;
  ASSERT_TRUE(scaler.Scale(source.View(), 13, 7, ScaleFilter::kBicubic, out));
  Picture target = FromBytes(out, 13, 7);
  for (int y = 0; y < 7; ++y) {
    for (int x = 0; x < 13; ++x) {
      ASSERT_EQ(target.At(x, y).blue, source.At(x, y).blue);
      ASSERT_EQ(target.At(x, y).red, source.At(x, y).red);
    }
  }
  ExpectPaddingZero(target);
}

TEST(ScalerTest, ReadsSourceWithWiderStride) {
  // A picture inside a wider buffer: 10 pixels used of rows 64 bytes long.
  Picture source(10, 8, 64, 0x55);
  source.Fill(kRed, kBlue);
  Scaler scaler;
  std::vector<uint8_t> out;
  ASSERT_TRUE(scaler.Scale(source.View(), 20, 16, ScaleFilter::kBilinear, out));
  Picture target = FromBytes(out, 20, 16);
  ExpectHalves(target, kRed, kBlue, true);
}

TEST(ScalerTest, RowsWithoutPaddingStayInsideTheBuffer) {
  // 4 pixels: 12 bytes a row, no padding, so the source ends exactly with its top row's last
  // pixel; AddressSanitizer catches any read beyond it.
  std::vector<uint8_t> tight(12 * 16);
  Picture source(4, 16);
  source.Fill(kRed, kBlue);
  std::copy(source.Bytes().begin(), source.Bytes().end(), tight.begin());
  Scaler scaler;
  std::vector<uint8_t> out;
  ASSERT_TRUE(
      scaler.Scale(PictureView{tight.data(), 4, 16, 12}, 8, 32, ScaleFilter::kBicubic, out));
  Picture target = FromBytes(out, 8, 32);
  ExpectHalves(target, kRed, kBlue, true);
}

TEST(ScalerTest, GeometryChangesBetweenCallsRebuildTheContext) {
  // One scaler used for two geometries in turn must give what fresh scalers give.
  Picture a(16, 12);
  a.Fill(kRed, kBlue);
  Picture b(30, 10);
  b.Fill(kGreen, kOdd);
  Scaler reused;
  std::vector<uint8_t> out;
  for (int round = 0; round < 2; ++round) {
    for (ScaleFilter filter : {ScaleFilter::kBicubic, ScaleFilter::kArea}) {
      std::vector<uint8_t> fresh;
      ASSERT_TRUE(reused.Scale(a.View(), 24, 18, filter, out));
      ASSERT_TRUE(Scaler().Scale(a.View(), 24, 18, filter, fresh));
      EXPECT_EQ(out, fresh);
      ASSERT_TRUE(reused.Scale(b.View(), 7, 5, filter, out));
      ASSERT_TRUE(Scaler().Scale(b.View(), 7, 5, filter, fresh));
      EXPECT_EQ(out, fresh);
    }
  }
}

// --- Refused arguments ---

TEST(ScalerTest, RefusesBadDestinationSizes) {
  Picture source(8, 8);
  source.Fill(kRed, kBlue);
  Scaler scaler;
  std::vector<uint8_t> out(5, 0x11);
  for (auto [w, h] : {std::pair{0, 8}, std::pair{8, 0}, std::pair{-3, 8}, std::pair{8, -1},
                      std::pair{kMaxDimension + 1, 8}, std::pair{8, kMaxDimension + 1}}) {
    EXPECT_FALSE(scaler.Scale(source.View(), w, h, ScaleFilter::kBicubic, out)) << w << "x" << h;
    EXPECT_EQ(out, std::vector<uint8_t>(5, 0x11));
    EXPECT_STRNE(scaler.LastError(), "");
  }
}

TEST(ScalerTest, RefusesBadSources) {
  Scaler scaler;
  std::vector<uint8_t> bytes(1024);
  std::vector<uint8_t> out;
  EXPECT_FALSE(scaler.Scale(PictureView{nullptr, 4, 4, 12}, 8, 8, ScaleFilter::kBicubic, out));
  EXPECT_FALSE(scaler.Scale(PictureView{bytes.data(), 0, 4, 12}, 8, 8, ScaleFilter::kBicubic, out));
  EXPECT_FALSE(
      scaler.Scale(PictureView{bytes.data(), 4, -4, 12}, 8, 8, ScaleFilter::kBicubic, out));
  // Rows shorter than their pixels.
  EXPECT_FALSE(scaler.Scale(PictureView{bytes.data(), 4, 4, 11}, 8, 8, ScaleFilter::kBicubic, out));
  EXPECT_FALSE(
      scaler.Scale(PictureView{bytes.data(), kMaxDimension + 1, 1, 3 * (kMaxDimension + 1)}, 8, 8,
                   ScaleFilter::kBicubic, out));
  EXPECT_TRUE(out.empty());
}

TEST(ScalerTest, RefusedGeometryFailsCleanly) {
  // The library will not blow one pixel up thousands of times; that must be a plain failure.
  Picture dot(1, 1);
  dot.Set(0, 0, kRed);
  Scaler scaler;
  std::vector<uint8_t> out;
  EXPECT_FALSE(scaler.Scale(dot.View(), kMaxDimension, 1, ScaleFilter::kBicubic, out));
  EXPECT_TRUE(out.empty());
  // And the scaler still works afterwards.
  EXPECT_TRUE(scaler.Scale(dot.View(), 2, 2, ScaleFilter::kBicubic, out));
}

}  // namespace
}  // namespace strixc::imaging
