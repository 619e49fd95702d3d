#include "video/frame_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace strixc::video {

namespace {

constexpr int kFrameUnits = 10000;
constexpr int kBlockBytes = 24;  // one row of an 8 x 8 block

int16_t ReadI16(const uint8_t* p) { return static_cast<int16_t>(p[0] | (p[1] << 8)); }

// Maps a frame-unit coordinate onto 0..size - 1, rounding to nearest.
int ToPixels(int units, int size) {
  return static_cast<int>(std::floor(static_cast<double>(units) * (size - 1) / kFrameUnits + 0.5));
}

// The sum of absolute differences of the 192 bytes of two 8 x 8 blocks, given by their top rows;
// the rows below lie at decreasing addresses (bottom-up storage).
int BlockDifference(const uint8_t* a, int strideA, const uint8_t* b, int strideB) {
  int sum = 0;
  for (int row = 0; row < 8; ++row) {
    const uint8_t* pa = a - static_cast<ptrdiff_t>(row) * strideA;
    const uint8_t* pb = b - static_cast<ptrdiff_t>(row) * strideB;
    for (int i = 0; i < kBlockBytes; ++i) sum += std::abs(pa[i] - pb[i]);
  }
  return sum;
}

}  // namespace

FrameDecoder::FrameDecoder(JpegCodec& codec) : codec_(codec) {}

void FrameDecoder::Decode(const uint8_t* data, size_t length, int kind, uint64_t time) {
  time_ = time;
  motion_.store(false, std::memory_order_relaxed);
  eventText_.clear();
  switch (kind) {
    case frame_kind::kKey:
      DecodeKey(data, length);
      break;
    case frame_kind::kDelta:
      DecodeDelta(data, length);
      break;
    case frame_kind::kEvent:
      ResizeCurrent(0, 0);
      delta_.Resize(0, 0);
      SetEvent(data, length);
      break;
    default:
      break;
  }
}

void FrameDecoder::Reset() {
  ResizeCurrent(0, 0);
  delta_.Resize(0, 0);
  time_ = 0;
  motion_.store(false, std::memory_order_relaxed);
  eventText_.clear();
}

void FrameDecoder::SetMotionDetection(int sensitivity, const Rect& area) {
  sensitivity_ = std::clamp(sensitivity, 0, 100);
  Rect a = area;
  a.left = std::max(a.left, 0);
  a.top = std::max(a.top, 0);
  if (a.left > a.right) std::swap(a.left, a.right);
  if (a.top > a.bottom) std::swap(a.top, a.bottom);
  area_ = a;
  UpdateAreaPixels();
  motion_.store(false, std::memory_order_relaxed);
}

void FrameDecoder::UpdateAreaPixels() {
  if (area_.Empty() || current_.Empty()) {
    areaPixels_ = Rect{};
    return;
  }
  const int w = current_.Width();
  const int h = current_.Height();
  areaPixels_ = Rect{ToPixels(area_.left, w), ToPixels(area_.top, h), ToPixels(area_.right, w),
                     ToPixels(area_.bottom, h)};
}

void FrameDecoder::ResizeCurrent(int width, int height) {
  if (width == current_.Width() && height == current_.Height()) return;
  current_.Resize(width, height);
  UpdateAreaPixels();
}

void FrameDecoder::DecodeKey(const uint8_t* data, size_t length) {
  if (length == 0) return;
  int width = 0;
  int height = 0;
  if (codec_.ReadParameters(data, length, &width, &height) != 0) return;
  if (width > kMaxDimension || height > kMaxDimension) return;

  // The new picture is decoded into the spare buffer and only then becomes the current one, so a
  // stream that fails halfway leaves the current picture as it was. The buffers trade places
  // instead of copying, and the old picture stays behind in the spare buffer, where motion
  // detection compares against it.
  previous_.Resize(width, height);
  if (codec_.Decode(data, length, previous_.Bits(), width, height) != 0) return;
  std::swap(current_, previous_);
  UpdateAreaPixels();
  if (Comparing()) motion_.store(CompareArea(current_, previous_), std::memory_order_relaxed);
}

void FrameDecoder::DecodeDelta(const uint8_t* data, size_t length) {
  if (length < 2) return;
  const int bits = ReadI16(data);
  // A negative count would put the picture before the bitmap.
  if (bits < 0) return;
  const size_t bitmapBytes = static_cast<size_t>(bits / 8) + 1;
  if (2 + bitmapBytes >= length) return;
  const uint8_t* bitmap = data + 2;
  const uint8_t* jpeg = bitmap + bitmapBytes;
  const size_t jpegLength = length - 2 - bitmapBytes;

  int width = 0;
  int height = 0;
  if (codec_.ReadParameters(jpeg, jpegLength, &width, &height) != 0) return;
  if (width > kMaxDimension || height > kMaxDimension) return;
  delta_.Resize(width, height);
  if (codec_.Decode(jpeg, jpegLength, delta_.Bits(), width, height) != 0) return;

  // Every set bit takes the next replacement block, even one for a block beyond the picture; a
  // frame that names more blocks than its picture holds is refused whole.
  int needed = 0;
  for (int i = 0; i < bits; ++i) needed += (bitmap[i >> 3] >> (i & 7)) & 1;
  if (needed == 0) return;
  if (needed > delta_.LastBlockIndex() + 1) return;

  bool moved = false;
  int k = 0;
  for (int i = 0; i < bits; ++i) {
    if (!((bitmap[i >> 3] >> (i & 7)) & 1)) continue;
    CopyBlock(i, k, moved);
    ++k;
  }
  if (moved) motion_.store(true, std::memory_order_relaxed);
}

void FrameDecoder::CopyBlock(int target, int source, bool& moved) {
  if (current_.Empty()) {
    // A delta frame with no picture to update: start from a black picture of the default size.
    ResizeCurrent(kDefaultWidth, kDefaultHeight);
    std::memset(current_.Bits(), 0, current_.ImageSize());
  }
  if (target > current_.LastBlockIndex()) return;
  const uint8_t* from = delta_.BlockTop(source);
  uint8_t* to = current_.BlockTop(target);
  if (!moved && sensitivity_ >= 1 && !areaPixels_.Empty()) {
    const int x = 8 * (target % current_.BlocksPerRow());
    const int y = 8 * (target / current_.BlocksPerRow());
    moved = BlockMoved(x, y, from, delta_.Stride(), to, current_.Stride());
  }
  for (int row = 0; row < 8; ++row) {
    std::memcpy(to - static_cast<ptrdiff_t>(row) * current_.Stride(),
                from - static_cast<ptrdiff_t>(row) * delta_.Stride(), kBlockBytes);
  }
}

bool FrameDecoder::BlockMoved(int x, int y, const uint8_t* a, int strideA, const uint8_t* b,
                              int strideB) const {
  const Rect& r = areaPixels_;
  if (x + 7 < r.left || x > r.right || y + 7 < r.top || y > r.bottom) return false;
  return BlockDifference(a, strideA, b, strideB) > (100 - sensitivity_) * 256;
}

bool FrameDecoder::CompareArea(const PictureBuffer& a, const PictureBuffer& b) const {
  const int lastRow = std::min(a.BlockRows(), b.BlockRows()) - 1;
  const int lastColumn = std::min(a.BlocksPerRow(), b.BlocksPerRow()) - 1;
  const int rowEnd = std::min(areaPixels_.bottom / 8, lastRow);
  const int columnEnd = std::min(areaPixels_.right / 8, lastColumn);
  for (int row = areaPixels_.top / 8; row <= rowEnd; ++row) {
    for (int column = areaPixels_.left / 8; column <= columnEnd; ++column) {
      const int x = 8 * column;
      const int y = 8 * row;
      if (BlockMoved(x, y, a.PixelTop(x, y), a.Stride(), b.PixelTop(x, y), b.Stride())) return true;
    }
  }
  return false;
}

void FrameDecoder::SetEvent(const uint8_t* data, size_t length) {
  if (length == 0) return;
  // The text starts at offset 4 and ends at its zero byte or at the end of the data.
  constexpr size_t kTextOffset = 4;
  if (length <= kTextOffset) return;
  const char* text = reinterpret_cast<const char*>(data + kTextOffset);
  eventText_.assign(text, strnlen(text, length - kTextOffset));
}

}  // namespace strixc::video
