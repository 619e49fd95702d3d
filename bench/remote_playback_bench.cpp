// Remote playback: how closely play follows the recording's own spacing when the pictures come from
// a server in batches (4 cameras, 25 frames a second each, 10 s, 50 pictures a batch, each batch
// answered 3 ms after it was asked for, less than the 10 ms between pictures). The steps across the ends of the batches are where a
// source that shows whatever has just arrived goes wrong: they are reported apart.

#include <QCoreApplication>
#include <QObject>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "archive/archive_time.h"
#include "net/protocol.h"
#include "playback/playback_display.h"
#include "playback/playback_receiver.h"
#include "playback/remote_archive_forwarder.h"
#include "playback/remote_archive_link.h"
#include "playback/remote_playback_source.h"

using namespace strixc;

namespace {

using Clock = std::chrono::steady_clock;
using Source = playback::RemotePlaybackSource;

constexpr uint64_t kStart = 134'000'000'000'000'000;
constexpr int kCameras = 4;
constexpr uint64_t kStep = archive::kUnitsPerSecond / 25 / kCameras;  // one picture of some camera
constexpr int kPictures = 25 * kCameras * 10;
constexpr int kBatch = 50;
constexpr auto kLatency = std::chrono::milliseconds(3);

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5))];
}

// The server: answers each request on its own thread, as the network thread hands answers over.
class Server : public playback::RemoteArchiveLink {
 public:
  Server(video::RemotePlaybackFrameBuffer& buffer, playback::RemoteArchiveForwarder& forwarder)
      : buffer_(buffer), forwarder_(forwarder), thread_([this] { Run(); }) {}
  ~Server() override {
    {
      std::lock_guard<std::mutex> guard(lock_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }

  void ArchiveOpen(bool) override {}
  void ArchiveMapRequest(uint32_t, uint64_t, uint64_t) override {}
  void PlaybackControl(uint64_t) override {}
  bool GetArchiveRange(net::ArchiveRange* r) override {
    *r = {0xF, kStart, kStart + kPictures * kStep};
    return true;
  }
  bool AddBookmark(uint64_t, const std::string&, bool*, bool*) override { return false; }
  bool RemoveBookmark(uint64_t, bool*, bool*) override { return false; }
  void PlaybackRequest(const net::PlaybackRequestRecord& record) override {
    std::lock_guard<std::mutex> guard(lock_);
    requests_.push_back(record);
    wake_.notify_all();
  }

 private:
  void Frame(uint32_t token, int index, bool last) {
    const uint64_t time = index < kPictures ? kStart + static_cast<uint64_t>(index) * kStep : 0;
    if (time != 0) buffer_.Insert(index % kCameras, &header_, bits_.data(), time, nullptr);
    const uint16_t flags = net::frame_flag::kRemote | net::frame_flag::kKey | (last ? net::frame_flag::kLast : 0);
    forwarder_.OnRemoteFrame(
        net::FrameView{net::FrameHeader{time, 0, token, static_cast<uint8_t>(index % kCameras), flags, 0}, nullptr});
  }

  void Run() {
    std::unique_lock<std::mutex> guard(lock_);
    while (true) {
      wake_.wait(guard, [&] { return stop_ || !requests_.empty(); });
      if (stop_) return;
      const net::PlaybackRequestRecord r = requests_.front();
      requests_.pop_front();
      guard.unlock();
      std::this_thread::sleep_for(kLatency);
      if (r.mode == Source::kRequestPosition) {
        next_ = static_cast<int>((r.time - kStart) / kStep);
        Frame(r.token, next_++, true);
      } else if (r.mode == Source::kRequestForward) {
        const int end = std::min(next_ + kBatch, kPictures + 1);  // the last batch ends on a time 0
        for (; next_ < end; ++next_) Frame(r.token, next_, next_ == end - 1);
      }
      guard.lock();
    }
  }

  video::RemotePlaybackFrameBuffer& buffer_;
  playback::RemoteArchiveForwarder& forwarder_;
  const video::BitmapInfoHeader header_ = video::MakeHeader(16, 8);
  const std::vector<uint8_t> bits_ = std::vector<uint8_t>(header_.biSizeImage, 0x80);
  int next_ = 0;  // server thread only
  std::mutex lock_;
  std::condition_variable wake_;
  std::deque<net::PlaybackRequestRecord> requests_;
  bool stop_ = false;
  std::thread thread_;
};

struct Shown {
  double wallMs = 0;
  uint64_t time = 0;
};

// The browser window and the display: sends requests, records what is shown, ends the loop when
// play stops.
class Window : public QObject, public playback::PlaybackReceiver, public playback::PlaybackDisplay {
 public:
  explicit Window(video::RemotePlaybackFrameBuffer& buffer) : buffer_(buffer) {}
  void SetSource(Source* source) { source_ = source; }

  void OnPlaybackStatus(int code, int64_t) override {
    if (code == playback::kStatusStopped && playing_) QCoreApplication::quit();
  }
  void OnPlaybackPosition(uint64_t) override {}
  void OnRemoteRequest(uint32_t token) override { source_->SendRequest(token); }

  void SetFrameSource(video::FrameSource*) override {}
  void ResetFrameRate(int) override {}
  uint32_t PlacedCameras() override { return 0xF; }
  void OnFrame(int camera, bool) override {
    if (!counting_.load()) return;
    buffer_.LockFrame(camera);
    const uint64_t time = buffer_.GetFrameTime(camera);
    buffer_.UnlockFrame(camera);
    std::lock_guard<std::mutex> guard(lock_);
    shown_.push_back({std::chrono::duration<double, std::milli>(Clock::now() - start_).count(), time});
  }

  std::vector<Shown> Play() {
    start_ = Clock::now();
    counting_.store(true);
    playing_ = true;
    source_->Play();
    QCoreApplication::exec();
    counting_.store(false);
    std::lock_guard<std::mutex> guard(lock_);
    return shown_;
  }

 private:
  Source* source_ = nullptr;
  video::RemotePlaybackFrameBuffer& buffer_;
  std::atomic<bool> counting_{false};
  bool playing_ = false;
  Clock::time_point start_;
  std::mutex lock_;
  std::vector<Shown> shown_;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  video::RemotePlaybackFrameBuffer buffer;
  video::PlaybackFrameStore frames;
  playback::RemoteArchiveForwarder forwarder;
  Server server(buffer, forwarder);
  // Destroyed in reverse: the source first (it detaches from the forwarder and the server), then the
  // display, then the server's thread.
  Window window(buffer);
  Source source(&buffer, &frames);
  window.SetSource(&source);
  source.SetDisplay(&window);
  source.Attach(&server, &forwarder);
  source.Open(&window, &window);
  source.SeekCamera(0, kStart);
  while (source.CurrentTime() != kStart) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);

  const std::vector<Shown> played = window.Play();
  std::vector<double> errors, boundaries;
  for (size_t i = 1; i < played.size(); ++i) {
    const double wall = played[i].wallMs - played[i - 1].wallMs;
    const double recorded = static_cast<double>(played[i].time - played[i - 1].time) / 1e4;
    // Picture i + 1 of the recording opened a batch (the position's picture was the first).
    const size_t index = static_cast<size_t>((played[i].time - kStart) / kStep);
    ((index - 1) % kBatch == 0 ? boundaries : errors).push_back(std::fabs(wall - recorded));
  }
  if (played.size() < kPictures / 2) {
    std::fprintf(stderr, "remote_playback_bench: play showed %zu pictures\n", played.size());
    return 1;
  }
  const double wallSpan = played.back().wallMs - played.front().wallMs;
  const double recordedSpan = static_cast<double>(played.back().time - played.front().time) / 1e4;
  std::printf("remote play: %zu pictures over %.1f s recorded, %.1f s shown, %zu batch starts\n", played.size(),
              recordedSpan / 1000, wallSpan / 1000, boundaries.size());
  std::printf("RESULT remote_play_fake_link_pacing_error_ms %.3f ms target <= 1\n", Percentile(errors, 0.5));
  std::printf("RESULT remote_play_fake_link_pacing_error_p99_ms %.3f ms\n", Percentile(errors, 0.99));
  std::printf("RESULT remote_play_batch_start_error_ms %.3f ms target <= 2\n", Percentile(boundaries, 0.5));
  std::printf("RESULT remote_play_drift %.5f ratio\n", wallSpan / recordedSpan - 1);
  return 0;
}
