#include "imaging/filters.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "support/colours.h"
#include "support/test_picture.h"

namespace strixc::imaging {
namespace {

using namespace strixc::test;

constexpr uint8_t kSentinel = 0xAA;

// Padding and unset bytes hold kSentinel.
class Picture : public TestPicture {
 public:
  Picture(int width, int height, int extraStride = 0)
      : TestPicture(width, height, RowStride(width) + extraStride, kSentinel) {}
};

void ExpectBgr(Bgr actual, Bgr expected, const char* where) {
  EXPECT_EQ(actual.blue, expected.blue) << where;
  EXPECT_EQ(actual.green, expected.green) << where;
  EXPECT_EQ(actual.red, expected.red) << where;
}

using Filter = bool (*)(const PictureView&, const PictureSpan&);
constexpr Filter kFilters[] = {SharpenBuiltIn, Smooth3x3, Sharpen3x3};

TEST(FiltersTest, FlatPictureStaysFlatEverywhere) {
  for (Filter filter : kFilters) {
    for (auto [w, h] :
         {std::pair{7, 5}, std::pair{1, 4}, std::pair{4, 1}, std::pair{1, 1}, std::pair{2, 2}}) {
      Picture source(w, h), destination(w, h);
      source.Fill({90, 140, 33});
      ASSERT_TRUE(filter(source.View(), destination.Span()));
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) ExpectBgr(destination.At(x, y), {90, 140, 33}, "flat");
    }
  }
}

TEST(FiltersTest, WideStrideGivesSameResultAndLeavesPaddingAlone) {
  for (Filter filter : kFilters) {
    Picture source(9, 6), destination(9, 6);
    Picture wideSource(9, 6, 8), wideDestination(9, 6, 8);
    source.Pattern();
    wideSource.Pattern();
    ASSERT_TRUE(filter(source.View(), destination.Span()));
    ASSERT_TRUE(filter(wideSource.View(), wideDestination.Span()));
    for (int y = 0; y < 6; ++y) {
      for (int x = 0; x < 9; ++x) ExpectBgr(wideDestination.At(x, y), destination.At(x, y), "wide");
      for (int i = 27; i < RowStride(9) + 8; ++i) {
        EXPECT_EQ(wideDestination.Pixel(0, y)[i], kSentinel);
      }
    }
  }
}

TEST(FiltersTest, RefusesMismatchedOrUnusablePicturesWithoutWriting) {
  for (Filter filter : kFilters) {
    Picture source(5, 4), wider(6, 4), taller(5, 5);
    source.Pattern();
    EXPECT_FALSE(filter(source.View(), wider.Span()));
    EXPECT_FALSE(filter(source.View(), taller.Span()));
    EXPECT_FALSE(filter(PictureView{nullptr, 5, 4, 16}, source.Span()));
    for (uint8_t b : wider.Bytes()) EXPECT_EQ(b, kSentinel);
    for (uint8_t b : taller.Bytes()) EXPECT_EQ(b, kSentinel);
  }
}

TEST(SharpenBuiltInTest, InteriorByteFollowsTheFormulaAndEdgesAreCopies) {
  Picture source(4, 3), destination(4, 3);
  source.Pattern();
  // Around (1, 1): blue neighbours 40..47 (sum 348), green all 0, red all 255.
  const int offsets[8][2] = {{0, 0}, {1, 0}, {2, 0}, {0, 1}, {2, 1}, {0, 2}, {1, 2}, {2, 2}};
  for (int n = 0; n < 8; ++n) source.Set(offsets[n][0], offsets[n][1], {40 + n, 0, 255});
  source.Set(1, 1, {100, 200, 0});
  ASSERT_TRUE(SharpenBuiltIn(source.View(), destination.Span()));

  // Blue: (1600 - 348) >> 3 = 156 (floored, not rounded); green clamps high, red low.
  ExpectBgr(destination.At(1, 1), {156, 255, 0}, "interior");
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x)
      if (y == 0 || y == 2 || x == 0 || x == 3) {
        ExpectBgr(destination.At(x, y), source.At(x, y), "edge");
      }
}

TEST(SharpenBuiltInTest, SmallPicturesAreCopied) {
  for (auto [w, h] : {std::pair{2, 5}, std::pair{5, 2}, std::pair{1, 1}}) {
    Picture source(w, h), destination(w, h);
    source.Pattern();
    ASSERT_TRUE(SharpenBuiltIn(source.View(), destination.Span()));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) ExpectBgr(destination.At(x, y), source.At(x, y), "small");
  }
}

TEST(Filters3x3Test, SingleBrightPixelSpreadsWithTheKernelWeights) {
  Picture source(5, 5), smoothed(5, 5), sharpened(5, 5);
  source.Fill(Gray(0)).Set(2, 2, Gray(100));
  ASSERT_TRUE(Smooth3x3(source.View(), smoothed.Span()));
  // 400/16, 200/16 rounded half up, 100/16 rounded down.
  ExpectBgr(smoothed.At(2, 2), Gray(25), "centre");
  ExpectBgr(smoothed.At(1, 2), Gray(13), "side");
  ExpectBgr(smoothed.At(3, 3), Gray(6), "diagonal");
  ExpectBgr(smoothed.At(0, 2), Gray(0), "outside");

  source.Fill(Gray(100)).Set(2, 2, Gray(140));
  ASSERT_TRUE(Sharpen3x3(source.View(), sharpened.Span()));
  ExpectBgr(sharpened.At(2, 2), Gray(255), "centre clamps");
  ExpectBgr(sharpened.At(2, 1), Gray(60), "side");
  ExpectBgr(sharpened.At(1, 1), Gray(100), "diagonal untouched");
}

TEST(Filters3x3Test, CornerPixelCountsItsRepeatedCopies) {
  Picture source(4, 4), destination(4, 4);
  source.Fill(Gray(0)).Set(0, 0, Gray(160));
  ASSERT_TRUE(Smooth3x3(source.View(), destination.Span()));
  ExpectBgr(destination.At(0, 0), Gray(90), "smooth corner: weights 4 + 2 + 2 + 1");
  source.Set(0, 0, Gray(50));
  ASSERT_TRUE(Sharpen3x3(source.View(), destination.Span()));
  ExpectBgr(destination.At(0, 0), Gray(150), "sharpen corner: 5c - 2c");
}

TEST(Filters3x3Test, OnePixelWideAndHighPicturesFilterAlongTheirLength) {
  const int column[] = {50, 50, 80, 50, 50};
  const int smoothExpected[] = {50, 58, 65, 58, 50};  // (1 2 1) / 4 of the column, rounded
  const int sharpenExpected[] = {50, 20, 140, 20, 50};  // 3c - above - below
  Picture tall(1, 5), tallOut(1, 5), wide(5, 1), wideOut(5, 1);
  for (int i = 0; i < 5; ++i) tall.Set(0, i, Gray(column[i])), wide.Set(i, 0, Gray(column[i]));

  ASSERT_TRUE(Smooth3x3(tall.View(), tallOut.Span()));
  for (int i = 0; i < 5; ++i) ExpectBgr(tallOut.At(0, i), Gray(smoothExpected[i]), "smooth 1x5");
  ASSERT_TRUE(Sharpen3x3(tall.View(), tallOut.Span()));
  for (int i = 0; i < 5; ++i) ExpectBgr(tallOut.At(0, i), Gray(sharpenExpected[i]), "sharpen 1x5");
  ASSERT_TRUE(Smooth3x3(wide.View(), wideOut.Span()));
  for (int i = 0; i < 5; ++i) ExpectBgr(wideOut.At(i, 0), Gray(smoothExpected[i]), "smooth 5x1");
  ASSERT_TRUE(Sharpen3x3(wide.View(), wideOut.Span()));
  for (int i = 0; i < 5; ++i) ExpectBgr(wideOut.At(i, 0), Gray(sharpenExpected[i]), "sharpen 5x1");
}

// Applies one adjustment to a 2x1 picture of a grey and a colour; returns the two pixels.
std::pair<Bgr, Bgr> Adjust(ColourAdjuster& adjuster, ColourAdjustment a, Bgr grey, Bgr colour) {
  Picture p(2, 1);
  p.Set(0, 0, grey);
  p.Set(1, 0, colour);
  adjuster.Apply(a, p.Span());
  return {p.At(0, 0), p.At(1, 0)};
}

TEST(ColourAdjusterTest, IdentityChangesNothing) {
  Picture picture(7, 3), original(7, 3);
  picture.Pattern();
  original.Pattern();
  ColourAdjuster adjuster;
  adjuster.Apply({}, picture.Span());
  EXPECT_EQ(picture.Bytes(), original.Bytes());
}

TEST(ColourAdjusterTest, BrightnessAndContrastMoveGreyTheRightWay) {
  ColourAdjuster adjuster;
  auto [brighter, saturated] = Adjust(adjuster, {.brightness = 100}, Gray(100), Gray(200));
  ExpectBgr(brighter, Gray(228), "+100 is about +128");
  ExpectBgr(saturated, Gray(255), "clamps high");
  ExpectBgr(Adjust(adjuster, {.brightness = -100}, Gray(100), Gray(0)).first, Gray(0), "clamp low");
  ExpectBgr(Adjust(adjuster, {.brightness = 900}, Gray(20), Gray(0)).first, Gray(148), "as 100");

  auto [grey, colour] = Adjust(adjuster, {.contrast = -100}, Gray(3), {250, 10, 90});
  ExpectBgr(grey, Gray(128), "flat");
  ExpectBgr(colour, Gray(128), "flat");
  auto [dark, light] = Adjust(adjuster, {.contrast = 50}, Gray(100), Gray(160));
  EXPECT_LT(dark.blue, 100);
  EXPECT_GT(light.blue, 160);
  auto [black, white] = Adjust(adjuster, {.contrast = 100}, Gray(120), Gray(136));
  ExpectBgr(black, Gray(48), "strong but finite");
  ExpectBgr(white, Gray(208), "strong but finite");
}

TEST(ColourAdjusterTest, ColourfulnessScalesDistanceFromLuma) {
  ColourAdjuster adjuster;
  auto [grey, red] = Adjust(adjuster, {.colourfulness = -100}, Gray(77), kRed);
  ExpectBgr(grey, Gray(77), "grey keeps its level");
  ExpectBgr(red, Gray(76), "77 * 255 >> 8");
  auto [stillGrey, vivid] = Adjust(adjuster, {.colourfulness = 100}, Gray(77), {100, 120, 140});
  ExpectBgr(stillGrey, Gray(77), "grey has no colour to scale");
  ExpectBgr(vivid, {77, 117, 157}, "twice the distance from luma 123");
}

TEST(ColourAdjusterTest, ChangedSettingRebuildsTheTable) {
  ColourAdjuster adjuster;
  Adjust(adjuster, {.brightness = 50}, Gray(100), Gray(0));
  ExpectBgr(Adjust(adjuster, {.contrast = -100}, Gray(100), Gray(0)).first, Gray(128), "contrast");
  ExpectBgr(Adjust(adjuster, {.brightness = -50}, Gray(100), Gray(0)).first, Gray(36), "back");
  // Only colourfulness changes: the brightness table still applies.
  ExpectBgr(Adjust(adjuster, {.brightness = -50, .colourfulness = -100}, Gray(100), Gray(0)).first,
            Gray(36), "with colourfulness");
}

}  // namespace
}  // namespace strixc::imaging
