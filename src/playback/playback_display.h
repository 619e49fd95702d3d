#pragma once

#include <cstdint>

#include "video/frame_source.h"

namespace strixc::playback {

// The video display as the playback sources see it (the browser passes the main window's display
// through an adapter; the headless command and the tests pass their own).
//
// Called from the timer thread and the user-interface thread, inside the source's lock, and by the
// remote source also from the network thread (its answers to a seek); the source never holds a
// frame-store camera lock while it calls OnFrame.
class PlaybackDisplay {
 public:
  virtual ~PlaybackDisplay() = default;
  // Where the display reads pictures; null detaches (export). `source` outlives the setting.
  virtual void SetFrameSource(video::FrameSource* source) = 0;
  virtual void ResetFrameRate(int camera) = 0;
  // Camera `camera` has a new picture in the frame source.
  virtual void OnFrame(int camera, bool marker) = 0;
  // Bit c set: camera c is placed in a cell of the current layout.
  virtual uint32_t PlacedCameras() = 0;
};

}  // namespace strixc::playback
