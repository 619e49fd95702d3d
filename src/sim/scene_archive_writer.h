#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "archive/archive_time.h"

namespace strixc::archive {
class ArchiveDatabase;
}

namespace strixc::sim {

// An event record to put into a synthetic archive (it colours the archive map: set events yellow,
// clear events red).
struct SceneArchiveEvent {
  int camera = 0;       // 0..15
  uint64_t time = 0;    // archive time
  bool set = true;      // a set-event (flag 1) or a clear-event (flag 0)
  std::string text;     // at most 99 characters are stored
};

// What WriteSceneArchive records. Times are archive times (100 ns units since 1601 on the local
// archive's clock, see archive/archive_time.h).
struct SceneArchiveOptions {
  static constexpr int kCameras = 16;

  // The archive's folder (created when missing): it becomes a location of `space` bytes in files
  // of `fileSize` bytes, made as `strixc-tool archive create` makes one. Files already there with
  // those sizes are kept and continued.
  std::string folder;
  uint64_t space = 8 * archive::kMiB;
  uint64_t fileSize = 2 * archive::kMiB;

  // Bit c: camera c records. Cameras in `movingMask` show the simulator's room with its objects
  // crossing it and its running clock; the others show one still picture all along (what the
  // room looked like at their first frame), so motion detection finds nothing on them.
  uint32_t cameraMask = 0xF;
  uint32_t movingMask = 0x1;
  int width = 352;
  int height = 288;

  // Frames per second of every camera; a positive entry of `cameraFps` overrides it for its camera.
  double fps = 25.0;
  std::array<double, kCameras> cameraFps{};
  // The first frame of camera c is at start + startOffset[c]; the last one before start + duration.
  uint64_t start = 0;
  uint64_t duration = 10 * archive::kUnitsPerSecond;
  std::array<uint64_t, kCameras> startOffset{};
  // Every keyInterval-th frame of a camera is a key frame (the first one always is).
  int keyInterval = 25;
  int keyQuality = 75;
  int deltaQuality = 60;

  // When not 0, a moving camera's pictures repeat after this long (rounded up to whole key-frame
  // groups): the frames of the first round are encoded once and written again for the later
  // rounds, so that long archives (a day of sixteen cameras) cost little more than their writes.
  uint64_t loop = 0;

  std::vector<SceneArchiveEvent> events;
};

struct SceneArchiveResult {
  bool ok = false;
  std::string error;  // why not, when !ok
  uint64_t frames = 0;
  uint64_t keyFrames = 0;
  uint64_t events = 0;
  uint64_t payloadBytes = 0;
  // Per camera: frames written and the times of the first and the last one (0 when none).
  std::array<uint64_t, SceneArchiveOptions::kCameras> cameraFrames{};
  std::array<uint64_t, SceneArchiveOptions::kCameras> firstTime{};
  std::array<uint64_t, SceneArchiveOptions::kCameras> lastTime{};
  // What the archive holds afterwards (the ring drops the oldest file when the space is too small)
  // and how many of its files hold recordings.
  uint64_t earliest = 0;
  uint64_t latest = 0;
  int files = 0;
};

// The time of frame `index` of `camera` under `options` (the times WriteSceneArchive gives them;
// two records due at the same time are written 100 ns apart, in camera order).
uint64_t SceneFrameTime(const SceneArchiveOptions& options, int camera, uint64_t index);

// Makes `folder` (created when missing) a location of `space` bytes in files of `fileSize` bytes,
// the way `strixc-tool archive create --fast` does, and opens it for recording. Files already there
// with those sizes are kept; sizes that would delete recordings are refused. Null with `error` set
// on failure.
std::unique_ptr<archive::ArchiveDatabase> OpenRecordingLocation(const std::string& folder, uint64_t space,
                                                                uint64_t fileSize, std::string* error);

// Writes a synthetic archive: the cameras' frames (JPEG key and delta frames, as the simulator
// sends them) and the events, all in time order, through an ArchiveRecorder with explicit times.
// Refuses (nothing written) bad options and an archive that already holds recordings at or after
// `start`. Blocks until done; any thread, one call per folder at a time.
SceneArchiveResult WriteSceneArchive(const SceneArchiveOptions& options);

}  // namespace strixc::sim
