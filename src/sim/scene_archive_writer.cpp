#include "sim/scene_archive_writer.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "archive/archive_database.h"
#include "archive/archive_recorder.h"
#include "archive/archive_records.h"
#include "sim/delta_encoder.h"
#include "sim/scene.h"
#include "sim/sim_config.h"
#include "video/jpeg_codec.h"
#include "video/picture.h"

namespace strixc::sim {

namespace {

constexpr int kCameras = SceneArchiveOptions::kCameras;
constexpr int kMaxDimension = 4096;
// Below one frame a minute a camera is hardly a camera; above 1000 frames a second two frames
// would share a millisecond, which the players cannot tell apart.
constexpr double kMinFps = 1.0 / 60.0;
constexpr double kMaxFps = 1000.0;

double FpsOf(const SceneArchiveOptions& o, int camera) {
  const double own = o.cameraFps[static_cast<size_t>(camera)];
  return own > 0 ? own : o.fps;
}

bool Recording(const SceneArchiveOptions& o, int camera) { return (o.cameraMask >> camera) & 1; }

// The scenes paint their clock from the time they are given: the wall clock, as the player shows it.
uint64_t SceneTime(uint64_t archiveTime) { return archive::ToWallClock(archiveTime); }

std::string CheckOptions(const SceneArchiveOptions& o) {
  if (o.folder.empty()) return "no folder";
  if ((o.cameraMask & ~0xFFFFu) != 0) return "cameras beyond 16";
  if (o.width < 8 || o.height < 8 || o.width > kMaxDimension || o.height > kMaxDimension)
    return "picture size outside 8..4096";
  if (o.start == 0) return "no start time";
  if (o.duration == 0 || o.start + o.duration < o.start) return "bad duration";
  if (o.keyInterval < 1) return "key-frame interval below 1";
  if (o.space < o.fileSize || o.fileSize < archive::kMinFileLength) return "bad space or file size";
  for (int c = 0; c < kCameras; ++c) {
    if (!Recording(o, c)) continue;
    const double fps = FpsOf(o, c);
    if (!(fps >= kMinFps && fps <= kMaxFps)) return "frame rate of camera " + std::to_string(c) + " outside 1/60..1000";
    if (o.startOffset[static_cast<size_t>(c)] >= o.duration)
      return "camera " + std::to_string(c) + " starts after the end";
  }
  for (const SceneArchiveEvent& e : o.events) {
    if (e.camera < 0 || e.camera >= kCameras) return "event of a camera beyond 16";
    if (e.time < o.start) return "event before the start";
  }
  return {};
}

// One camera's frames: where it is in its schedule and how it makes its next frame.
struct CameraTrack {
  int camera = 0;
  bool moving = false;
  uint64_t index = 0;     // of the next frame
  uint64_t count = 0;     // frames in the archive
  uint64_t loopFrames = 0;  // 0: no repetition
  // An event emptied the camera's picture in every player (as it does a live client's): the next
  // frame must be a key frame.
  bool keyDue = false;
  std::unique_ptr<Scene> scene;
  std::unique_ptr<DeltaEncoder> encoder;
  video::PictureBuffer picture;
  // Encoded frames kept for reuse: a still camera's key and delta frame, or a moving camera's
  // first round when it loops.
  struct Frame {
    archive::RecordType type = archive::RecordType::kKeyFrame;
    std::vector<uint8_t> data;
  };
  std::vector<Frame> kept;
};

class Writer {
 public:
  Writer(const SceneArchiveOptions& o, archive::ArchiveRecorder& recorder) : o_(o), recorder_(recorder) {}

  bool Run(SceneArchiveResult* result);

 private:
  void MakeTracks();
  // Encodes (or picks the kept copy of) the next frame of `t` into frame_; false when encoding failed.
  bool NextFrame(CameraTrack& t, uint64_t time);
  bool Encode(CameraTrack& t, uint64_t sceneTime, bool key, uint64_t time);

  const SceneArchiveOptions& o_;
  archive::ArchiveRecorder& recorder_;
  video::JpegCodec codec_;
  std::shared_ptr<const SceneFonts> fonts_;
  std::vector<CameraTrack> tracks_;
  CameraTrack::Frame frame_;
  const CameraTrack::Frame* ready_ = nullptr;
};

void Writer::MakeTracks() {
  fonts_ = std::make_shared<SceneFonts>(o_.width, o_.height);
  for (int c = 0; c < kCameras; ++c) {
    if (!Recording(o_, c)) continue;
    CameraTrack t;
    t.camera = c;
    t.moving = (o_.movingMask >> c) & 1;
    const double fps = FpsOf(o_, c);
    const uint64_t span = o_.duration - o_.startOffset[static_cast<size_t>(c)];
    // Frames i with i / fps < span seconds.
    t.count = static_cast<uint64_t>(std::ceil(static_cast<double>(span) * fps / archive::kUnitsPerSecond));
    while (t.count > 0 && SceneFrameTime(o_, c, t.count - 1) >= o_.start + o_.duration) --t.count;
    if (t.moving && o_.loop != 0) {
      const uint64_t frames = static_cast<uint64_t>(std::ceil(static_cast<double>(o_.loop) * fps / archive::kUnitsPerSecond));
      const uint64_t group = static_cast<uint64_t>(o_.keyInterval);
      t.loopFrames = std::max<uint64_t>(1, (frames + group - 1) / group) * group;
    }
    t.scene = std::make_unique<Scene>(c, o_.width, o_.height, SimConfig::DefaultCameraName(c), fonts_);
    t.encoder = std::make_unique<DeltaEncoder>(codec_);
    tracks_.push_back(std::move(t));
  }
}

bool Writer::Encode(CameraTrack& t, uint64_t sceneTime, bool key, uint64_t time) {
  t.scene->Render(sceneTime, t.picture);
  const net::FrameKind kind = t.encoder->Encode(t.picture, key, o_.keyQuality, o_.deltaQuality, time, frame_.data);
  if (kind == net::FrameKind::kNone) return false;
  frame_.type = kind == net::FrameKind::kKey ? archive::RecordType::kKeyFrame : archive::RecordType::kDeltaFrame;
  ready_ = &frame_;
  return true;
}

bool Writer::NextFrame(CameraTrack& t, uint64_t time) {
  const uint64_t i = t.index;
  const bool key = i % static_cast<uint64_t>(o_.keyInterval) == 0 || t.keyDue;
  t.keyDue = false;
  if (!t.moving) {
    // A still picture encodes to the same key frame every time, and its delta frames (one block
    // sent again, as the simulator does when nothing changed) are all alike as well.
    if (t.kept.empty()) {
      const uint64_t first = SceneTime(SceneFrameTime(o_, t.camera, 0));
      if (!Encode(t, first, true, time)) return false;
      t.kept.push_back(frame_);
      if (!Encode(t, first, false, time)) return false;
      t.kept.push_back(frame_);
    }
    ready_ = &t.kept[key ? 0 : 1];
    return true;
  }
  if (t.loopFrames == 0) return Encode(t, SceneTime(time), key, time);
  const uint64_t round = i % t.loopFrames;
  // A key frame out of turn is made afresh; the kept deltas after it still fit, since it shows the
  // same picture as the frame it stands in for.
  if (key && round < t.kept.size() && t.kept[round].type != archive::RecordType::kKeyFrame)
    return Encode(t, SceneTime(SceneFrameTime(o_, t.camera, round)), true, time);
  if (round < t.kept.size()) {
    ready_ = &t.kept[round];
    return true;
  }
  // The rounds all start with a key frame (a loop is whole key-frame groups), so the frames of the
  // first round decode the same after any earlier round.
  if (!Encode(t, SceneTime(SceneFrameTime(o_, t.camera, round)), key, time)) return false;
  t.kept.push_back(frame_);
  return true;
}

bool Writer::Run(SceneArchiveResult* result) {
  MakeTracks();
  std::vector<SceneArchiveEvent> events = o_.events;
  std::stable_sort(events.begin(), events.end(),
                   [](const SceneArchiveEvent& a, const SceneArchiveEvent& b) { return a.time < b.time; });
  size_t nextEvent = 0;
  uint8_t eventPayload[archive::kEventPayloadSize];
  for (;;) {
    CameraTrack* due = nullptr;
    uint64_t dueTime = UINT64_MAX;
    for (CameraTrack& t : tracks_) {
      if (t.index >= t.count) continue;
      const uint64_t time = SceneFrameTime(o_, t.camera, t.index);
      if (time < dueTime) due = &t, dueTime = time;
    }
    if (nextEvent < events.size() && events[nextEvent].time <= dueTime) {
      const SceneArchiveEvent& e = events[nextEvent++];
      archive::EventPayload payload;
      payload.flag = e.set ? 1 : 0;
      payload.text = e.text;
      payload.Encode(eventPayload);
      if (!recorder_.WriteRecord(archive::RecordType::kEvent, e.camera, e.time, eventPayload, sizeof eventPayload)) {
        result->error = "cannot write an event: " + recorder_.MessageLog().Summary();
        return false;
      }
      ++result->events;
      for (CameraTrack& t : tracks_) {
        if (t.camera != e.camera) continue;
        t.keyDue = true;
        t.encoder->AddEvent(eventPayload, sizeof eventPayload, e.time);
      }
      continue;
    }
    if (due == nullptr) return true;
    if (!NextFrame(*due, dueTime)) {
      result->error = "cannot encode a frame of camera " + std::to_string(due->camera);
      return false;
    }
    if (!recorder_.WriteRecord(ready_->type, due->camera, dueTime, ready_->data.data(), ready_->data.size())) {
      result->error = "cannot write a frame: " + recorder_.MessageLog().Summary();
      return false;
    }
    const auto c = static_cast<size_t>(due->camera);
    if (result->cameraFrames[c]++ == 0) result->firstTime[c] = dueTime;
    result->lastTime[c] = dueTime;
    ++result->frames;
    if (ready_->type == archive::RecordType::kKeyFrame) ++result->keyFrames;
    result->payloadBytes += ready_->data.size();
    ++due->index;
  }
}

}  // namespace

uint64_t SceneFrameTime(const SceneArchiveOptions& options, int camera, uint64_t index) {
  const double fps = FpsOf(options, camera);
  const auto step = static_cast<uint64_t>(std::llround(static_cast<double>(index) * archive::kUnitsPerSecond / fps));
  return options.start + options.startOffset[static_cast<size_t>(camera)] + step;
}

std::unique_ptr<archive::ArchiveDatabase> OpenRecordingLocation(const std::string& folder, uint64_t space,
                                                                uint64_t fileSize, std::string* error) {
  auto db = std::make_unique<archive::ArchiveDatabase>(folder);
  // Dropping the default location through an empty rebuild touches no file.
  db->MarkLocationDeleted(0);
  db->ApplyLocation(0, {}, {}, {}, {}, true);
  if (db->AddLocation(folder, space, fileSize, 0) != 0) {
    *error = "cannot add the location " + folder;
    return nullptr;
  }
  std::vector<archive::ArchiveFileInfo> deleteList;
  std::vector<archive::ArchiveFileInfo> createList;
  if (!db->PlanLocation(0, &deleteList, &createList)) {
    *error = "cannot plan the location: " + db->MessageLog().Summary();
    return nullptr;
  }
  // Never at the price of recordings already there.
  if (!archive::ArchiveDatabase::LossWarning(deleteList).empty()) {
    *error = "the folder holds recordings that other sizes would delete";
    return nullptr;
  }
  db->MessageLog().Reset();
  if (!db->ApplyLocation(0, deleteList, createList, {}, {}, true) || db->MessageLog().Errors() != 0 ||
      !db->Open(false)) {
    *error = "cannot make the location: " + db->MessageLog().Summary();
    return nullptr;
  }
  return db;
}

SceneArchiveResult WriteSceneArchive(const SceneArchiveOptions& options) {
  SceneArchiveResult result;
  result.error = CheckOptions(options);
  if (!result.error.empty()) return result;
  const auto db = OpenRecordingLocation(options.folder, options.space, options.fileSize, &result.error);
  if (!db) return result;
  // Appending before the archive's end would have the recorder move every time after it.
  if (db->Latest() >= options.start) {
    result.error = "the archive already holds recordings at or after the start";
    return result;
  }
  archive::ArchiveRecorder recorder;
  recorder.Attach(db.get());
  recorder.SetEnabled(true);
  Writer writer(options, recorder);
  result.ok = writer.Run(&result);
  recorder.Detach();
  result.earliest = db->Earliest();
  result.latest = db->Latest();
  for (const archive::ArchiveFileInfo& f : db->Files()) result.files += f.IsEmpty() ? 0 : 1;
  return result;
}

}  // namespace strixc::sim
