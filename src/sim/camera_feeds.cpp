#include "sim/camera_feeds.h"

#include <algorithm>

#include "archive/archive_time.h"

namespace strixc::sim {

CameraFeeds::CameraFeeds(const SimConfig& config)
    : cameraCount_(std::clamp(config.cameraCount, 0, net::kCameraCount)),
      width_(config.cameraWidth),
      height_(config.cameraHeight),
      eventsOn_(config.events),
      domeMask_(config.domeMask),
      eventPeriod_(static_cast<uint64_t>(std::max(config.eventPeriodMs, 1)) * (archive::kUnitsPerSecond / 1000)),
      codec_(config.Codec()) {
  for (int c = 0; c < net::kCameraCount; ++c) names_[static_cast<size_t>(c)] = config.CameraName(c);
}

const Scene& CameraFeeds::SceneOf(int camera) {
  auto& scene = scenes_[static_cast<size_t>(camera)];
  if (!scene) {
    if (!fonts_) fonts_ = std::make_shared<SceneFonts>(width_, height_);
    scene = std::make_unique<Scene>(camera, width_, height_, names_[static_cast<size_t>(camera)], fonts_);
  }
  return *scene;
}

const DomeScene& CameraFeeds::DomeSceneOf(int camera) {
  auto& scene = domeScenes_[static_cast<size_t>(camera)];
  if (!scene) {
    if (!fonts_) fonts_ = std::make_shared<SceneFonts>(width_, height_);
    scene = std::make_unique<DomeScene>(camera, width_, height_, names_[static_cast<size_t>(camera)], fonts_);
  }
  return *scene;
}

void CameraFeeds::SetDomeView(int camera, const DomeView& view) {
  if (camera >= 0 && camera < net::kCameraCount) domeViews_[static_cast<size_t>(camera)] = view;
}

void CameraFeeds::Advance(uint64_t time, uint32_t mask) {
  const uint64_t previous = time_;
  time_ = time;
  rendered_ = 0;
  moving_ = 0;
  for (int c = 0; c < cameraCount_; ++c) {
    auto& event = events_[static_cast<size_t>(c)];
    event.clear();
    // An event falls due when the tick crosses the camera's next event time. After a pause longer
    // than a period (no client transmitting) the ticks start afresh rather than with a burst of
    // events on every camera.
    if (eventsOn_ && previous != 0 && time > previous && time - previous < eventPeriod_) {
      // Camera c's events fall c sixteenths of a period after those of camera 0.
      const uint64_t shift = eventPeriod_ - eventPeriod_ * static_cast<uint64_t>(c) / net::kCameraCount;
      const uint64_t slot = (time + shift) / eventPeriod_;
      if (slot != (previous + shift) / eventPeriod_) event = codec_.Encode(EventTextOf(c, slot));
    }
    if (!((mask >> c) & 1)) continue;
    if (IsDome(c)) {
      const DomeView& view = domeViews_[static_cast<size_t>(c)];
      DomeSceneOf(c).Render(time, view, pictures_[static_cast<size_t>(c)]);
      rendered_ |= 1u << c;
      if (view.moving) moving_ |= 1u << c;
      continue;
    }
    const Scene& scene = SceneOf(c);
    scene.Render(time, pictures_[static_cast<size_t>(c)]);
    rendered_ |= 1u << c;
    if (scene.Moving(time)) moving_ |= 1u << c;
  }
}

std::string CameraFeeds::EventTextOf(int camera, uint64_t n) {
  const std::string number = std::to_string(camera + 1);
  switch ((n + static_cast<uint64_t>(camera)) % 4) {
    case 0:
      return "Motion detected on camera " + number;
    case 1:
      return "Door opened";
    case 2:
      return "Line crossed on camera " + number;
    default:
      return "Object left behind on camera " + number;
  }
}

}  // namespace strixc::sim
