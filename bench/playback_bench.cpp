// Local playback: how closely play follows the recording's own spacing (4 cameras, 25 frames a
// second each, CIF, 20 s), and how fast fast-forward with motion detection runs against reading and
// decoding the same records in a plain loop, measured in the same run.

#include <QCoreApplication>
#include <QObject>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "archive/archive_database.h"
#include "archive/archive_reader.h"
#include "archive/archive_records.h"
#include "archive/archive_time.h"
#include "playback/local_playback_source.h"
#include "playback/playback_display.h"
#include "playback/playback_receiver.h"
#include "sim/scene_archive_writer.h"
#include "video/frame_store.h"

using namespace strixc;

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint64_t kSecond = archive::kUnitsPerSecond;
constexpr int kCameras = 4;
constexpr uint32_t kMask = (1u << kCameras) - 1;
// Motion detection watches the still cameras only, so that the search runs to the end.
constexpr uint32_t kMotionMask = 0b1100;
constexpr int kSensitivity = 50;
constexpr video::Rect kWholePicture{0, 0, 10000, 10000};

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5))];
}

// One frame as the display saw it.
struct Shown {
  double wallMs = 0;
  uint64_t time = 0;
};

// Drives a LocalPlaybackSource as the browser does and records what it shows, until the source
// stops by itself.
class Run : public QObject, public playback::PlaybackReceiver, public playback::PlaybackDisplay {
 public:
  explicit Run(archive::ArchiveDatabase* db) : source_(db) {
    source_.SetDisplay(this);
    source_.Open(this, this);
    source_.SetCameraMask(kMask);
    shown_.reserve(1 << 16);
  }

  // Plays `mode` from the archive's first frame of camera 0; returns when the source stopped.
  std::vector<Shown> Play(uint64_t from, bool motion, int mode) {
    source_.SeekCamera(0, from);
    for (int c = 0; c < kCameras; ++c) {
      source_.SetMotionDetection(c, motion && ((kMotionMask >> c) & 1) ? kSensitivity : 0, kWholePicture);
    }
    shown_.clear();
    // The seek's notifications are queued before the marker; the mode's end comes after it.
    armed_ = false;
    QMetaObject::invokeMethod(this, [this] { armed_ = true; }, Qt::QueuedConnection);
    start_ = Clock::now();
    counting_.store(true);
    if (mode == playback::kModeFastForward) {
      source_.FastForward();
    } else {
      source_.Play();
    }
    QCoreApplication::exec();
    counting_.store(false);
    return shown_;
  }

  bool MotionFound() const { return motionFound_; }

  void OnPlaybackStatus(int code, int64_t) override {
    if (code == playback::kStatusMotionFound) motionFound_ = true;
    if (armed_ && (code == playback::kStatusStopped || code == playback::kStatusMotionFound)) QCoreApplication::quit();
  }
  void OnPlaybackPosition(uint64_t) override {}

  void SetFrameSource(video::FrameSource*) override {}
  void ResetFrameRate(int) override {}
  uint32_t PlacedCameras() override { return kMask; }
  // On the timer thread, inside the source's lock; shown_ is read once the source has stopped.
  void OnFrame(int camera, bool) override {
    if (!counting_.load()) return;
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
    video::PlaybackFrameStore& store = source_.FrameStore();
    store.LockFrame(camera);
    const uint64_t time = store.GetFrameTime(camera);
    store.UnlockFrame(camera);
    shown_.push_back({ms, time});
  }

 private:
  playback::LocalPlaybackSource source_;
  std::atomic<bool> counting_{false};
  Clock::time_point start_;
  std::vector<Shown> shown_;
  bool armed_ = false;
  bool motionFound_ = false;
};

// The baseline of fast-forward: every record read in time order and decoded, motion detection on
// the same cameras, nothing else. Returns the frames decoded; `motions` counts those with motion.
size_t ReadAndDecode(archive::ArchiveDatabase* db, uint64_t from, size_t* motions) {
  video::PlaybackFrameStore store;
  for (int c = 0; c < kCameras; ++c) store.SetMotionDetection(c, (kMotionMask >> c) & 1 ? kSensitivity : 0, kWholePicture);
  archive::ArchiveReader reader(db);
  archive::RecordHeader header;
  std::vector<uint8_t> payload;
  size_t frames = 0;
  if (!reader.Seek(from, &header)) return 0;
  while (reader.ReadRecord(&payload, &header, false)) {
    store.Decode(header.camera, payload.data(), static_cast<size_t>(header.payloadSize), header.type, header.time);
    ++frames;
    *motions += store.HasMotion(header.camera) ? 1 : 0;
  }
  return frames;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTemporaryDir dir;
  sim::SceneArchiveOptions o;
  o.folder = dir.filePath("archive").toStdString();
  o.start = *archive::TimeOfFields({2026, 1, 15, 12, 0, 0, 0});
  o.duration = 20 * kSecond;
  o.cameraMask = kMask;
  o.movingMask = kMask & ~kMotionMask;
  o.fps = 25;
  // Several files, so that play crosses from one to the next as it does in a real archive.
  o.space = 16 * archive::kMiB;
  o.fileSize = archive::kMiB;
  o.loop = 4 * kSecond;
  const auto made = Clock::now();
  const sim::SceneArchiveResult written = sim::WriteSceneArchive(o);
  if (!written.ok || written.earliest != o.start) {
    std::fprintf(stderr, "playback_bench: cannot write the archive: %s\n", written.error.c_str());
    return 1;
  }
  std::printf("archive: %llu frames, %.1f MiB in %d files, written in %.2f s\n",
              static_cast<unsigned long long>(written.frames), static_cast<double>(written.payloadBytes) / archive::kMiB,
              written.files, std::chrono::duration<double>(Clock::now() - made).count());

  const auto db = archive::ArchiveDatabase::ForFolder(o.folder, dir.path().toStdString());
  Run run(db.get());

  // Pacing: each step between consecutive frames against the recorded step.
  std::vector<Shown> played = run.Play(o.start, false, playback::kModePlay);
  // At the end the player goes back to the last frame and redraws it: not part of the pacing.
  for (size_t i = 1; i < played.size(); ++i) {
    if (played[i].time <= played[i - 1].time) {
      played.resize(i);
      break;
    }
  }
  std::vector<double> errors;
  for (size_t i = 1; i < played.size(); ++i) {
    const double wall = played[i].wallMs - played[i - 1].wallMs;
    const double recorded = static_cast<double>(played[i].time - played[i - 1].time) / 1e4;
    errors.push_back(std::fabs(wall - recorded));
  }
  if (played.size() < 2) {
    std::fprintf(stderr, "playback_bench: play showed %zu frames\n", played.size());
    return 1;
  }
  const double wallSpan = played.back().wallMs - played.front().wallMs;
  const double recordedSpan = static_cast<double>(played.back().time - played.front().time) / 1e4;
  std::printf("play: %zu frames over %.1f s recorded, %.1f s shown\n", played.size(), recordedSpan / 1000,
              wallSpan / 1000);
  std::printf("RESULT play_pacing_error_ms %.3f ms target <= 1\n", Percentile(errors, 0.5));
  std::printf("RESULT play_pacing_error_p99_ms %.3f ms\n", Percentile(errors, 0.99));
  std::printf("RESULT play_pacing_error_max_ms %.3f ms\n", Percentile(errors, 1.0));
  std::printf("RESULT play_drift %.5f ratio\n", wallSpan / recordedSpan - 1);

  // Fast forward against the plain loop, alternating, best of seven each (a run is short).
  double bestForward = 0, bestPlain = 0;
  size_t forwardFrames = 0, plainFrames = 0;
  for (int round = 0; round < 7; ++round) {
    auto t0 = Clock::now();
    const std::vector<Shown> searched = run.Play(o.start, true, playback::kModeFastForward);
    double s = std::chrono::duration<double>(Clock::now() - t0).count();
    forwardFrames = searched.size();
    bestForward = std::max(bestForward, static_cast<double>(searched.size()) / s);
    t0 = Clock::now();
    size_t motions = 0;
    plainFrames = ReadAndDecode(db.get(), o.start, &motions);
    if (motions != 0) std::printf("read and decode: motion on a still camera (a fault)\n");
    s = std::chrono::duration<double>(Clock::now() - t0).count();
    bestPlain = std::max(bestPlain, static_cast<double>(plainFrames) / s);
  }
  if (run.MotionFound()) std::printf("fast forward: motion found on a still camera (a fault)\n");
  std::printf("fast forward: %zu frames at %.0f/s; read and decode: %zu frames at %.0f/s\n", forwardFrames,
              bestForward, plainFrames, bestPlain);
  std::printf("RESULT fast_forward_vs_decode %.3f ratio target >= 0.8\n", bestForward / bestPlain);

  // What a day of sixteen cameras at one frame a second costs the synthetic archive writer, from
  // ten minutes of it (half the cameras moving, their pictures repeating every minute).
  sim::SceneArchiveOptions wall;
  wall.folder = dir.filePath("wall").toStdString();
  wall.start = o.start;
  wall.duration = 600 * kSecond;
  wall.cameraMask = 0xFFFF;
  wall.movingMask = 0x00FF;
  wall.fps = 1;
  wall.loop = 60 * kSecond;
  wall.space = 64 * archive::kMiB;
  wall.fileSize = 8 * archive::kMiB;
  const auto wallStart = Clock::now();
  const sim::SceneArchiveResult day = sim::WriteSceneArchive(wall);
  const double wallSeconds = std::chrono::duration<double>(Clock::now() - wallStart).count();
  if (!day.ok) {
    std::fprintf(stderr, "playback_bench: cannot write the sixteen cameras: %s\n", day.error.c_str());
    return 1;
  }
  std::printf("sixteen cameras, 10 min at 1 frame/s: %llu frames, %.1f MiB in %.2f s\n",
              static_cast<unsigned long long>(day.frames), static_cast<double>(day.payloadBytes) / archive::kMiB,
              wallSeconds);
  std::printf("RESULT scene_archive_day_of_16_cameras_s %.1f s\n", wallSeconds * 144);
  return 0;
}
