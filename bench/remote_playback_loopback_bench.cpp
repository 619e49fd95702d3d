// Remote playback against a real server on loopback: a synthetic archive (4 cameras at 25 pictures a
// second, 10 s, several files) served by strixc-sim --archive, played through the connection as the
// archive browser plays it (frame path, remote frame buffer, forwarder, ServerConnectionLink,
// requests sent from the main thread). Pacing error: each step between consecutive pictures shown
// against the recorded step. The same archive played by the local source, with the same display,
// is the baseline of the same run.

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <ctime>
#include <mutex>
#include <vector>

#include "archive/archive_database.h"
#include "archive/archive_time.h"
#include "net/connection_controller.h"
#include "net/frame_path.h"
#include "net/remote_frame_buffer_adapter.h"
#include "playback/local_playback_source.h"
#include "playback/playback_display.h"
#include "playback/playback_receiver.h"
#include "playback/remote_archive_forwarder.h"
#include "playback/remote_playback_source.h"
#include "playback/server_connection_link.h"
#include "sim/scene_archive_writer.h"

using namespace strixc;

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint64_t kSecond = archive::kUnitsPerSecond;
constexpr int kStartTimeoutMs = 20000;

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5))];
}

struct Shown {
  double wallMs = 0;
  uint64_t time = 0;
};

// The window and the display: sends the remote source's requests, records what is shown (from any
// of the source's threads), ends the loop when play stops.
class Window : public QObject, public playback::PlaybackReceiver, public playback::PlaybackDisplay {
 public:
  void SetSource(playback::PlaybackSource* source) { source_ = source; }

  void OnPlaybackStatus(int code, int64_t) override {
    if (code == playback::kStatusStopped && playing_) QCoreApplication::quit();
  }
  void OnPlaybackPosition(uint64_t) override {}
  void OnRemoteRequest(uint32_t token) override { source_->SendRequest(token); }

  void SetFrameSource(video::FrameSource* frames) override { frames_.store(frames); }
  void ResetFrameRate(int) override {}
  uint32_t PlacedCameras() override { return 0xF; }
  void OnFrame(int camera, bool) override {
    if (!counting_.load()) return;
    std::lock_guard<std::mutex> guard(lock_);
    video::FrameSource* frames = frames_.load();
    if (frames == nullptr) return;
    frames->LockFrame(camera);
    const uint64_t time = frames->GetFrameTime(camera);
    frames->UnlockFrame(camera);
    shown_.push_back({std::chrono::duration<double, std::milli>(Clock::now() - start_).count(), time});
  }

  std::vector<Shown> Play() {
    start_ = Clock::now();
    counting_.store(true);
    playing_ = true;
    source_->Play();
    QCoreApplication::exec();
    counting_.store(false);
    playing_ = false;
    source_->Stop();
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<Shown> shown = shown_;
    // At the end a source may redraw the last picture: not part of the pacing.
    for (size_t i = 1; i < shown.size(); ++i) {
      if (shown[i].time < shown[i - 1].time) {
        shown.resize(i);
        break;
      }
    }
    return shown;
  }

 private:
  playback::PlaybackSource* source_ = nullptr;
  std::atomic<video::FrameSource*> frames_{nullptr};
  std::atomic<bool> counting_{false};
  bool playing_ = false;
  Clock::time_point start_;
  std::mutex lock_;
  std::vector<Shown> shown_;
};

struct Pacing {
  std::vector<double> errors;
  std::vector<double> stepErrors;  // only where the recording moves on by 1 ms or more
  double drift = 0;
  size_t pictures = 0;
};

Pacing Measure(const std::vector<Shown>& played) {
  Pacing p;
  p.pictures = played.size();
  for (size_t i = 1; i < played.size(); ++i) {
    const double wall = played[i].wallMs - played[i - 1].wallMs;
    const double recorded = static_cast<double>(played[i].time - played[i - 1].time) / 1e4;
    p.errors.push_back(std::fabs(wall - recorded));
    if (recorded >= 1.0) p.stepErrors.push_back(std::fabs(wall - recorded));
  }
  if (played.size() >= 2) {
    const double wallSpan = played.back().wallMs - played.front().wallMs;
    const double recordedSpan = static_cast<double>(played.back().time - played.front().time) / 1e4;
    p.drift = recordedSpan > 0 ? wallSpan / recordedSpan - 1 : 0;
  }
  return p;
}

void WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done() && Clock::now() < end) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace

int main(int argc, char** argv) {
  // The archive's clock and the server's wall clock agree in UTC.
  setenv("TZ", "UTC", 1);
  tzset();
  QCoreApplication app(argc, argv);

  QTemporaryDir dir;
  sim::SceneArchiveOptions o;
  o.folder = dir.filePath("archive").toStdString();
  o.start = *archive::TimeOfFields({2026, 1, 15, 12, 0, 0, 0});
  o.duration = 10 * kSecond;
  o.cameraMask = 0xF;
  o.movingMask = 0x1;
  o.fps = 25;
  o.space = 16 * archive::kMiB;
  o.fileSize = archive::kMiB;
  const sim::SceneArchiveResult written = sim::WriteSceneArchive(o);
  if (!written.ok) {
    std::fprintf(stderr, "remote_playback_loopback_bench: cannot write the archive: %s\n", written.error.c_str());
    return 1;
  }
  std::printf("archive: %llu frames in %d files\n", static_cast<unsigned long long>(written.frames), written.files);

  // Baseline: the local source on the same archive, the same display.
  Pacing local;
  {
    const auto db = archive::ArchiveDatabase::ForFolder(o.folder, dir.path().toStdString());
    Window window;
    playback::LocalPlaybackSource source(db.get());
    window.SetSource(&source);
    source.SetDisplay(&window);
    source.Open(&window, &window);
    source.SetCameraMask(0xF);
    source.SeekCamera(0, o.start);
    local = Measure(window.Play());
    source.Close();
    source.SetDisplay(nullptr);
  }

  QProcess sim;
  sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  sim.start(QCoreApplication::applicationDirPath() + QStringLiteral("/strixc-sim"),
            {"--archive", QString::fromStdString(o.folder), "--port", "0", "--cameras", "4"});
  if (!sim.waitForStarted(kStartTimeoutMs) || !sim.waitForReadyRead(kStartTimeoutMs)) {
    std::fprintf(stderr, "remote_playback_loopback_bench: strixc-sim did not start next to the benchmark\n");
    return 1;
  }
  QByteArray line = sim.readLine();
  while (!line.endsWith('\n') && sim.waitForReadyRead(kStartTimeoutMs)) line += sim.readLine();
  const int port = QJsonDocument::fromJson(line).object().value(QStringLiteral("port")).toInt();
  if (port <= 0) {
    std::fprintf(stderr, "remote_playback_loopback_bench: no port in '%s'\n", line.trimmed().constData());
    return 1;
  }

  Pacing remote;
  {
    net::ConnectionController controller;
    video::LiveFrameStore live;
    video::PlaybackFrameStore frames;
    video::RemotePlaybackFrameBuffer buffer;
    net::FramePath path(live, frames);
    net::RemoteFrameBufferAdapter adapter(buffer);
    playback::RemoteArchiveForwarder forwarder;
    path.SetRemoteBuffer(&adapter);
    path.SetRemoteSink(&forwarder);
    controller.SetFrameSinks(&path, &forwarder);
    bool started = false;
    QObject::connect(&controller, &net::ConnectionController::Started, [&] {
      controller.CompleteStart(0);
      started = true;
    });
    controller.Connect(QStringLiteral("127.0.0.1"), static_cast<quint16>(port), "demo", "demo");
    WaitUntil([&] { return started; }, kStartTimeoutMs);
    if (!started) {
      std::fprintf(stderr, "remote_playback_loopback_bench: no connection to strixc-sim\n");
      return 1;
    }
    playback::ServerConnectionLink link(controller.Connection());
    {
      Window window;
      playback::RemotePlaybackSource source(&buffer, &frames);
      window.SetSource(&source);
      source.SetDisplay(&window);
      if (!source.Attach(&link, &forwarder)) {
        std::fprintf(stderr, "remote_playback_loopback_bench: the server gave no archive range\n");
        return 1;
      }
      source.Open(&window, &window);
      source.SetCameraMask(0xF);
      source.SeekCamera(0, o.start);
      WaitUntil([&] { return source.CurrentRequest().token == 0 && source.CurrentTime() != 0; }, kStartTimeoutMs);
      remote = Measure(window.Play());
      source.Detach();
      source.SetDisplay(nullptr);
    }
    controller.Teardown();
    controller.Connection().Shutdown();
  }
  sim.kill();
  sim.waitForFinished(5000);

  if (remote.pictures < static_cast<size_t>(written.frames) / 2 || local.pictures < 2) {
    std::fprintf(stderr, "remote_playback_loopback_bench: play showed %zu pictures (local %zu)\n", remote.pictures,
                 local.pictures);
    return 1;
  }
  const double remoteMedian = Percentile(remote.errors, 0.5);
  const double localMedian = Percentile(local.errors, 0.5);
  std::printf("loopback play: %zu pictures from the server, %zu from the local archive\n", remote.pictures,
              local.pictures);
  std::printf("RESULT remote_play_pacing_error_ms %.3f ms target <= 2\n", remoteMedian);
  std::printf("RESULT remote_play_pacing_error_p99_ms %.3f ms\n", Percentile(remote.errors, 0.99));
  // The cameras' pictures of one moment follow each other at once; these are the steps between
  // moments, where a late or early picture shows.
  std::printf("steps between moments: %zu from the server, %zu local\n", remote.stepErrors.size(),
              local.stepErrors.size());
  std::printf("RESULT remote_play_step_error_ms %.3f ms\n", Percentile(remote.stepErrors, 0.5));
  std::printf("RESULT local_play_step_error_ms %.3f ms\n", Percentile(local.stepErrors, 0.5));
  std::printf("RESULT remote_play_loopback_drift %.5f ratio\n", remote.drift);
  std::printf("RESULT local_play_pacing_error_ms %.3f ms\n", localMedian);
  // Against the local source (floored at 0.1 ms, so that a perfect baseline gives no huge ratio).
  std::printf("RESULT remote_vs_local_pacing_error %.2f ratio\n", (remoteMedian + 0.1) / (localMedian + 0.1));
  return 0;
}
