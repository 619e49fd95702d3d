#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "net/protocol.h"
#include "sim/dome_scene.h"
#include "sim/scene.h"
#include "sim/sim_dome.h"
#include "sim/sim_config.h"
#include "video/picture.h"

namespace strixc::sim {

// The simulated cameras of a server: one Scene each, and the pictures of the current tick, rendered
// once however many clients show them. Also decides when a camera reports an event (with
// SimConfig::events): every eventPeriodMs per camera, the cameras staggered over the period.
//
// A dome camera (SimConfig::domeMask) shows a DomeScene instead of a room: the view it shows is the
// one last given with SetDomeView, so whoever moves the dome sets it before each Advance.
//
// A scene is built the first time its camera is needed. Not thread-safe: lives on the server's
// thread (a test may keep its own instance to render what the server sent).
class CameraFeeds {
 public:
  explicit CameraFeeds(const SimConfig& config);

  // Renders the cameras of `mask` (bits at or beyond the camera count are ignored) at `time`, in
  // archive units, and works out which of all cameras have an event at this tick.
  void Advance(uint64_t time, uint32_t mask);

  // Of the last Advance: its time, the cameras rendered, and per rendered camera its picture,
  // whether something moves in it, and its event text in the code page (empty: no event).
  uint64_t Time() const { return time_; }
  uint32_t RenderedMask() const { return rendered_; }
  const video::PictureBuffer& Picture(int camera) const { return pictures_[static_cast<size_t>(camera)]; }
  bool Moving(int camera) const { return (moving_ >> camera) & 1; }
  const std::string& EventText(int camera) const { return events_[static_cast<size_t>(camera)]; }

  // The view the next Advance paints dome camera `camera` with (0..15; ignored for other cameras).
  void SetDomeView(int camera, const DomeView& view);
  bool IsDome(int camera) const { return (domeMask_ >> camera) & 1; }

  // The scene of a camera below the camera count, built if need be: the room of a camera that is
  // not a dome, the landscape of one that is.
  const Scene& SceneOf(int camera);
  const DomeScene& DomeSceneOf(int camera);
  int CameraCount() const { return cameraCount_; }

  // The event text camera `camera` reports for its `n`-th event.
  static std::string EventTextOf(int camera, uint64_t n);

 private:
  const int cameraCount_;
  const int width_;
  const int height_;
  const bool eventsOn_;
  const uint32_t domeMask_;
  const uint64_t eventPeriod_;  // archive units
  std::array<std::string, net::kCameraCount> names_;  // UTF-8, drawn into the scenes
  const net::TextCodec codec_;
  std::shared_ptr<const SceneFonts> fonts_;
  std::array<std::unique_ptr<Scene>, net::kCameraCount> scenes_;
  std::array<std::unique_ptr<DomeScene>, net::kCameraCount> domeScenes_;
  std::array<DomeView, net::kCameraCount> domeViews_;
  std::array<video::PictureBuffer, net::kCameraCount> pictures_;
  std::array<std::string, net::kCameraCount> events_;
  uint64_t time_ = 0;
  uint32_t rendered_ = 0;
  uint32_t moving_ = 0;
};

}  // namespace strixc::sim
