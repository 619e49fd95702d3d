// Decoding speed of a camera's stream: the frame decoder against plain TurboJPEG on a realistic
// 704 x 576 picture at quality 25, with and without motion detection, and the cost of a delta
// frame that replaces a tenth of the blocks. All phases run interleaved in the same process, round
// after round; each figure is the median over the rounds (ratios: the median of the per-round
// ratios).

#include <turbojpeg.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <vector>

#include "video/frame_decoder.h"
#include "video/jpeg_codec.h"
#include "video/picture.h"

namespace {

using strixc::video::FrameDecoder;
using strixc::video::JpegCodec;
using strixc::video::PictureStride;
using strixc::video::Rect;
namespace frame_kind = strixc::video::frame_kind;
using Bytes = std::vector<uint8_t>;

constexpr int kWidth = 704;
constexpr int kHeight = 576;
constexpr int kQuality = 25;
// Short phases, many rounds: each ratio is taken within a round, where both sides saw the same
// machine load, and the median of those ratios is reported.
constexpr int kIterations = 40;
constexpr int kRounds = 31;
// Every tenth block of the picture is replaced by the delta frame.
constexpr int kDeltaEvery = 10;

// A deterministic stand-in for a street scene: sky and ground gradients, buildings with windows,
// a few round shapes and sensor noise, so that the JPEG has a camera picture's detail and size.
Bytes RenderScene() {
  const int stride = PictureStride(kWidth);
  Bytes bits(static_cast<size_t>(stride) * kHeight, 0);
  uint32_t seed = 12345;
  auto noise = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<int>(seed >> 27) - 16;  // -16..15
  };
  auto put = [&](int x, int y, int b, int g, int r) {
    uint8_t* p = bits.data() + static_cast<size_t>(kHeight - 1 - y) * stride + 3 * x;
    p[0] = static_cast<uint8_t>(std::clamp(b, 0, 255));
    p[1] = static_cast<uint8_t>(std::clamp(g, 0, 255));
    p[2] = static_cast<uint8_t>(std::clamp(r, 0, 255));
  };
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      int b, g, r;
      if (y < 220) {  // sky
        b = 230 - y / 3, g = 180 - y / 4, r = 120 + y / 5;
      } else {  // ground with a stripe texture
        const int t = 90 + ((x / 7 + y / 5) % 9) * 6 + (y - 220) / 6;
        b = t, g = t + 10, r = t + 5;
      }
      // Buildings: blocks of wall with a grid of windows.
      for (int k = 0; k < 6; ++k) {
        const int left = 20 + k * 115, right = left + 90 + (k % 3) * 10;
        const int top = 90 + (k * 37) % 110;
        if (x >= left && x < right && y >= top && y < 420) {
          const bool window = (x - left) % 18 > 6 && (y - top) % 24 > 10;
          const int shade = 70 + 25 * k;
          b = window ? 40 + k * 20 : shade, g = window ? 60 + k * 15 : shade - 10,
          r = window ? 90 : shade + 20;
        }
      }
      // Round shapes: cars, trees.
      for (int k = 0; k < 8; ++k) {
        const int cx = 60 + k * 85, cy = 470 + (k % 3) * 30, radius = 18 + (k * 7) % 25;
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < radius * radius) {
          b = 30 + 25 * k, g = 200 - 20 * k, r = 40 + 27 * k;
        }
      }
      put(x, y, b + noise(), g + noise(), r + noise());
    }
  }
  return bits;
}

// A delta frame: i16 block count, the bitmap of replaced blocks ((count / 8) + 1 bytes, bit i of
// byte i / 8 for block i), then a JPEG with the replacement blocks in bitmap order, row by row,
// `width / 8` blocks a row.
Bytes BuildDelta(const Bytes& scene, JpegCodec& codec) {
  const int stride = PictureStride(kWidth);
  const int blocksPerRow = kWidth / 8;
  const int blocks = blocksPerRow * (kHeight / 8);
  std::vector<int> replaced;
  for (int i = 0; i < blocks; i += kDeltaEvery) replaced.push_back(i);

  const int patchWidth = kWidth;
  const int patchBlocksPerRow = patchWidth / 8;
  const int patchHeight =
      8 * ((static_cast<int>(replaced.size()) + patchBlocksPerRow - 1) / patchBlocksPerRow);
  const int patchStride = PictureStride(patchWidth);
  Bytes patch(static_cast<size_t>(patchStride) * patchHeight, 0);
  for (size_t k = 0; k < replaced.size(); ++k) {
    const int sx = 8 * (replaced[k] % blocksPerRow), sy = 8 * (replaced[k] / blocksPerRow);
    const int dx = 8 * (static_cast<int>(k) % patchBlocksPerRow);
    const int dy = 8 * (static_cast<int>(k) / patchBlocksPerRow);
    for (int row = 0; row < 8; ++row) {
      const uint8_t* from =
          scene.data() + static_cast<size_t>(kHeight - 1 - sy - row) * stride + 3 * sx;
      uint8_t* to =
          patch.data() + static_cast<size_t>(patchHeight - 1 - dy - row) * patchStride + 3 * dx;
      // Something moved: the replacement is the old block, brightened.
      for (int i = 0; i < 24; ++i) to[i] = static_cast<uint8_t>(std::min(255, from[i] + 40));
    }
  }
  Bytes jpeg;
  if (codec.Encode(patch.data(), patchWidth, patchHeight, kQuality, jpeg) == 0) {
    std::fprintf(stderr, "encoding the delta picture failed: %s\n", codec.LastError());
    std::exit(1);
  }
  Bytes frame(2 + blocks / 8 + 1, 0);
  frame[0] = static_cast<uint8_t>(blocks & 0xFF);
  frame[1] = static_cast<uint8_t>(blocks >> 8);
  for (int i : replaced) frame[2 + i / 8] |= static_cast<uint8_t>(1 << (i % 8));
  frame.insert(frame.end(), jpeg.begin(), jpeg.end());
  std::printf("delta frame: %zu of %d blocks, %dx%d replacement JPEG, %zu bytes\n", replaced.size(),
              blocks, patchWidth, patchHeight, frame.size());
  return frame;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// CPU seconds per call of `body`, averaged over kIterations calls. The thread's own CPU time, not
// the wall clock: decoding is pure computation, and on a shared machine the wall clock mostly
// measures who else was scheduled.
double TimePerCall(const std::function<void()>& body) {
  const double start = ThreadSeconds();
  for (int i = 0; i < kIterations; ++i) body();
  return (ThreadSeconds() - start) / kIterations;
}

}  // namespace

int main() {
  const Bytes scene = RenderScene();
  JpegCodec encoder;
  Bytes key;
  if (encoder.Encode(scene.data(), kWidth, kHeight, kQuality, key) == 0) {
    std::fprintf(stderr, "encoding the key picture failed: %s\n", encoder.LastError());
    return 1;
  }
  std::printf("key frame: %dx%d, quality %d, %zu bytes\n", kWidth, kHeight, kQuality, key.size());
  const Bytes delta = BuildDelta(scene, encoder);

  const int stride = PictureStride(kWidth);
  Bytes plainOut(static_cast<size_t>(stride) * kHeight);
  tjhandle handle = tjInitDecompress();
  auto plain = [&] {
    if (tjDecompress2(handle, key.data(), static_cast<unsigned long>(key.size()), plainOut.data(),
                      kWidth, stride, kHeight, TJPF_BGR, TJFLAG_BOTTOMUP) != 0) {
      std::fprintf(stderr, "tjDecompress2: %s\n", tjGetErrorStr2(handle));
      std::exit(1);
    }
  };

  JpegCodec keyCodec;
  FrameDecoder keyDecoder(keyCodec);
  uint64_t time = 0;
  auto decodeKey = [&] { keyDecoder.Decode(key.data(), key.size(), frame_kind::kKey, ++time); };

  JpegCodec motionCodec;
  FrameDecoder motionDecoder(motionCodec);
  motionDecoder.SetMotionDetection(100, Rect{0, 0, 10000, 10000});
  auto decodeKeyMotion = [&] {
    motionDecoder.Decode(key.data(), key.size(), frame_kind::kKey, ++time);
  };

  JpegCodec deltaCodec;
  FrameDecoder deltaDecoder(deltaCodec);
  deltaDecoder.Decode(key.data(), key.size(), frame_kind::kKey, ++time);
  auto decodeDelta = [&] {
    deltaDecoder.Decode(delta.data(), delta.size(), frame_kind::kDelta, ++time);
  };

  // Each path once, and checked, before anything is timed.
  plain();
  decodeKey();
  decodeKeyMotion();
  decodeDelta();
  const auto& picture = keyDecoder.Picture();
  if (picture.Width() != kWidth || picture.Height() != kHeight ||
      std::memcmp(picture.Bits(), plainOut.data(), plainOut.size()) != 0) {
    std::fprintf(stderr, "the frame decoder's picture differs from TurboJPEG's\n");
    return 1;
  }
  if (motionDecoder.HasMotion()) {
    std::fprintf(stderr, "motion found between two identical pictures\n");
    return 1;
  }
  if (std::memcmp(deltaDecoder.Picture().Bits(), plainOut.data(), plainOut.size()) == 0) {
    std::fprintf(stderr, "the delta frame changed nothing\n");
    return 1;
  }

  std::vector<double> plainTimes, keyTimes, motionTimes, deltaTimes, headerTimes;
  std::vector<double> keyRatios, motionRatios, deltaRatios;
  int width = 0, height = 0, subsampling = 0, colourspace = 0;
  auto header = [&] {
    if (tjDecompressHeader3(handle, key.data(), static_cast<unsigned long>(key.size()), &width,
                            &height, &subsampling, &colourspace) != 0) {
      std::exit(1);
    }
  };
  for (int round = 0; round < kRounds; ++round) {
    plainTimes.push_back(TimePerCall(plain));
    keyTimes.push_back(TimePerCall(decodeKey));
    motionTimes.push_back(TimePerCall(decodeKeyMotion));
    deltaTimes.push_back(TimePerCall(decodeDelta));
    headerTimes.push_back(TimePerCall(header));
    keyRatios.push_back(plainTimes.back() / keyTimes.back());
    motionRatios.push_back(plainTimes.back() / motionTimes.back());
    deltaRatios.push_back(deltaTimes.back() / keyTimes.back());
  }
  tjDestroy(handle);

  std::printf("%d rounds of %d calls, thread CPU time (medians)\n", kRounds, kIterations);
  std::printf("plain tjDecompress2:           %8.3f ms per frame\n", Median(plainTimes) * 1e3);
  std::printf("FrameDecoder key frame:        %8.3f ms per frame\n", Median(keyTimes) * 1e3);
  std::printf("FrameDecoder key with motion:  %8.3f ms per frame\n", Median(motionTimes) * 1e3);
  std::printf("FrameDecoder delta (10%%):      %8.3f ms per frame\n", Median(deltaTimes) * 1e3);
  std::printf("one header read (tjDecompressHeader3): %.1f us\n", Median(headerTimes) * 1e6);
  std::printf("RESULT decode_key_vs_turbojpeg %.2f ratio target >= 0.95\n", Median(keyRatios));
  std::printf("RESULT decode_key_motion_vs_turbojpeg %.2f ratio target >= 0.75\n",
              Median(motionRatios));
  std::printf("RESULT delta10_vs_key %.2f ratio target <= 0.25\n", Median(deltaRatios));
  return 0;
}
