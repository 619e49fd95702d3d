// Streams made by other encoders (see data/README.md), decoded through the frame decoder as a
// camera's key frames.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "video/frame_decoder.h"
#include "video/jpeg_codec.h"
#include "support/colours.h"

namespace strixc::video {
namespace {

using namespace strixc::test;


using Bytes = std::vector<uint8_t>;

// Quality 90 streams, sampled in the middle of flat quadrants.
constexpr int kTolerance = 6;

Bytes Load(const std::string& name) {
  std::ifstream in(std::string(STRIXC_TEST_DATA) + "/" + name, std::ios::binary);
  Bytes bytes{std::istreambuf_iterator<char>(in), {}};
  EXPECT_FALSE(bytes.empty()) << "missing test file " << name;
  return bytes;
}

Bytes PictureBytes(const FrameDecoder& decoder) {
  const PictureBuffer& p = decoder.Picture();
  return Bytes(p.Bits(), p.Bits() + p.ImageSize());
}

class CorpusTest : public ::testing::Test {
 protected:
  bool DecodeKey(const Bytes& stream) {
    const uint64_t time = ++time_;
    decoder_.Decode(stream.data(), stream.size(), frame_kind::kKey, time);
    return decoder_.Width() > 0 && decoder_.Time() == time;
  }

  Bgr At(int x, int y) const {
    const uint8_t* p =
        decoder_.Picture().Bits() +
        static_cast<size_t>(decoder_.Height() - 1 - y) * decoder_.Picture().Stride() + 3 * x;
    return {p[0], p[1], p[2]};
  }

  // Checks the colour at the middle of each quadrant (as a person sees the picture).
  void ExpectQuadrants(Bgr topLeft, Bgr topRight, Bgr bottomLeft, Bgr bottomRight) {
    const int w = decoder_.Width(), h = decoder_.Height();
    const struct {
      int x, y;
      Bgr colour;
    } probes[] = {{w / 4, h / 4, topLeft},
                  {3 * w / 4, h / 4, topRight},
                  {w / 4, 3 * h / 4, bottomLeft},
                  {3 * w / 4, 3 * h / 4, bottomRight}};
    for (const auto& probe : probes) {
      const Bgr got = At(probe.x, probe.y);
      EXPECT_NEAR(got.blue, probe.colour.blue, kTolerance) << "at " << probe.x << "," << probe.y;
      EXPECT_NEAR(got.green, probe.colour.green, kTolerance) << "at " << probe.x << "," << probe.y;
      EXPECT_NEAR(got.red, probe.colour.red, kTolerance) << "at " << probe.x << "," << probe.y;
    }
  }

  void ExpectPaddingZero() {
    const PictureBuffer& p = decoder_.Picture();
    for (int row = 0; row < p.Height(); ++row) {
      for (int i = 3 * p.Width(); i < p.Stride(); ++i) {
        ASSERT_EQ(p.Bits()[static_cast<size_t>(row) * p.Stride() + i], 0) << "row " << row;
      }
    }
  }

  JpegCodec codec_;
  FrameDecoder decoder_{codec_};
  uint64_t time_ = 0;
};

class ColourCorpusTest : public CorpusTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ColourCorpusTest, DecodesToSizeAndColours) {
  ASSERT_TRUE(DecodeKey(Load(GetParam())));
  EXPECT_EQ(decoder_.Width(), 72);
  EXPECT_EQ(decoder_.Height(), 56);
  ExpectQuadrants(kRed, kGreen, kBlue, kWhite);
}

INSTANTIATE_TEST_SUITE_P(OtherEncoders, ColourCorpusTest,
                         ::testing::Values("im_420.jpg", "im_422.jpg", "im_444.jpg",
                                           "im_progressive.jpg", "ff_420.jpg", "ff_422.jpg",
                                           "ff_444.jpg", "ff_restart.jpg"));

TEST_F(CorpusTest, OddSizeWithPartialBlocks) {
  ASSERT_TRUE(DecodeKey(Load("im_420_71x53.jpg")));
  EXPECT_EQ(decoder_.Width(), 71);
  EXPECT_EQ(decoder_.Height(), 53);
  EXPECT_EQ(decoder_.Picture().Stride(), 216);
  ExpectQuadrants(kRed, kGreen, kBlue, kWhite);
  ExpectPaddingZero();
}

TEST_F(CorpusTest, GrayscaleComesOutAsEqualChannels) {
  ASSERT_TRUE(DecodeKey(Load("im_gray.jpg")));
  ExpectQuadrants(Gray(0x40), Gray(0x80), Gray(0xC0), Gray(0xFF));
  const Bgr sample = At(10, 10);
  EXPECT_EQ(sample.blue, sample.green);
  EXPECT_EQ(sample.green, sample.red);
}

TEST_F(CorpusTest, SizeChangesFromStreamToStream) {
  ASSERT_TRUE(DecodeKey(Load("im_420_71x53.jpg")));
  ASSERT_TRUE(DecodeKey(Load("ff_444.jpg")));
  EXPECT_EQ(decoder_.Width(), 72);
  ExpectQuadrants(kRed, kGreen, kBlue, kWhite);
  ASSERT_TRUE(DecodeKey(Load("im_420_71x53.jpg")));
  EXPECT_EQ(decoder_.Width(), 71);
  ExpectQuadrants(kRed, kGreen, kBlue, kWhite);
  ExpectPaddingZero();
}

// --- Refused streams ---

class RefusedCorpusTest : public CorpusTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(RefusedCorpusTest, LeavesThePreviousPictureAsItWas) {
  ASSERT_TRUE(DecodeKey(Load("im_444.jpg")));
  const Bytes before = PictureBytes(decoder_);
  const uint64_t goodTime = decoder_.Time();
  const Bytes broken = Load(GetParam());
  decoder_.Decode(broken.data(), broken.size(), frame_kind::kKey, goodTime + 1);
  EXPECT_EQ(decoder_.Width(), 72);
  EXPECT_EQ(decoder_.Height(), 56);
  EXPECT_EQ(PictureBytes(decoder_), before);
  // The same decoder and codec take the next good stream.
  ASSERT_TRUE(DecodeKey(Load("ff_420.jpg")));
  ExpectQuadrants(kRed, kGreen, kBlue, kWhite);
}

TEST_P(RefusedCorpusTest, GivesNoPictureToACameraWithoutOne) {
  const Bytes broken = Load(GetParam());
  decoder_.Decode(broken.data(), broken.size(), frame_kind::kKey, 1);
  EXPECT_EQ(decoder_.Width(), 0);
  EXPECT_EQ(decoder_.Height(), 0);
}

INSTANTIATE_TEST_SUITE_P(DamagedOrUnsupported, RefusedCorpusTest,
                         ::testing::Values("im_cmyk.jpg", "broken_header.jpg",
                                           "broken_truncated.jpg",
                                           "broken_truncated_progressive.jpg",
                                           "broken_garbage.jpg"));

TEST_F(CorpusTest, EveryCutOfEveryStreamIsRefused) {
  // Cut after each byte in turn: headers, tables, scans, between progressive scans and just
  // before the end marker. Under AddressSanitizer this also shows no read strays beyond the cut.
  // A picture unlike any in the corpus, so that an accepted cut would show.
  Bytes magenta(JpegCodec::ImageSize(72, 56));
  for (size_t i = 0; i < magenta.size(); ++i) magenta[i] = i % 3 == 1 ? 0 : 0xFF;
  Bytes stream;
  ASSERT_GT(codec_.Encode(magenta.data(), 72, 56, 90, stream), 0u);
  ASSERT_TRUE(DecodeKey(stream));
  const Bytes before = PictureBytes(decoder_);
  for (const char* name :
       {"im_420.jpg", "im_422.jpg", "im_444.jpg", "im_progressive.jpg", "im_420_71x53.jpg",
        "im_gray.jpg", "ff_420.jpg", "ff_422.jpg", "ff_444.jpg", "ff_restart.jpg"}) {
    const Bytes whole = Load(name);
    for (size_t length = 1; length < whole.size(); ++length) {
      // A copy of exactly `length` bytes, so that AddressSanitizer sees the end.
      const Bytes cut(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(length));
      decoder_.Decode(cut.data(), cut.size(), frame_kind::kKey, 7);
      ASSERT_EQ(decoder_.Width(), 72) << name << " cut to " << length;
      ASSERT_EQ(PictureBytes(decoder_), before) << name << " cut to " << length;
    }
  }
}

}  // namespace
}  // namespace strixc::video
