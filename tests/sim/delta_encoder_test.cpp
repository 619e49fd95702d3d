// The delta encoder against a client that decodes its frames: the layouts of key and delta frames,
// the choice between them, and that the client's picture follows the scene without drift.

#include "sim/delta_encoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "archive/archive_time.h"
#include "sim/scene.h"
#include "video/frame_decoder.h"

namespace strixc::sim {
namespace {

constexpr uint64_t kSecond = archive::kUnitsPerSecond;
constexpr int kQuality = 25;
const uint64_t kStart = *archive::TimeOfFields({2024, 5, 17, 8, 0, 0, 0});

// Mean absolute difference per byte of two pictures of one size, padding left out.
double MeanError(const video::PictureBuffer& a, const video::PictureBuffer& b) {
  uint64_t sum = 0;
  for (int y = 0; y < a.Height(); ++y) {
    const uint8_t* pa = a.Bits() + static_cast<size_t>(y) * a.Stride();
    const uint8_t* pb = b.Bits() + static_cast<size_t>(y) * b.Stride();
    for (int i = 0; i < 3 * a.Width(); ++i) sum += static_cast<uint64_t>(std::abs(pa[i] - pb[i]));
  }
  return static_cast<double>(sum) / (3.0 * a.Width() * a.Height());
}

int SetBits(const std::vector<uint8_t>& data) {
  const int bits = static_cast<int16_t>(data[0] | (data[1] << 8));
  int set = 0;
  for (int i = 0; i < bits; ++i) set += (data[2 + i / 8] >> (i % 8)) & 1;
  return set;
}

// One camera's stream: the encoder, and a client that decodes every frame it is given.
class Stream {
 public:
  explicit Stream(int width, int height, int camera = 2)
      : scene_(camera, width, height, "Lobby"), encoder_(serverCodec_), client_(clientCodec_) {}

  // Encodes the scene at `time` and hands the frame to the client.
  net::FrameKind Send(uint64_t time, bool key = false, int quality = kQuality) {
    scene_.Render(time, picture_);
    const net::FrameKind kind = encoder_.Encode(picture_, key, quality, quality, time, data_);
    if (kind != net::FrameKind::kNone) client_.Decode(data_.data(), data_.size(), static_cast<int>(kind), time);
    return kind;
  }
  // Encodes an arbitrary picture.
  net::FrameKind SendPicture(const video::PictureBuffer& picture, uint64_t time) {
    const net::FrameKind kind = encoder_.Encode(picture, false, kQuality, kQuality, time, data_);
    if (kind != net::FrameKind::kNone) client_.Decode(data_.data(), data_.size(), static_cast<int>(kind), time);
    return kind;
  }

  // How far the client's picture is from the scene last sent.
  double Error() const { return MeanError(client_.Picture(), picture_); }
  bool ClientMatchesMirror() const {
    const auto& a = client_.Picture();
    const auto& b = encoder_.Mirror();
    return a.Width() == b.Width() && a.Height() == b.Height() && std::memcmp(a.Bits(), b.Bits(), a.ImageSize()) == 0;
  }

  const std::vector<uint8_t>& Data() const { return data_; }
  DeltaEncoder& Encoder() { return encoder_; }
  video::FrameDecoder& Client() { return client_; }
  const video::PictureBuffer& Picture() const { return picture_; }

 private:
  Scene scene_;
  video::JpegCodec serverCodec_;
  video::JpegCodec clientCodec_;
  DeltaEncoder encoder_;
  video::FrameDecoder client_;
  video::PictureBuffer picture_;
  std::vector<uint8_t> data_;
};

// --- Layouts ------------------------------------------------------------------------------------

TEST(DeltaEncoderTest, FirstFrameIsAKeyFrameOfTheWholePicture) {
  Stream stream(352, 288);
  ASSERT_EQ(stream.Send(kStart), net::FrameKind::kKey);
  video::JpegCodec codec;
  int width = 0, height = 0;
  ASSERT_EQ(codec.ReadParameters(stream.Data().data(), stream.Data().size(), &width, &height), 0);
  EXPECT_EQ(width, 352);
  EXPECT_EQ(height, 288);
  EXPECT_LT(stream.Error(), 8.0);
}

TEST(DeltaEncoderTest, DeltaFrameLayout) {
  Stream stream(352, 288);
  ASSERT_EQ(stream.Send(kStart), net::FrameKind::kKey);
  ASSERT_EQ(stream.Send(kStart + kSecond + kSecond / 10), net::FrameKind::kDelta);
  const std::vector<uint8_t>& data = stream.Data();
  // The bit count is the picture's block count, followed by count / 8 + 1 bitmap bytes.
  const int bits = data[0] | (data[1] << 8);
  EXPECT_EQ(bits, 44 * 36);
  const size_t bitmapBytes = static_cast<size_t>(bits / 8 + 1);
  const int replaced = SetBits(data);
  EXPECT_EQ(replaced, stream.Encoder().LastDeltaBlocks());
  EXPECT_GT(replaced, 0);
  // Then a JPEG of whole blocks, a multiple of 16 wide, at most 44 blocks a row, with a slot for
  // every replaced block.
  video::JpegCodec codec;
  int width = 0, height = 0;
  ASSERT_EQ(codec.ReadParameters(data.data() + 2 + bitmapBytes, data.size() - 2 - bitmapBytes, &width, &height), 0);
  EXPECT_EQ(width % 16, 0);
  EXPECT_LE(width, 44 * 8);
  EXPECT_EQ(height % 8, 0);
  EXPECT_GE((width / 8) * (height / 8), replaced);
  EXPECT_LT((width / 8) * (height / 8 - 1), replaced);
  EXPECT_TRUE(stream.ClientMatchesMirror());
}

TEST(DeltaEncoderTest, UnchangedPictureSendsOneBlock) {
  Stream stream(352, 288);
  ASSERT_EQ(stream.Send(kStart), net::FrameKind::kKey);
  ASSERT_EQ(stream.Send(kStart), net::FrameKind::kDelta);
  EXPECT_EQ(SetBits(stream.Data()), 1);
  ASSERT_EQ(stream.Send(kStart), net::FrameKind::kDelta);
  EXPECT_EQ(SetBits(stream.Data()), 1);
  EXPECT_TRUE(stream.ClientMatchesMirror());
}

TEST(DeltaEncoderTest, KeyFrameOnRequestAndForANewPicture) {
  Stream stream(352, 288);
  ASSERT_EQ(stream.Send(kStart), net::FrameKind::kKey);
  EXPECT_EQ(stream.Send(kStart + kSecond / 10, true), net::FrameKind::kKey);
  // A picture that has nothing in common with the last one: a key frame is cheaper than deltas.
  video::PictureBuffer grey;
  grey.Resize(352, 288);
  std::memset(grey.Bits(), 90, grey.ImageSize());
  EXPECT_EQ(stream.SendPicture(grey, kStart + kSecond), net::FrameKind::kKey);
  // Another size: a key frame.
  video::PictureBuffer small;
  small.Resize(176, 144);
  std::memset(small.Bits(), 90, small.ImageSize());
  EXPECT_EQ(stream.SendPicture(small, kStart + 2 * kSecond), net::FrameKind::kKey);
  EXPECT_EQ(stream.Client().Width(), 176);
}

TEST(DeltaEncoderTest, EventEmptiesTheMirrorSoAKeyFrameFollows) {
  Stream stream(352, 288);
  ASSERT_EQ(stream.Send(kStart), net::FrameKind::kKey);
  const uint8_t event[] = {1, 0, 0, 0, 'D', 'o', 'o', 'r', 0};
  stream.Encoder().AddEvent(event, sizeof event, kStart + 1);
  stream.Client().Decode(event, sizeof event, video::frame_kind::kEvent, kStart + 1);
  EXPECT_TRUE(stream.Encoder().Mirror().Empty());
  EXPECT_EQ(stream.Send(kStart + 2), net::FrameKind::kKey);
  EXPECT_TRUE(stream.ClientMatchesMirror());
}

TEST(DeltaEncoderTest, PictureWithTooManyBlocksForADeltaGetsKeyFrames) {
  // 182 x 182 blocks: more than a 16-bit signed bit count can name.
  Stream stream(1456, 1456);
  EXPECT_EQ(stream.Send(kStart), net::FrameKind::kKey);
  EXPECT_EQ(stream.Send(kStart + kSecond / 10), net::FrameKind::kKey);
}

// --- No drift -----------------------------------------------------------------------------------

class DeltaDriftTest : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(DeltaDriftTest, ClientFollowsTheSceneWithoutDrift) {
  const auto [width, height] = GetParam();
  Stream stream(width, height, 4);
  ASSERT_EQ(stream.Send(kStart), net::FrameKind::kKey);
  const double keyError = stream.Error();
  // 25 pictures a second for 16 seconds, with no key frame after the first: whatever the deltas
  // leave behind would pile up.
  double firstSecond = 0, lastSecond = 0, worst = 0;
  int deltas = 0;
  constexpr int kFrames = 400;
  for (int i = 1; i <= kFrames; ++i) {
    const net::FrameKind kind = stream.Send(kStart + static_cast<uint64_t>(i) * kSecond / 25);
    ASSERT_NE(kind, net::FrameKind::kNone);
    deltas += kind == net::FrameKind::kDelta;
    ASSERT_TRUE(stream.ClientMatchesMirror()) << i;
    const double error = stream.Error();
    worst = std::max(worst, error);
    if (i <= 25) firstSecond += error / 25;
    if (i > kFrames - 25) lastSecond += error / 25;
  }
  EXPECT_GT(deltas, kFrames * 9 / 10);
  EXPECT_LT(worst, keyError + 2.0);
  EXPECT_LT(lastSecond, firstSecond + 0.5);
}

INSTANTIATE_TEST_SUITE_P(Sizes, DeltaDriftTest,
                         ::testing::Values(std::pair{352, 288}, std::pair{360, 200}, std::pair{100, 60},
                                           std::pair{704, 576}));

}  // namespace
}  // namespace strixc::sim
