#include "video/frame_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <vector>
#include "support/colours.h"

namespace strixc::video {
namespace {

using namespace strixc::test;


using Bytes = std::vector<uint8_t>;


// A picture in our layout filled with one colour.
PictureBuffer Solid(int width, int height, Bgr colour) {
  PictureBuffer p;
  p.Resize(width, height);
  std::memset(p.Bits(), 0, p.ImageSize());
  for (int y = 0; y < height; ++y) {
    uint8_t* row = p.Bits() + static_cast<size_t>(y) * p.Stride();
    for (int x = 0; x < width; ++x) {
      row[3 * x] = static_cast<uint8_t>(colour.blue);
      row[3 * x + 1] = static_cast<uint8_t>(colour.green);
      row[3 * x + 2] = static_cast<uint8_t>(colour.red);
    }
  }
  return p;
}

// Paints 8 x 8 block `block` of the picture.
void PaintBlock(PictureBuffer& p, int block, Bgr colour) {
  uint8_t* top = p.BlockTop(block);
  for (int row = 0; row < 8; ++row)
    for (int x = 0; x < 8; ++x) {
      uint8_t* px = top - static_cast<ptrdiff_t>(row) * p.Stride() + 3 * x;
      px[0] = static_cast<uint8_t>(colour.blue);
      px[1] = static_cast<uint8_t>(colour.green);
      px[2] = static_cast<uint8_t>(colour.red);
    }
}

Bytes Jpeg(const PictureBuffer& p, int quality = 100) {
  JpegCodec codec;
  Bytes out;
  codec.Encode(p.Bits(), p.Width(), p.Height(), quality, out);
  return out;
}

// A delta frame: i16 bit count, the change bitmap ((bits / 8) + 1 bytes), then the JPEG of the
// replacement blocks.
Bytes Delta(int bits, std::initializer_list<int> set, const Bytes& jpeg) {
  Bytes out(2 + bits / 8 + 1, 0);
  out[0] = static_cast<uint8_t>(bits & 0xFF);
  out[1] = static_cast<uint8_t>((bits >> 8) & 0xFF);
  for (int i : set) out[2 + i / 8] |= static_cast<uint8_t>(1 << (i % 8));
  out.insert(out.end(), jpeg.begin(), jpeg.end());
  return out;
}

Bytes EventRecord(const char* text) {
  Bytes out(392, 0);
  std::memcpy(out.data() + 4, text, std::strlen(text));
  return out;
}

Bgr PixelAt(const FrameDecoder& d, int x, int y) {
  const uint8_t* p = d.Picture().PixelTop(x, y);
  return {p[0], p[1], p[2]};
}

void ExpectColour(const FrameDecoder& d, int x, int y, Bgr want) {
  const Bgr got = PixelAt(d, x, y);
  EXPECT_NEAR(got.blue, want.blue, 3) << "at " << x << "," << y;
  EXPECT_NEAR(got.green, want.green, 3) << "at " << x << "," << y;
  EXPECT_NEAR(got.red, want.red, 3) << "at " << x << "," << y;
}

Bytes PictureBytes(const FrameDecoder& d) {
  return Bytes(d.Picture().Bits(), d.Picture().Bits() + d.Picture().ImageSize());
}

constexpr Bgr kGrey = Gray(128);

class FrameDecoderTest : public ::testing::Test {
 protected:
  void Feed(const Bytes& data, int kind, uint64_t time = 1) { decoder_.Decode(data.data(), data.size(), kind, time); }
  void Key(const PictureBuffer& p, uint64_t time = 1) { Feed(Jpeg(p), frame_kind::kKey, time); }

  JpegCodec codec_;
  FrameDecoder decoder_{codec_};
};

// --- Pictures from key, delta and event frames ---------------------------------------------------

TEST_F(FrameDecoderTest, DeltaReplacesTheBlocksOfItsSetBitsInOrder) {
  Key(Solid(352, 288, kGrey));
  ASSERT_EQ(decoder_.Width(), 352);
  // 44 x 36 blocks: bit 0 is the top-left block, bit 1583 the bottom-right one.
  PictureBuffer replacement = Solid(16, 8, kGrey);
  PaintBlock(replacement, 0, kRed);
  PaintBlock(replacement, 1, kBlue);
  Feed(Delta(1584, {0, 1583}, Jpeg(replacement)), frame_kind::kDelta, 2);
  EXPECT_EQ(decoder_.Time(), 2u);
  // Block centres: chroma subsampling blurs colours across block edges.
  ExpectColour(decoder_, 3, 4, kRed);
  ExpectColour(decoder_, 347, 284, kBlue);
  ExpectColour(decoder_, 12, 4, kGrey);
  ExpectColour(decoder_, 339, 284, kGrey);
}

TEST_F(FrameDecoderTest, DeltaBeforeAnyKeyFrameMakesABlackDefaultPicture) {
  PictureBuffer replacement = Solid(8, 8, kRed);
  Feed(Delta(16, {9}, Jpeg(replacement)), frame_kind::kDelta);
  ASSERT_EQ(decoder_.Width(), 384);
  ASSERT_EQ(decoder_.Height(), 288);
  ExpectColour(decoder_, 72, 0, kRed);  // block 9 of 48 per row
  ExpectColour(decoder_, 0, 0, kBlack);
  ExpectColour(decoder_, 383, 287, kBlack);
}

TEST_F(FrameDecoderTest, EventEmptiesThePictureAndTheNextDeltaStartsFresh) {
  Key(Solid(64, 48, kBlue));
  Feed(EventRecord("abc"), frame_kind::kEvent, 7);
  EXPECT_EQ(decoder_.Width(), 0);
  EXPECT_EQ(decoder_.Height(), 0);
  ASSERT_NE(decoder_.EventText(), nullptr);
  EXPECT_STREQ(decoder_.EventText(), "abc");
  EXPECT_EQ(decoder_.Time(), 7u);

  Feed(Delta(8, {0}, Jpeg(Solid(8, 8, kRed))), frame_kind::kDelta);
  EXPECT_EQ(decoder_.EventText(), nullptr);
  EXPECT_EQ(decoder_.Width(), 384);
  ExpectColour(decoder_, 0, 0, kRed);
  ExpectColour(decoder_, 8, 0, kBlack);  // the old picture does not show through
}

TEST_F(FrameDecoderTest, EventTextStaysInsideItsData) {
  Bytes record = {1, 0, 0, 0, 'x', 'y', 'z'};  // no terminating zero
  Feed(record, frame_kind::kEvent);
  ASSERT_NE(decoder_.EventText(), nullptr);
  EXPECT_STREQ(decoder_.EventText(), "xyz");
  Feed(Bytes{1, 0}, frame_kind::kEvent);
  EXPECT_EQ(decoder_.EventText(), nullptr);
}

TEST_F(FrameDecoderTest, BitsBeyondThePictureTakeTheirBlockButAreSkipped) {
  Key(Solid(16, 8, kGrey));  // blocks 0 and 1
  PictureBuffer replacement = Solid(16, 8, kGrey);
  PaintBlock(replacement, 0, kRed);
  PaintBlock(replacement, 1, kBlue);
  Feed(Delta(16, {5, 1}, Jpeg(replacement)), frame_kind::kDelta);
  // Bit 1 comes first and takes replacement block 0; bit 5 takes block 1 and lies beyond.
  ExpectColour(decoder_, 12, 4, kRed);
  ExpectColour(decoder_, 3, 4, kGrey);
}

TEST_F(FrameDecoderTest, ResetEmptiesEverything) {
  Key(Solid(64, 48, kBlue), 5);
  decoder_.Reset();
  EXPECT_EQ(decoder_.Width(), 0);
  EXPECT_EQ(decoder_.Time(), 0u);
  EXPECT_FALSE(decoder_.HasMotion());
}

TEST_F(FrameDecoderTest, NewKeyFrameSizeReplacesTheOldOne) {
  Key(Solid(64, 48, kBlue));
  Key(Solid(32, 16, kRed));
  EXPECT_EQ(decoder_.Width(), 32);
  EXPECT_EQ(decoder_.Picture().Header().biSizeImage, 96u * 16u);
  ExpectColour(decoder_, 31, 15, kRed);
}

// --- Bad frames leave the picture as it was ------------------------------------------------------

class BadFrameTest : public FrameDecoderTest {
 protected:
  void SetUp() override {
    PictureBuffer p = Solid(64, 48, kGrey);
    PaintBlock(p, 3, kRed);
    Key(p);
    before_ = PictureBytes(decoder_);
  }
  void ExpectUnchanged() {
    EXPECT_EQ(decoder_.Width(), 64);
    EXPECT_EQ(decoder_.Height(), 48);
    EXPECT_EQ(PictureBytes(decoder_), before_);
  }
  Bytes before_;
};

TEST_F(BadFrameTest, TruncatedOrGarbageKeyFrame) {
  // A noisy picture, so that most of the stream is entropy-coded data.
  PictureBuffer noisy;
  noisy.Resize(64, 48);
  unsigned seed = 1;
  for (size_t i = 0; i < noisy.ImageSize(); ++i) {
    seed = seed * 1103515245 + 12345;
    noisy.Bits()[i] = static_cast<uint8_t>(seed >> 16);
  }
  const Bytes good = Jpeg(noisy, 90);
  for (size_t cut : {good.size() - 2, good.size() / 2, size_t{20}, size_t{3}}) {
    Feed(Bytes(good.begin(), good.begin() + static_cast<ptrdiff_t>(cut)), frame_kind::kKey);
    ExpectUnchanged();
  }
  for (uint8_t fill : {0x00, 0x55, 0xFF}) {
    Bytes garbage = good;
    std::fill(garbage.begin() + static_cast<ptrdiff_t>(good.size() * 3 / 4),
              garbage.begin() + static_cast<ptrdiff_t>(good.size() * 3 / 4 + 40), fill);
    Feed(garbage, frame_kind::kKey);
    ExpectUnchanged();
  }
  Feed(Bytes(100, 0x55), frame_kind::kKey);
  ExpectUnchanged();
  Feed(good, frame_kind::kKey);
  EXPECT_NE(PictureBytes(decoder_), before_) << "the codec still works after the failures";
}

TEST_F(BadFrameTest, KeyFrameLargerThan4096IsRefused) {
  Bytes big = Jpeg(Solid(16, 16, kBlue));
  // Patch the frame header (SOF0: FF C0, length, precision, height, width) to 5000 x 16.
  for (size_t i = 0; i + 8 < big.size(); ++i) {
    if (big[i] == 0xFF && big[i + 1] == 0xC0) {
      big[i + 7] = 5000 >> 8;
      big[i + 8] = 5000 & 0xFF;
      break;
    }
  }
  Feed(big, frame_kind::kKey);
  ExpectUnchanged();
}

TEST_F(BadFrameTest, DeltaFramesThatLie) {
  const Bytes replacement = Jpeg(Solid(8, 8, kBlue));
  Bytes negative = Delta(8, {0}, replacement);
  negative[0] = 0x00;
  negative[1] = 0x80;  // -32768
  Feed(negative, frame_kind::kDelta);
  ExpectUnchanged();

  // The bitmap of 4000 bits would reach beyond the data.
  Bytes shortBitmap = {0xA0, 0x0F, 0xFF, 0xFF};
  Feed(shortBitmap, frame_kind::kDelta);
  ExpectUnchanged();

  // Three set bits, one replacement block.
  Feed(Delta(48, {0, 1, 2}, replacement), frame_kind::kDelta);
  ExpectUnchanged();

  Bytes truncated = Delta(8, {0}, replacement);
  truncated.resize(truncated.size() - 30);
  Feed(truncated, frame_kind::kDelta);
  ExpectUnchanged();

  Feed(Bytes{8}, frame_kind::kDelta);
  ExpectUnchanged();
  Feed(Bytes{}, frame_kind::kDelta);
  ExpectUnchanged();
}

// --- Motion detection ----------------------------------------------------------------------------

constexpr Rect kWholeFrame{0, 0, 10000, 10000};

TEST_F(FrameDecoderTest, SensitivityThresholdOnReplacedBlocks) {
  // Uniform grey at quality 100 decodes exactly, so one unit more in every byte of a block is a
  // difference of exactly 192: above the threshold 0 of sensitivity 100, below 256 of 99.
  Key(Solid(64, 48, kGrey));
  const Bytes slightly = Jpeg(Solid(8, 8, Gray(129)));
  decoder_.SetMotionDetection(100, kWholeFrame);
  Feed(Delta(8, {2}, slightly), frame_kind::kDelta);
  EXPECT_TRUE(decoder_.HasMotion());

  Key(Solid(64, 48, kGrey));
  decoder_.SetMotionDetection(99, kWholeFrame);
  Feed(Delta(8, {2}, slightly), frame_kind::kDelta);
  EXPECT_FALSE(decoder_.HasMotion());

  decoder_.SetMotionDetection(0, kWholeFrame);
  Feed(Delta(8, {3}, Jpeg(Solid(8, 8, kRed))), frame_kind::kDelta);
  EXPECT_FALSE(decoder_.HasMotion()) << "sensitivity 0 compares nothing";

  decoder_.SetMotionDetection(100, Rect{});
  Feed(Delta(8, {4}, Jpeg(Solid(8, 8, kBlue))), frame_kind::kDelta);
  EXPECT_FALSE(decoder_.HasMotion()) << "an empty area compares nothing";
}

TEST_F(FrameDecoderTest, MotionOnlyInsideTheArea) {
  Key(Solid(64, 48, kGrey));
  // The right half of the picture: x from 32 (rounded from 5000 of 0..63) on.
  decoder_.SetMotionDetection(50, Rect{5000, 0, 10000, 10000});
  EXPECT_EQ(decoder_.MotionAreaPixels(), (Rect{32, 0, 63, 47}));
  Feed(Delta(8, {0}, Jpeg(Solid(8, 8, kRed))), frame_kind::kDelta);
  EXPECT_FALSE(decoder_.HasMotion()) << "block 0 lies left of the area";
  Feed(Delta(8, {5}, Jpeg(Solid(8, 8, kRed))), frame_kind::kDelta);
  EXPECT_TRUE(decoder_.HasMotion());
}

TEST_F(FrameDecoderTest, KeyFramesCompareWithThePreviousPicture) {
  decoder_.SetMotionDetection(50, kWholeFrame);
  Key(Solid(64, 48, kGrey));
  EXPECT_FALSE(decoder_.HasMotion()) << "nothing to compare the first picture with";
  Key(Solid(64, 48, kGrey));
  EXPECT_FALSE(decoder_.HasMotion());
  PictureBuffer changed = Solid(64, 48, kGrey);
  PaintBlock(changed, 20, kRed);
  Key(changed);
  EXPECT_TRUE(decoder_.HasMotion());
  // A failed key frame clears the flag but keeps the picture.
  Feed(Bytes(50, 1), frame_kind::kKey);
  EXPECT_FALSE(decoder_.HasMotion());
  ExpectColour(decoder_, 8 * (20 % 8) + 4, 8 * (20 / 8) + 4, kRed);
}

TEST_F(FrameDecoderTest, MotionAreaFollowsThePictureSize) {
  decoder_.SetMotionDetection(10, Rect{-50, -1, 10000, 5000});
  Key(Solid(101, 51, kGrey));
  EXPECT_EQ(decoder_.MotionAreaPixels(), (Rect{0, 0, 100, 25}));
  decoder_.SetMotionDetection(10, Rect{10000, 10000, 0, 0});  // reversed: normalised
  EXPECT_EQ(decoder_.MotionAreaPixels(), (Rect{0, 0, 100, 50}));
}

}  // namespace
}  // namespace strixc::video
