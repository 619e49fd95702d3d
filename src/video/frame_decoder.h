#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "video/jpeg_codec.h"
#include "video/picture.h"

namespace strixc::video {

// The kinds of frame a camera stream carries.
namespace frame_kind {
constexpr int kNone = 0;
constexpr int kKey = 1;    // a complete JPEG picture
constexpr int kDelta = 2;  // replacement 8 x 8 blocks for the current picture
constexpr int kEvent = 3;  // an event record: u32 flag, zero-terminated text at offset 4
}  // namespace frame_kind

// Rebuilds one camera's picture from its stream of key, delta and event frames, and tells whether
// the last frame showed motion inside the motion area.
//
// Not thread-safe: the frame store's slot lock guards every call, except HasMotion, which any
// thread may read. The codec must outlive the decoder and is used only from inside its calls.
//
// Every frame sets the time and clears the motion flag and the event text first. A frame that
// cannot be decoded (damaged JPEG, a delta frame whose parts lie beyond its data) then leaves the
// picture as it was.
class FrameDecoder {
 public:
  // The size a delta frame is applied to when the camera has no picture yet.
  static constexpr int kDefaultWidth = 384;
  static constexpr int kDefaultHeight = 288;
  // Largest picture accepted from a stream.
  static constexpr int kMaxDimension = 4096;

  explicit FrameDecoder(JpegCodec& codec);

  void Decode(const uint8_t* data, size_t length, int kind, uint64_t time);
  // Back to no picture, time 0, no motion.
  void Reset();
  // sensitivity 0..100 (0: off); area in frame units (0..10000 across width and height), empty: off.
  void SetMotionDetection(int sensitivity, const Rect& area);

  const PictureBuffer& Picture() const { return current_; }
  int Width() const { return current_.Width(); }
  int Height() const { return current_.Height(); }
  uint64_t Time() const { return time_; }
  // Null when the last frame was no event.
  const char* EventText() const { return eventText_.empty() ? nullptr : eventText_.c_str(); }
  bool HasMotion() const { return motion_.load(std::memory_order_relaxed); }
  // The motion area mapped to the current picture; empty when detection is off.
  const Rect& MotionAreaPixels() const { return areaPixels_; }

 private:
  void DecodeKey(const uint8_t* data, size_t length);
  void DecodeDelta(const uint8_t* data, size_t length);
  void SetEvent(const uint8_t* data, size_t length);
  void CopyBlock(int target, int source, bool& moved);
  bool CompareArea(const PictureBuffer& a, const PictureBuffer& b) const;
  bool BlockMoved(int x, int y, const uint8_t* a, int strideA, const uint8_t* b, int strideB) const;
  // Resizes the current picture and remaps the motion area to it.
  void ResizeCurrent(int width, int height);
  void UpdateAreaPixels();
  bool Comparing() const { return sensitivity_ > 0 && !areaPixels_.Empty(); }

  JpegCodec& codec_;
  uint64_t time_ = 0;
  PictureBuffer current_;
  PictureBuffer previous_;
  PictureBuffer delta_;
  std::atomic<bool> motion_{false};
  int sensitivity_ = 0;
  Rect area_;
  Rect areaPixels_;
  std::string eventText_;
};

}  // namespace strixc::video
