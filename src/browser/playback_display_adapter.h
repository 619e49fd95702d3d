#pragma once

#include "display/video_display.h"
#include "playback/playback_display.h"

namespace strixc::browser {

// The main window's VideoDisplay as a playback source sees it. The display must outlive the
// adapter, and the adapter must outlive every source bound to it (PlaybackSource::SetDisplay).
// Any thread, as VideoDisplay.
class PlaybackDisplayAdapter final : public playback::PlaybackDisplay {
 public:
  explicit PlaybackDisplayAdapter(display::VideoDisplay& display) : display_(display) {}

  void SetFrameSource(video::FrameSource* source) override { display_.SetFrameSource(source); }
  void ResetFrameRate(int camera) override { display_.ResetFrameRate(camera); }
  void OnFrame(int camera, bool marker) override { display_.OnFrame(camera, marker); }
  // The cameras whose cell in the current layout is not empty.
  uint32_t PlacedCameras() override { return display_.VisibleCameras(); }

 private:
  display::VideoDisplay& display_;
};

}  // namespace strixc::browser
