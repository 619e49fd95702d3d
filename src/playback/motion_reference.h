#pragma once

#include <cstdint>

#include "video/picture.h"

namespace strixc::playback {

// Motion search over a server's archive for one camera: the remote frames reach the source as
// finished pictures, so it compares each with a reference picture of its own instead of the
// decoder's previous one. The first picture (and the first after a change of size) becomes the
// reference; later ones are compared with it block by block inside the area and leave it as it is,
// so a slow change still adds up to motion.
//
// Not thread-safe: the source's lock guards it.
class MotionReference {
 public:
  // `sensitivity` 0..100 (0: off); `area` in frame units (0..10000 across width and height), empty:
  // off. Off drops the reference.
  void SetSettings(int sensitivity, const video::Rect& area);
  // Whether `bits` (a picture in our layout, as `header` describes it) differs from the reference
  // by more than the sensitivity allows in some 8 x 8 block of the area. A missing picture, or
  // detection off, is no motion. Without a reference of the same size, keeps a copy and reports no
  // motion.
  bool Compare(const video::BitmapInfoHeader& header, const uint8_t* bits);
  bool HasReference() const { return !reference_.Empty(); }

 private:
  int sensitivity_ = 0;
  video::Rect area_;
  video::PictureBuffer reference_;
};

}  // namespace strixc::playback
