#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "video/frame_source.h"
#include "video/frame_store.h"
#include "video/jpeg_codec.h"
#include "video/picture.h"
#include "video/region.h"
#include "video/snapshot.h"
#include "support/colours.h"

namespace strixc::video {
namespace {

using namespace strixc::test;


using Bytes = std::vector<uint8_t>;

// Quality 80 on flat areas, well away from edges.
constexpr int kTolerance = 10;

uint8_t* PixelOf(uint8_t* bits, int width, int height, int x, int y) {
  return bits + static_cast<size_t>(height - 1 - y) * PictureStride(width) + 3 * x;
}

// One camera's picture, served the way the frame stores serve theirs; counts locks, and notices
// any read made without holding one.
class OneCameraSource : public FrameSource {
 public:
  static constexpr int kCamera = 3;

  // Every pixel says where it is: blue = x, green = y (both below 256 in these tests).
  void PaintCoordinates(int width, int height) {
    picture_.Resize(width, height);
    std::memset(picture_.Bits(), 0, picture_.ImageSize());
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        uint8_t* p = PixelOf(picture_.Bits(), width, height, x, y);
        p[0] = static_cast<uint8_t>(x), p[1] = static_cast<uint8_t>(y), p[2] = 0x5A;
      }
    }
  }
  void PaintHalves(int width, int height, Bgr top, Bgr bottom) {
    picture_.Resize(width, height);
    std::memset(picture_.Bits(), 0, picture_.ImageSize());
    for (int y = 0; y < height; ++y) {
      const Bgr c = y < height / 2 ? top : bottom;
      for (int x = 0; x < width; ++x) {
        uint8_t* p = PixelOf(picture_.Bits(), width, height, x, y);
        p[0] = static_cast<uint8_t>(c.blue), p[1] = static_cast<uint8_t>(c.green),
        p[2] = static_cast<uint8_t>(c.red);
      }
    }
  }
  void Clear() { picture_.Resize(0, 0); }
  const PictureBuffer& Picture() const { return picture_; }

  void LockFrame(int camera) override {
    EXPECT_EQ(camera, kCamera);
    ++locks;
    locked_ = true;
  }
  void UnlockFrame(int camera) override {
    EXPECT_TRUE(locked_);
    locked_ = false;
  }
  const BitmapInfoHeader* GetFrameHeader(int camera) override {
    EXPECT_TRUE(locked_) << "header read without the frame lock";
    return &picture_.Header();
  }
  const uint8_t* GetFrameBits(int camera) override {
    EXPECT_TRUE(locked_) << "pixels read without the frame lock";
    return picture_.Bits();
  }
  uint64_t GetFrameTime(int) override { return 0; }
  const char* GetFrameText(int) override { return nullptr; }

  bool Locked() const { return locked_; }
  int locks = 0;

 private:
  PictureBuffer picture_;
  bool locked_ = false;
};

// A packed bitmap made by ExtractRegion, read back pixel by pixel from the top left.
struct Region {
  explicit Region(const Bytes& dib) : dib(dib) { std::memcpy(&header, dib.data(), sizeof header); }
  int Width() const { return header.biWidth; }
  int Height() const { return header.biHeight; }
  // The source coordinates a pixel carries (see PaintCoordinates).
  std::pair<int, int> Source(int x, int y) const {
    const uint8_t* p = dib.data() + sizeof header +
                       static_cast<size_t>(Height() - 1 - y) * PictureStride(Width()) + 3 * x;
    return {p[0], p[1]};
  }
  Bytes dib;
  BitmapInfoHeader header;
};

class RegionTest : public ::testing::Test {
 protected:
  // Extracts `area` and checks the result is exactly the source's pixels from (left, top) to
  // (right, bottom) inclusive, the region's top row being the picture's row `top` counted from the
  // top, with a correct header and zero padding.
  void ExpectRegion(const Rect& area, int left, int top, int right, int bottom) {
    Bytes out;
    ASSERT_TRUE(ExtractRegion(source_, OneCameraSource::kCamera, area, out));
    EXPECT_FALSE(source_.Locked());
    const int width = right - left + 1, height = bottom - top + 1;
    ASSERT_EQ(out.size(), 40 + static_cast<size_t>(PictureStride(width)) * height);
    Region region(out);
    EXPECT_EQ(region.header.biSize, 40u);
    EXPECT_EQ(region.header.biBitCount, 24);
    EXPECT_EQ(region.header.biPlanes, 1);
    EXPECT_EQ(region.header.biCompression, 0u);
    ASSERT_EQ(region.Width(), width);
    ASSERT_EQ(region.Height(), height);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        ASSERT_EQ(region.Source(x, y), std::make_pair(left + x, top + y)) << "at " << x << "," << y;
      }
      for (int i = 3 * width; i < PictureStride(width); ++i) {
        ASSERT_EQ(out[40 + static_cast<size_t>(y) * PictureStride(width) + i], 0);
      }
    }
  }

  OneCameraSource source_;
};

TEST(NormaliseFrameRectTest, SwapsAndClamps) {
  EXPECT_EQ(NormaliseFrameRect({100, 200, 300, 400}), (Rect{100, 200, 300, 400}));
  EXPECT_EQ(NormaliseFrameRect({300, 400, 100, 200}), (Rect{100, 200, 300, 400}));
  EXPECT_EQ(NormaliseFrameRect({-5, -1, 10001, 99999}), (Rect{0, 0, 10000, 10000}));
  EXPECT_EQ(NormaliseFrameRect({12000, 0, -3, 5000}), (Rect{0, 0, 10000, 5000}));
  EXPECT_TRUE(NormaliseFrameRect({500, 100, 500, 900}).Empty());
  EXPECT_TRUE(NormaliseFrameRect({-10, -10, -1, -1}).Empty());  // both clamp to 0
  EXPECT_TRUE(NormaliseFrameRect({}).Empty());
}

TEST_F(RegionTest, EmptyAreaIsTheWholePicture) {
  source_.PaintCoordinates(35, 9);
  ExpectRegion(Rect{}, 0, 0, 34, 8);
  Bytes out;
  ASSERT_TRUE(ExtractRegion(source_, OneCameraSource::kCamera, Rect{}, out));
  EXPECT_EQ(
      Bytes(out.begin() + 40, out.end()),
      Bytes(source_.Picture().Bits(), source_.Picture().Bits() + source_.Picture().ImageSize()));
}

TEST_F(RegionTest, SubRectangleMapsFrameUnitsWithTruncation) {
  source_.PaintCoordinates(101, 51);
  // (101 - 1) * 2000 / 10000 = 20 ... (51 - 1) * 9000 / 10000 = 45.
  ExpectRegion(Rect{2000, 1000, 5000, 9000}, 20, 5, 50, 45);
  // 6 * 5000 / 10000 = 3, 4 * 3333 / 10000 = 1.33 -> 1.
  source_.PaintCoordinates(7, 5);
  ExpectRegion(Rect{5000, 3333, 10000, 10000}, 3, 1, 6, 4);
}

TEST_F(RegionTest, ReversedRectangleIsNormalised) {
  source_.PaintCoordinates(101, 51);
  ExpectRegion(Rect{5000, 9000, 2000, 1000}, 20, 5, 50, 45);
}

TEST_F(RegionTest, OutOfRangeCoordinatesClampToThePicture) {
  source_.PaintCoordinates(40, 30);
  ExpectRegion(Rect{-700, -1, 25000, 10001}, 0, 0, 39, 29);
  ExpectRegion(Rect{5000, -50, 20000, 5000}, 19, 0, 39, 14);
}

TEST_F(RegionTest, SliverNarrowerThanAPixelGivesOnePixel) {
  source_.PaintCoordinates(10, 10);
  // 9 * 100 / 10000 = 0 and 9 * 101 / 10000 = 0: one column.
  ExpectRegion(Rect{100, 0, 101, 10000}, 0, 0, 0, 9);
  ExpectRegion(Rect{0, 9998, 10000, 9999}, 0, 8, 9, 8);
}

TEST_F(RegionTest, CameraWithoutPictureGivesNothing) {
  source_.Clear();
  Bytes out(7, 0x33);
  EXPECT_FALSE(ExtractRegion(source_, OneCameraSource::kCamera, Rect{}, out));
  EXPECT_FALSE(ExtractRegion(source_, OneCameraSource::kCamera, Rect{0, 0, 5000, 5000}, out));
  EXPECT_EQ(out, Bytes(7, 0x33));
  EXPECT_EQ(source_.locks, 2);
  EXPECT_FALSE(source_.Locked());
}

TEST(RegionFromStoreTest, CutsTheDecodedPictureOfALiveCamera) {
  // The real store: its header and pixels as the network thread leaves them after a key frame.
  OneCameraSource painter;
  painter.PaintHalves(64, 48, kRed, kBlue);
  JpegCodec codec;
  Bytes key;
  ASSERT_GT(codec.Encode(painter.Picture().Bits(), 64, 48, 90, key), 0u);
  LiveFrameStore store;
  store.Decode(5, key.data(), key.size(), frame_kind::kKey, 1);

  Bytes out;
  ASSERT_TRUE(ExtractRegion(store, 5, Rect{0, 0, 10000, 2000}, out));
  const Region region(out);
  ASSERT_EQ(region.Width(), 64);
  ASSERT_EQ(region.Height(), 10);  // rows 0..9 of 48
  const uint8_t* topLeft = out.data() + 40 + 9 * PictureStride(64);
  EXPECT_NEAR(topLeft[2], 255, kTolerance);
  EXPECT_NEAR(topLeft[0], 0, kTolerance);

  // Another camera of the same store has no picture; camera 16 does not exist.
  EXPECT_FALSE(ExtractRegion(store, 4, Rect{}, out));
  EXPECT_FALSE(ExtractRegion(store, FrameStore::kCameras, Rect{}, out));
  EXPECT_FALSE(ExtractRegion(store, -1, Rect{}, out));
  store.ResetCamera(5);
  EXPECT_FALSE(ExtractRegion(store, 5, Rect{}, out));
}

// --- Snapshots ---

class SnapshotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = ::testing::TempDir() + "strixc_snapshot_" + std::to_string(::getpid());
    ::mkdir(dir_.c_str(), 0700);
  }
  void TearDown() override {
    for (const char* name : {"/a.jpg", "/b.jpg"}) ::unlink((dir_ + name).c_str());
    ::rmdir(dir_.c_str());
  }

  Bytes Dib(int width, int height) {
    source_.PaintHalves(width, height, kRed, kBlue);
    Bytes dib;
    EXPECT_TRUE(ExtractRegion(source_, OneCameraSource::kCamera, Rect{}, dib));
    return dib;
  }
  static Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  static bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
  }

  OneCameraSource source_;
  std::string dir_;
};

TEST_F(SnapshotTest, WritesFourByThreeJpeg) {
  for (auto [width, height] : {std::pair{320, 200}, std::pair{320, 240}, std::pair{75, 300}}) {
    SCOPED_TRACE(::testing::Message() << width << "x" << height);
    const Bytes dib = Dib(width, height);
    const std::string path = dir_ + "/a.jpg";
    const SnapshotResult result = SaveSnapshot(dib.data(), dib.size(), path);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(result.error.empty());
    const int expectedHeight = width * 3 / 4;
    EXPECT_EQ(result.width, width);
    EXPECT_EQ(result.height, expectedHeight);

    const Bytes stream = ReadFile(path);
    JpegCodec codec;
    int w = 0, h = 0;
    ASSERT_EQ(codec.ReadParameters(stream.data(), stream.size(), &w, &h), 0) << codec.LastError();
    ASSERT_EQ(w, width);
    ASSERT_EQ(h, expectedHeight);
    Bytes picture(JpegCodec::ImageSize(w, h));
    ASSERT_EQ(codec.Decode(stream.data(), stream.size(), picture.data(), w, h), 0);
    // Red stays on top, blue at the bottom.
    for (int x : {2, w / 2, w - 3}) {
      const uint8_t* top = PixelOf(picture.data(), w, h, x, h / 8);
      const uint8_t* bottom = PixelOf(picture.data(), w, h, x, h - 1 - h / 8);
      EXPECT_NEAR(top[2], 255, kTolerance);
      EXPECT_NEAR(top[0], 0, kTolerance);
      EXPECT_NEAR(bottom[0], 255, kTolerance);
      EXPECT_NEAR(bottom[2], 0, kTolerance);
    }
  }
}

TEST_F(SnapshotTest, TruncatesAnExistingFile) {
  const std::string path = dir_ + "/a.jpg";
  std::ofstream(path, std::ios::binary) << std::string(1 << 20, 'x');
  const Bytes dib = Dib(64, 48);
  SnapshotWriter writer;
  ASSERT_TRUE(writer.Save(dib.data(), dib.size(), path).ok);
  const Bytes stream = ReadFile(path);
  ASSERT_GT(stream.size(), 4u);
  EXPECT_LT(stream.size(), 10000u);
  EXPECT_EQ(stream[0], 0xFF);
  EXPECT_EQ(stream[1], 0xD8);
  EXPECT_EQ(stream[stream.size() - 2], 0xFF);
  EXPECT_EQ(stream[stream.size() - 1], 0xD9);
  // The same writer again, another size.
  const Bytes other = Dib(32, 32);
  const SnapshotResult again = writer.Save(other.data(), other.size(), dir_ + "/b.jpg");
  ASSERT_TRUE(again.ok) << again.error;
  EXPECT_EQ(again.height, 24);
}

// --- Snapshot failures ---

TEST_F(SnapshotTest, UncreatableFileSaysSoAndCreatesNothing) {
  const Bytes dib = Dib(320, 240);
  const SnapshotResult result = SaveSnapshot(dib.data(), dib.size(), "/nonexistent/dir/x.jpg");
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, "Can't create file !");
  EXPECT_FALSE(Exists("/nonexistent/dir/x.jpg"));
  const SnapshotResult folder = SaveSnapshot(dib.data(), dib.size(), dir_);
  EXPECT_EQ(folder.error, "Can't create file !");
}

TEST_F(SnapshotTest, BadBitmapsAreRefusedWithoutAFile) {
  Bytes dib = Dib(40, 30);
  const std::string path = dir_ + "/a.jpg";
  // Pixels cut short by one byte.
  SnapshotResult result = SaveSnapshot(dib.data(), dib.size() - 1, path);
  EXPECT_FALSE(result.ok);
  EXPECT_FALSE(result.error.empty());
  EXPECT_NE(result.error, "Can't create file !");
  EXPECT_FALSE(SaveSnapshot(dib.data(), 20, path).ok);
  EXPECT_FALSE(SaveSnapshot(nullptr, 0, path).ok);
  // One pixel wide: no 4:3 picture to make.
  const Bytes narrow = Dib(1, 10);
  EXPECT_FALSE(SaveSnapshot(narrow.data(), narrow.size(), path).ok);
  // Larger than the encoder takes.
  BitmapInfoHeader huge = MakeHeader(JpegCodec::kMaxDimension + 8, 1);
  Bytes big(sizeof huge + huge.biSizeImage);
  std::memcpy(big.data(), &huge, sizeof huge);
  EXPECT_FALSE(SaveSnapshot(big.data(), big.size(), path).ok);
  EXPECT_FALSE(Exists(path));
}

TEST_F(SnapshotTest, WriteFailureIsReportedAndLeavesDevicesAlone) {
  // /dev/full accepts the open and fails every write with "no space left".
  struct stat st {};
  if (::stat("/dev/full", &st) != 0 || !S_ISCHR(st.st_mode) || ::access("/dev/full", W_OK) != 0) {
    GTEST_SKIP() << "no writable /dev/full";
  }
  const Bytes dib = Dib(64, 48);
  const SnapshotResult result = SaveSnapshot(dib.data(), dib.size(), "/dev/full");
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.error.find("writing the snapshot failed"), std::string::npos) << result.error;
  EXPECT_TRUE(Exists("/dev/full"));
}

}  // namespace
}  // namespace strixc::video
