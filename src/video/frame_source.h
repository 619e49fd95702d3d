#pragma once

#include <cstdint>

#include "video/picture.h"

namespace strixc::video {

// Where the display reads a camera's current picture. Camera indices are 0..15.
//
// LockFrame and UnlockFrame come in pairs around every read: between them the picture, its header,
// time and text stay as they are. The pointers returned are valid only until UnlockFrame.
class FrameSource {
 public:
  virtual ~FrameSource() = default;
  virtual void LockFrame(int camera) = 0;
  virtual void UnlockFrame(int camera) = 0;
  // The current picture's header; a picture exists only when width and height are both non-zero.
  virtual const BitmapInfoHeader* GetFrameHeader(int camera) = 0;
  virtual const uint8_t* GetFrameBits(int camera) = 0;
  virtual uint64_t GetFrameTime(int camera) = 0;
  // The camera's current event text, or null.
  virtual const char* GetFrameText(int camera) = 0;
};

}  // namespace strixc::video
