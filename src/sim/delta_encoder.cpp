#include "sim/delta_encoder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace strixc::sim {

namespace {

constexpr int kBlockSide = 8;
constexpr int kBlockRowBytes = kBlockSide * 3;

// Rows of a block lie at decreasing addresses (bottom-up pictures); `a` and `b` are top rows.
int BlockDifference(const uint8_t* a, const uint8_t* b, int stride) {
  int sum = 0;
  for (int row = 0; row < kBlockSide; ++row, a -= stride, b -= stride) {
    for (int i = 0; i < kBlockRowBytes; ++i) sum += std::abs(a[i] - b[i]);
  }
  return sum;
}

bool SameBlock(const uint8_t* a, const uint8_t* b, int stride) {
  for (int row = 0; row < kBlockSide; ++row, a -= stride, b -= stride) {
    if (std::memcmp(a, b, kBlockRowBytes) != 0) return false;
  }
  return true;
}

void CopyBlock(uint8_t* to, int toStride, const uint8_t* from, int fromStride) {
  for (int row = 0; row < kBlockSide; ++row, to -= toStride, from -= fromStride) std::memcpy(to, from, kBlockRowBytes);
}

void CopyPicture(const video::PictureBuffer& from, video::PictureBuffer& to) {
  to.Resize(from.Width(), from.Height());
  std::memcpy(to.Bits(), from.Bits(), from.ImageSize());
}

}  // namespace

DeltaEncoder::DeltaEncoder(video::JpegCodec& codec) : codec_(codec), mirror_(codec) {}

net::FrameKind DeltaEncoder::Encode(const video::PictureBuffer& scene, bool key, int keyQuality, int deltaQuality,
                                    uint64_t time, std::vector<uint8_t>& data) {
  lastDeltaBlocks_ = 0;
  if (scene.Empty()) return net::FrameKind::kNone;
  const video::PictureBuffer& mirror = mirror_.Picture();
  const bool deltaPossible = !key && mirror.Width() == scene.Width() && mirror.Height() == scene.Height() &&
                             sent_.Width() == scene.Width() && sent_.Height() == scene.Height() &&
                             scene.LastBlockIndex() >= 0 && scene.LastBlockIndex() < kMaxDeltaBlocks;
  if (deltaPossible && ChooseBlocks(scene) && EncodeDelta(scene, std::clamp(deltaQuality, 1, 100), time, data))
    return net::FrameKind::kDelta;
  return EncodeKey(scene, std::clamp(keyQuality, 1, 100), time, data) ? net::FrameKind::kKey : net::FrameKind::kNone;
}

void DeltaEncoder::AddEvent(const uint8_t* data, size_t length, uint64_t time) {
  mirror_.Decode(data, length, video::frame_kind::kEvent, time);
}

bool DeltaEncoder::EncodeKey(const video::PictureBuffer& scene, int quality, uint64_t time,
                             std::vector<uint8_t>& data) {
  // A picture so large that its JPEG exceeds a message is sent at a lower quality rather than not
  // at all.
  for (;;) {
    const size_t n = codec_.Encode(scene.Bits(), scene.Width(), scene.Height(), quality, data);
    if (n == 0) return false;
    if (n <= kMaxFrameData) break;
    if (quality == 1) return false;
    quality = std::max(1, quality * 2 / 3);
  }
  mirror_.Decode(data.data(), data.size(), video::frame_kind::kKey, time);
  CopyPicture(scene, sent_);
  // The key frame's noise is what its content looks like in its natural place: no second chances.
  settled_.assign(static_cast<size_t>(scene.LastBlockIndex() + 1), 1);
  return true;
}

bool DeltaEncoder::ChooseBlocks(const video::PictureBuffer& scene) {
  const video::PictureBuffer& mirror = mirror_.Picture();
  const int stride = scene.Stride();
  const int blocks = scene.LastBlockIndex() + 1;
  changed_.clear();
  int worst = 0, worstDifference = -1;
  for (int i = 0; i < blocks; ++i) {
    const uint8_t* s = scene.BlockTop(i);
    const bool same = SameBlock(s, sent_.BlockTop(i), stride);
    if (same && settled_[static_cast<size_t>(i)]) continue;
    const int difference = BlockDifference(s, mirror.BlockTop(i), stride);
    if (difference > kBlockThreshold) changed_.push_back(i);
    if (difference > worstDifference) worst = i, worstDifference = difference;
  }
  // Replacing more than half the picture costs more than a key frame.
  if (changed_.size() * 2 > static_cast<size_t>(blocks)) return false;
  // Every tick carries a frame: with nothing to replace, the block furthest from the scene among
  // those that changed (or block 0) goes again.
  if (changed_.empty()) changed_.push_back(worst);
  return true;
}

bool DeltaEncoder::EncodeDelta(const video::PictureBuffer& scene, int quality, uint64_t time,
                               std::vector<uint8_t>& data) {
  const int count = static_cast<int>(changed_.size());
  const int perRow = std::min(count, kMaxPatchBlocksPerRow);
  const int patchWidth = (perRow + 1) / 2 * 16;
  const int slotsPerRow = patchWidth / kBlockSide;
  const int rows = (count + slotsPerRow - 1) / slotsPerRow;
  patch_.Resize(patchWidth, rows * kBlockSide);
  const int stride = scene.Stride(), patchStride = patch_.Stride();
  for (int k = 0; k < count; ++k) CopyBlock(patch_.BlockTop(k), patchStride, scene.BlockTop(changed_[k]), stride);
  for (int k = count; k < rows * slotsPerRow; ++k) {
    uint8_t* to = patch_.BlockTop(k);
    for (int row = 0; row < kBlockSide; ++row, to -= patchStride) std::memset(to, kPatchFill, kBlockRowBytes);
  }
  if (codec_.Encode(patch_.Bits(), patch_.Width(), patch_.Height(), quality, jpeg_) == 0) return false;

  const int bits = scene.LastBlockIndex() + 1;
  const size_t bitmapBytes = static_cast<size_t>(bits / 8 + 1);
  if (2 + bitmapBytes + jpeg_.size() > kMaxFrameData) return false;
  data.assign(2 + bitmapBytes, 0);
  data[0] = static_cast<uint8_t>(bits & 0xFF);
  data[1] = static_cast<uint8_t>(bits >> 8);
  for (const int i : changed_) data[2 + static_cast<size_t>(i / 8)] |= static_cast<uint8_t>(1u << (i % 8));
  data.insert(data.end(), jpeg_.begin(), jpeg_.end());

  mirror_.Decode(data.data(), data.size(), video::frame_kind::kDelta, time);
  for (const int i : changed_) {
    uint8_t* s = sent_.BlockTop(i);
    const uint8_t* from = scene.BlockTop(i);
    auto& settled = settled_[static_cast<size_t>(i)];
    // New content may have one second chance; a block sent again unchanged has had it.
    settled = SameBlock(s, from, stride) ? 1 : 0;
    CopyBlock(s, stride, from, stride);
  }
  lastDeltaBlocks_ = count;
  return true;
}

}  // namespace strixc::sim
