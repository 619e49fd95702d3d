#include "video/jpeg_codec.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>
#include "support/colours.h"

namespace strixc::video {
namespace {

using namespace strixc::test;


using Stream = std::vector<uint8_t>;

// Flat 8x8 blocks of pure colour at quality 90 come back within a few steps.
constexpr int kTolerance = 8;

// A picture in our layout, addressed as a person sees it: (0, 0) is top left.
struct Picture {
  Picture(int w, int h) : width(w), height(h), bytes(JpegCodec::ImageSize(w, h), 0xAA) {}
  uint8_t* Pixel(int x, int y) {
    return bytes.data() + static_cast<size_t>(height - 1 - y) * JpegCodec::Stride(width) + 3 * x;
  }
  Bgr At(int x, int y) {
    const uint8_t* p = Pixel(x, y);
    return {p[0], p[1], p[2]};
  }
  int width, height;
  std::vector<uint8_t> bytes;
};

// Red top left, green top right, blue bottom left, white bottom right.
Picture Quadrants(int width, int height) {
  Picture picture(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool right = x >= width / 2;
      const Bgr c = y < height / 2 ? (right ? kGreen : kRed) : (right ? kWhite : kBlue);
      uint8_t* p = picture.Pixel(x, y);
      p[0] = c.blue, p[1] = c.green, p[2] = c.red;
    }
  }
  return picture;
}

void ExpectColour(Picture& picture, int x, int y, Bgr expected) {
  const Bgr got = picture.At(x, y);
  EXPECT_NEAR(got.blue, expected.blue, kTolerance) << "blue at " << x << "," << y;
  EXPECT_NEAR(got.green, expected.green, kTolerance) << "green at " << x << "," << y;
  EXPECT_NEAR(got.red, expected.red, kTolerance) << "red at " << x << "," << y;
}

// Offset of the header segment with this marker code, or 0.
size_t FindSegment(const Stream& stream, uint8_t code) {
  size_t at = 2;
  while (at + 4 <= stream.size() && stream[at] == 0xFF) {
    if (stream[at + 1] == code) return at;
    if (stream[at + 1] == 0xDA) break;
    at += 2 + (stream[at + 2] << 8 | stream[at + 3]);
  }
  return 0;
}

// 16x8 grayscale stream from another encoder (ImageMagick, -type Grayscale):
// left half 0xC0, right half 0x40.
const Stream kGrayStream = {
    0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 0x4a, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00,
    0x01, 0x00, 0x01, 0x00, 0x00, 0xff, 0xdb, 0x00, 0x43, 0x00, 0x03, 0x02, 0x02, 0x03, 0x02,
    0x02, 0x03, 0x03, 0x03, 0x03, 0x04, 0x03, 0x03, 0x04, 0x05, 0x08, 0x05, 0x05, 0x04, 0x04,
    0x05, 0x0a, 0x07, 0x07, 0x06, 0x08, 0x0c, 0x0a, 0x0c, 0x0c, 0x0b, 0x0a, 0x0b, 0x0b, 0x0d,
    0x0e, 0x12, 0x10, 0x0d, 0x0e, 0x11, 0x0e, 0x0b, 0x0b, 0x10, 0x16, 0x10, 0x11, 0x13, 0x14,
    0x15, 0x15, 0x15, 0x0c, 0x0f, 0x17, 0x18, 0x16, 0x14, 0x18, 0x12, 0x14, 0x15, 0x14, 0xff,
    0xc0, 0x00, 0x0b, 0x08, 0x00, 0x08, 0x00, 0x10, 0x01, 0x01, 0x11, 0x00, 0xff, 0xc4, 0x00,
    0x15, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x08, 0x09, 0xff, 0xc4, 0x00, 0x14, 0x10, 0x01, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xda, 0x00,
    0x08, 0x01, 0x01, 0x00, 0x00, 0x3f, 0x00, 0x55, 0xa5, 0x4b, 0xff, 0xd9};

class JpegCodecTest : public ::testing::Test {
 protected:
  // Keeps the stream under test for a look with an image viewer.
  void TearDown() override {
    if (!HasFailure() || stream_.empty()) return;
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::ofstream(::testing::TempDir() + test->name() + ".jpg", std::ios::binary)
        .write(reinterpret_cast<const char*>(stream_.data()), stream_.size());
  }

  const Stream& Encode(Picture& picture, int quality = 90) {
    const size_t length =
        codec_.Encode(picture.bytes.data(), picture.width, picture.height, quality, stream_);
    EXPECT_NE(length, 0u) << codec_.LastError();
    EXPECT_EQ(length, stream_.size());
    return stream_;
  }

  Picture Decode(const Stream& stream, int width, int height) {
    Picture picture(width, height);
    EXPECT_EQ(codec_.Decode(stream.data(), stream.size(), picture.bytes.data(), width, height), 0)
        << codec_.LastError();
    return picture;
  }

  JpegCodec codec_;
  Stream stream_;
};

// --- Round trips ---------------------------------------------------------------

TEST_F(JpegCodecTest, QuadrantsKeepColourOrderAndRowOrder) {
  Picture original = Quadrants(64, 48);
  Picture decoded = Decode(Encode(original), 64, 48);
  ExpectColour(decoded, 4, 4, kRed);
  ExpectColour(decoded, 60, 4, kGreen);
  ExpectColour(decoded, 4, 44, kBlue);
  ExpectColour(decoded, 60, 44, kWhite);
  // Raw memory: the picture's top-left red pixel opens the last buffer row,
  // stored blue, green, red; the buffer starts with the bottom-left blue one.
  const uint8_t* lastRow = decoded.bytes.data() + 47 * JpegCodec::Stride(64);
  EXPECT_LE(lastRow[0], kTolerance);
  EXPECT_GE(lastRow[2], 255 - kTolerance);
  EXPECT_GE(decoded.bytes[0], 255 - kTolerance);
  EXPECT_LE(decoded.bytes[2], kTolerance);
}

TEST_F(JpegCodecTest, OddWidthZeroesRowPadding) {
  ASSERT_EQ(JpegCodec::Stride(35), 108);
  Picture original = Quadrants(35, 17);
  const Stream& stream = Encode(original);
  int width = 0, height = 0;
  ASSERT_EQ(codec_.ReadParameters(stream.data(), stream.size(), &width, &height), 0);
  EXPECT_EQ(width, 35);
  EXPECT_EQ(height, 17);
  Picture decoded = Decode(stream, width, height);  // starts filled with 0xAA
  for (int row = 0; row < height; ++row) {
    for (int pad = 105; pad < 108; ++pad) ASSERT_EQ(decoded.bytes[row * 108 + pad], 0) << row;
  }
  ExpectColour(decoded, 1, 1, kRed);
  ExpectColour(decoded, 33, 1, kGreen);
  ExpectColour(decoded, 1, 15, kBlue);
  ExpectColour(decoded, 33, 15, kWhite);
}

TEST_F(JpegCodecTest, GrayscaleStreamDecodesToBgr) {
  Picture decoded = Decode(kGrayStream, 16, 8);
  ExpectColour(decoded, 2, 2, {0xC0, 0xC0, 0xC0});
  ExpectColour(decoded, 13, 6, {0x40, 0x40, 0x40});
}

// --- Encoding ------------------------------------------------------------------

TEST_F(JpegCodecTest, EncodesBaselineYCbCr422) {
  Picture original = Quadrants(64, 48);
  const Stream& stream = Encode(original);
  ASSERT_EQ(FindSegment(stream, 0xC2), 0u) << "progressive";
  const size_t sof = FindSegment(stream, 0xC0);
  ASSERT_NE(sof, 0u) << "no baseline frame header";
  const uint8_t* frame = &stream[sof + 4];  // precision, height, width, components
  EXPECT_EQ(frame[0], 8);
  EXPECT_EQ(frame[1] << 8 | frame[2], 48);
  EXPECT_EQ(frame[3] << 8 | frame[4], 64);
  ASSERT_EQ(frame[5], 3);
  EXPECT_EQ(frame[6 + 1], 0x21) << "luma sampling: two across, one down";
  EXPECT_EQ(frame[9 + 1], 0x11);
  EXPECT_EQ(frame[12 + 1], 0x11);
  EXPECT_EQ(stream[stream.size() - 2], 0xFF);
  EXPECT_EQ(stream.back(), 0xD9);
}

TEST_F(JpegCodecTest, ClampsQuality) {
  Picture original = Quadrants(64, 48);
  const Stream lowest = Encode(original, 1);
  const Stream highest = Encode(original, 100);
  EXPECT_NE(lowest, highest);
  EXPECT_EQ(Encode(original, -5), lowest);
  EXPECT_EQ(Encode(original, 500), highest);
}

TEST_F(JpegCodecTest, ReusesDestinationWithoutReallocating) {
  Picture original = Quadrants(64, 48);
  Encode(original);
  const uint8_t* buffer = stream_.data();
  const size_t capacity = stream_.capacity();
  EXPECT_GE(capacity, JpegCodec::ImageSize(64, 48));
  Encode(original);
  EXPECT_EQ(stream_.data(), buffer);
  EXPECT_EQ(stream_.capacity(), capacity);
}

// --- Errors --------------------------------------------------------------------

TEST_F(JpegCodecTest, ReadParametersRejectsEmptyGarbageAndHugeStreams) {
  int width = -7, height = -7;
  const Stream garbage = {'n', 'o', 't', ' ', 'a', ' ', 'J', 'P', 'E', 'G'};
  const Stream headless = {0xFF, 0xD8, 0xFF, 0xD9};
  EXPECT_NE(codec_.ReadParameters(nullptr, 10, &width, &height), 0);
  EXPECT_NE(codec_.ReadParameters(garbage.data(), 0, &width, &height), 0);
  EXPECT_NE(codec_.ReadParameters(garbage.data(), garbage.size(), &width, &height), 0);
  EXPECT_NE(codec_.ReadParameters(headless.data(), headless.size(), &width, &height), 0);
  Picture original = Quadrants(16, 16);
  Stream huge = Encode(original);
  const size_t sof = FindSegment(huge, 0xC0);
  huge[sof + 7] = 9000 >> 8, huge[sof + 8] = 9000 & 0xFF;  // width
  EXPECT_NE(codec_.ReadParameters(huge.data(), huge.size(), &width, &height), 0);
  EXPECT_STRNE(codec_.LastError(), "");
  EXPECT_EQ(width, -7);
  EXPECT_EQ(height, -7);
}

TEST_F(JpegCodecTest, DecodeRejectsOtherSizeWithoutWriting) {
  Picture original = Quadrants(64, 48);
  const Stream& stream = Encode(original);
  Picture destination(64, 48);
  const std::vector<uint8_t> before = destination.bytes;
  EXPECT_NE(codec_.Decode(stream.data(), stream.size(), destination.bytes.data(), 64, 47), 0);
  EXPECT_NE(codec_.Decode(stream.data(), stream.size(), destination.bytes.data(), 48, 64), 0);
  EXPECT_NE(codec_.Decode(stream.data(), stream.size(), nullptr, 64, 48), 0);
  EXPECT_EQ(destination.bytes, before);
}

// Any cut fails, including one that only loses the end-of-image marker, and
// never reads past the cut (AddressSanitizer watches the exact-size copy).
// A header cut just after a marker once left the decoder mid-header, so that
// every later stream failed with "Bogus DQT index": the whole stream must
// still decode after each cut.
TEST_F(JpegCodecTest, TruncatedStreamFailsAndSpoilsNothing) {
  Picture original = Quadrants(35, 17);
  const Stream stream = Encode(original);
  Picture destination(35, 17);
  for (size_t length = 0; length < stream.size(); ++length) {
    const Stream cut(stream.begin(), stream.begin() + length);
    int width = -7, height = -7;
    if (codec_.ReadParameters(cut.data(), cut.size(), &width, &height) == 0) {
      EXPECT_EQ(width, 35);
      EXPECT_EQ(height, 17);
    } else {
      EXPECT_EQ(width, -7) << length;
    }
    ASSERT_NE(codec_.Decode(cut.data(), cut.size(), destination.bytes.data(), 35, 17), 0) << length;
    ASSERT_EQ(codec_.Decode(stream.data(), stream.size(), destination.bytes.data(), 35, 17), 0)
        << "after a cut at " << length << ": " << codec_.LastError();
  }
}

TEST_F(JpegCodecTest, DamagedEntropyDataFails) {
  Picture original = Quadrants(64, 48);
  Stream stream = Encode(original);
  const size_t sos = FindSegment(stream, 0xDA);
  ASSERT_NE(sos, 0u);
  const size_t data = sos + 2 + (stream[sos + 2] << 8 | stream[sos + 3]);
  stream[data + 4] = 0xFF, stream[data + 5] = 0xD9;  // an end-of-image marker mid-scan
  Picture destination(64, 48);
  EXPECT_NE(codec_.Decode(stream.data(), stream.size(), destination.bytes.data(), 64, 48), 0);
  EXPECT_STRNE(codec_.LastError(), "");
}

}  // namespace
}  // namespace strixc::video
