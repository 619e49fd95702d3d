// Live pictures from the simulator, seen by a raw client that decodes them: key frames first and on
// request, deltas that never drift from the scene, the marker while something moves, nothing before
// the transmission is switched on or for hidden cameras, event frames each followed by a key frame,
// and a slow client that misses ticks without losing track.

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "net/messages.h"
#include "net/protocol.h"
#include "net/wire.h"
#include "sim/camera_feeds.h"
#include "sim/sim_server_thread.h"
#include "sim_test_client.h"
#include "video/frame_decoder.h"

namespace strixc::sim {
namespace {

using test::Client;

// A key frame leaves about 5 per byte at quality 25 on these scenes; a picture that lost track of
// its scene is off by tens.
constexpr double kMaxError = 8.0;

struct Frame {
  net::FrameHeader header;
  std::vector<uint8_t> data;

  net::FrameKind Kind() const { return net::KindOfFrame(header.flags); }
  int Camera() const { return header.camera; }
};

double MeanError(const video::PictureBuffer& a, const video::PictureBuffer& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return 255.0;
  uint64_t sum = 0;
  for (int y = 0; y < a.Height(); ++y) {
    const uint8_t* pa = a.Bits() + static_cast<size_t>(y) * a.Stride();
    const uint8_t* pb = b.Bits() + static_cast<size_t>(y) * b.Stride();
    for (int i = 0; i < 3 * a.Width(); ++i) sum += static_cast<uint64_t>(std::abs(pa[i] - pb[i]));
  }
  return static_cast<double>(sum) / (3.0 * a.Width() * a.Height());
}

// A client of the video channel that shows live pictures: one decoder per camera, as the operator
// station has.
class Viewer {
 public:
  explicit Viewer(quint16 port) {
    connected_ = client_.Connect(port);
    client_.Send(net::video_out::kLogin, net::BuildLogin({"demo", "demo"}, true));
    const auto reply = test::LoginReply(client_, true);
    loggedIn_ = reply && reply->accepted == 1;
    for (auto& decoder : decoders_) decoder = std::make_unique<video::FrameDecoder>(codec_);
  }

  bool Ready() const { return connected_ && loggedIn_; }
  void Show(uint32_t mask) { client_.Send(net::video_out::kVisibleCameras, net::BuildVisibleCameras(mask)); }
  void Transmit(bool on) { client_.Send(net::video_out::kTransmitSwitch, net::BuildTransmitSwitch(on)); }
  void AskKeyFrames(uint32_t mask) { client_.Send(net::video_out::kKeyFrameRequest, net::BuildKeyFrameRequest(mask)); }
  void SetQuality(uint32_t key, uint32_t delta) {
    client_.Send(net::video_out::kSetQuality, net::BuildSetQuality(key, delta));
  }
  void CapReading(qint64 bytes) { client_.CapReading(bytes); }

  // The next live frame, decoded; nothing when another message or none at all came.
  std::optional<Frame> NextFrame() {
    const auto m = client_.Receive();
    if (!m || m->code != net::video_in::kFrame) return std::nullopt;
    return Take(*m);
  }

  // Asks for the I/O states and reads up to the answer, keeping the frames that came before it:
  // once it returns, every request sent before has been handled.
  bool Sync(std::vector<Frame>* before = nullptr) {
    client_.Send(net::video_out::kInfoRequest, net::BuildInfoRequest(net::info_kind::kIoState, 0));
    for (;;) {
      const auto m = client_.Receive();
      if (!m) return false;
      if (m->code == net::video_in::kIoState) return true;
      if (m->code != net::video_in::kFrame) return false;
      const auto frame = Take(*m);
      if (!frame) return false;
      if (before) before->push_back(*frame);
    }
  }

  const video::FrameDecoder& Decoder(int camera) const { return *decoders_[static_cast<size_t>(camera)]; }

 private:
  std::optional<Frame> Take(const test::Message& m) {
    const auto view = net::ParseFrame(m.payload.data(), m.payload.size());
    if (!view || view->header.camera >= net::kCameraCount) return std::nullopt;
    Frame frame{view->header, std::vector<uint8_t>(view->data, view->data + view->header.dataLength)};
    decoders_[frame.Camera()]->Decode(frame.data.data(), frame.data.size(), static_cast<int>(frame.Kind()),
                                      frame.header.time);
    return frame;
  }

  Client client_;
  bool connected_ = false;
  bool loggedIn_ = false;
  video::JpegCodec codec_;
  std::array<std::unique_ptr<video::FrameDecoder>, net::kCameraCount> decoders_;
};

class LiveStreamTest : public ::testing::Test {
 protected:
  // Two cameras at 50 pictures a second, and no periodic key frames, so that any key frame the
  // tests see was asked for (and any drift would show).
  static SimConfig FastConfig() {
    SimConfig config;
    config.videoPort = 0;
    config.inputPeriodMs = 0;
    config.cameraCount = 2;
    config.fps = 50;
    config.keyFrameIntervalMs = 0;
    return config;
  }

  void Start(const SimConfig& config) {
    config_ = config;
    server_ = std::make_unique<SimServerThread>(config);
    ASSERT_TRUE(server_->Start()) << server_->ErrorText().toStdString();
    reference_ = std::make_unique<CameraFeeds>(config);
  }

  std::unique_ptr<Viewer> Connect() {
    auto viewer = std::make_unique<Viewer>(server_->VideoPort());
    EXPECT_TRUE(viewer->Ready());
    return viewer;
  }

  // How far the viewer's picture of the frame's camera is from what the camera saw at its time.
  double ErrorOf(const Viewer& viewer, const Frame& frame) {
    reference_->SceneOf(frame.Camera()).Render(frame.header.time, scene_);
    return MeanError(viewer.Decoder(frame.Camera()).Picture(), scene_);
  }

  // Reads frames until one of `camera` comes; at most `limit` frames.
  static std::optional<Frame> NextOf(Viewer& viewer, int camera, int limit = 500) {
    for (int i = 0; i < limit; ++i) {
      auto frame = viewer.NextFrame();
      if (!frame) return std::nullopt;
      if (frame->Camera() == camera) return frame;
    }
    return std::nullopt;
  }

  SimServer& Server() { return server_->Server(); }

  SimConfig config_;
  std::unique_ptr<SimServerThread> server_;
  std::unique_ptr<CameraFeeds> reference_;
  video::PictureBuffer scene_;
};

TEST_F(LiveStreamTest, StreamDecodesWithoutDrift) {
  Start(FastConfig());
  auto viewer = Connect();
  viewer->Show(0x3);
  viewer->Transmit(true);

  std::array<int, 2> frames{};
  std::array<double, 2> first{}, last{};
  std::array<uint64_t, 2> lastTime{};
  constexpr int kPerCamera = 150;
  constexpr int kWindow = 20;
  std::vector<std::array<double, 2>> errors;
  while (frames[0] < kPerCamera || frames[1] < kPerCamera) {
    const auto frame = viewer->NextFrame();
    ASSERT_TRUE(frame);
    const int c = frame->Camera();
    ASSERT_LT(c, 2);
    EXPECT_TRUE(frame->header.flags & net::frame_flag::kLive);
    EXPECT_EQ(frame->header.token, 0u);
    // A camera's first frame is a key frame, and none follows unasked.
    EXPECT_EQ(frame->Kind(), frames[c] == 0 ? net::FrameKind::kKey : net::FrameKind::kDelta) << frames[c];
    EXPECT_GT(frame->header.time, lastTime[c]);
    lastTime[c] = frame->header.time;
    // The marker tells exactly when something moves in the camera's scene.
    EXPECT_EQ((frame->header.flags & net::frame_flag::kMarker) != 0, reference_->SceneOf(c).Moving(frame->header.time));

    const double error = ErrorOf(*viewer, *frame);
    EXPECT_LT(error, kMaxError) << "camera " << c << ", frame " << frames[c];
    if (frames[c] < kWindow) first[c] += error / kWindow;
    if (frames[c] >= kPerCamera - kWindow && frames[c] < kPerCamera) last[c] += error / kWindow;
    ++frames[c];
  }
  for (int c = 0; c < 2; ++c) EXPECT_LT(last[c], first[c] + 0.5) << c;
}

TEST_F(LiveStreamTest, KeyFrameFirstAndOnRequest) {
  Start(FastConfig());
  auto viewer = Connect();
  viewer->Show(0x1);
  viewer->Transmit(true);
  auto frame = viewer->NextFrame();
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->Camera(), 0);
  EXPECT_EQ(frame->Kind(), net::FrameKind::kKey);
  for (int i = 0; i < 5; ++i) {
    frame = viewer->NextFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->Camera(), 0);
    EXPECT_EQ(frame->Kind(), net::FrameKind::kDelta);
  }

  // A camera added to the visible set starts with a key frame.
  viewer->Show(0x3);
  frame = NextOf(*viewer, 1);
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->Kind(), net::FrameKind::kKey);

  // A request for camera 1 gets a key frame of camera 1 at its next tick, and none of camera 0.
  const auto keysAfterRequest = [&](uint32_t mask) {
    viewer->AskKeyFrames(mask);
    std::vector<Frame> frames;
    EXPECT_TRUE(viewer->Sync(&frames));
    // The next frame of each camera after the request has surely been handled.
    for (int c = 0; c < 2; ++c) {
      auto next = NextOf(*viewer, c);
      EXPECT_TRUE(next);
      if (next) frames.push_back(*next);
    }
    std::array<int, 2> keys{};
    for (const Frame& f : frames) keys[f.Camera()] += f.Kind() == net::FrameKind::kKey;
    return keys;
  };
  EXPECT_EQ(keysAfterRequest(0x2), (std::array<int, 2>{0, 1}));
  EXPECT_EQ(keysAfterRequest(0xFFFFFFFF), (std::array<int, 2>{1, 1}));
  EXPECT_EQ(Server().KeyFrameRequests(), 2);

  // Hidden and shown again, however briefly: a key frame again.
  viewer->Show(0x1);
  viewer->Show(0x3);
  ASSERT_TRUE(viewer->Sync());
  frame = NextOf(*viewer, 1);
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->Kind(), net::FrameKind::kKey);

  // Switched off and on again: every camera starts over with a key frame.
  viewer->Transmit(false);
  ASSERT_TRUE(viewer->Sync());
  viewer->Transmit(true);
  for (int c = 0; c < 2; ++c) {
    frame = NextOf(*viewer, c);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->Kind(), net::FrameKind::kKey) << c;
  }
}

TEST_F(LiveStreamTest, PeriodicKeyFrames) {
  SimConfig config = FastConfig();
  config.keyFrameIntervalMs = 200;  // every 10th tick
  Start(config);
  auto viewer = Connect();
  viewer->Show(0x1);
  viewer->Transmit(true);
  std::vector<int> keys;
  for (int i = 0; i < 45; ++i) {
    const auto frame = viewer->NextFrame();
    ASSERT_TRUE(frame);
    if (frame->Kind() == net::FrameKind::kKey) keys.push_back(i);
  }
  EXPECT_EQ(keys, (std::vector<int>{0, 10, 20, 30, 40}));
}

TEST_F(LiveStreamTest, NothingBeforeTransmissionNorForHiddenCameras) {
  SimConfig config = FastConfig();
  config.cameraCount = 3;
  Start(config);
  auto idle = Connect();
  idle->Show(0x7);
  auto busy = Connect();
  busy->Show(0x1);
  busy->Transmit(true);
  // The busy viewer's frames prove that ticks pass; the idle one gets none of them.
  const auto ticksPass = [&] {
    for (int i = 0; i < 10; ++i) {
      if (!busy->NextFrame()) return false;
    }
    return true;
  };
  ASSERT_TRUE(ticksPass());
  std::vector<Frame> frames;
  ASSERT_TRUE(idle->Sync(&frames));
  EXPECT_TRUE(frames.empty());

  // Visible: camera 1, and bits of cameras the server does not have.
  idle->Show(0xFFFFFFFA);
  idle->Transmit(true);
  for (int i = 0; i < 20; ++i) {
    const auto frame = idle->NextFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->Camera(), 1);
  }

  idle->Transmit(false);
  ASSERT_TRUE(idle->Sync());
  ASSERT_TRUE(ticksPass());
  frames.clear();
  ASSERT_TRUE(idle->Sync(&frames));
  EXPECT_TRUE(frames.empty());
}

TEST_F(LiveStreamTest, EventFramesAreFollowedByKeyFrames) {
  SimConfig config = FastConfig();
  config.events = true;
  config.eventPeriodMs = 300;
  Start(config);
  auto viewer = Connect();
  viewer->Show(0x3);
  viewer->Transmit(true);

  int events = 0;
  for (int i = 0; i < 1000 && events < 4; ++i) {
    const auto frame = viewer->NextFrame();
    ASSERT_TRUE(frame);
    if (frame->Kind() != net::FrameKind::kEvent) continue;
    ++events;
    const int c = frame->Camera();
    EXPECT_EQ(frame->header.flags, net::frame_flag::kLive | net::frame_flag::kEvent);
    // u32 flag 1, then the text and its terminating zero.
    const std::vector<uint8_t>& data = frame->data;
    ASSERT_GE(data.size(), 6u);
    EXPECT_EQ(net::wire::U32(data.data()), 1u);
    EXPECT_EQ(data.back(), 0);
    const std::string text(reinterpret_cast<const char*>(data.data() + 4));
    EXPECT_EQ(text.size(), data.size() - 5);
    const std::string number = std::to_string(c + 1);
    EXPECT_TRUE(text == "Door opened" || text.ends_with("on camera " + number)) << text;
    ASSERT_TRUE(viewer->Decoder(c).EventText());
    EXPECT_EQ(viewer->Decoder(c).EventText(), text);
    EXPECT_TRUE(viewer->Decoder(c).Picture().Empty());

    // At once the key frame that gives the picture back.
    const auto key = viewer->NextFrame();
    ASSERT_TRUE(key);
    EXPECT_EQ(key->Camera(), c);
    EXPECT_EQ(key->Kind(), net::FrameKind::kKey);
    EXPECT_EQ(key->header.time, frame->header.time);
    EXPECT_LT(ErrorOf(*viewer, *key), kMaxError);
  }
  EXPECT_EQ(events, 4);
}

TEST_F(LiveStreamTest, SlowClientMissesTicksButStaysExact) {
  SimConfig config = FastConfig();
  config.cameraCount = 8;
  config.cameraWidth = 704;
  config.cameraHeight = 576;
  Start(config);
  auto viewer = Connect();
  viewer->CapReading(64 * 1024);
  viewer->SetQuality(100, 100);
  viewer->Show(0xFF);
  viewer->Transmit(true);
  // Large key frames, asked for again and again, and hardly anything read: the server must hold
  // back.
  ASSERT_TRUE(test::Eventually([&] {
    viewer->AskKeyFrames(0xFFFFFFFF);
    return Server().SkippedTicks() > 0;
  }));
  viewer->SetQuality(25, 25);
  viewer->CapReading(0);

  // Everything sent before, and after, the missed ticks decodes to the scene.
  int deltas = 0;
  for (int i = 0; i < 400 && deltas < 40; ++i) {
    const auto frame = viewer->NextFrame();
    ASSERT_TRUE(frame);
    if (frame->Kind() == net::FrameKind::kDelta) ++deltas;
    EXPECT_LT(ErrorOf(*viewer, *frame), kMaxError) << i;
  }
  EXPECT_EQ(deltas, 40);
}

}  // namespace
}  // namespace strixc::sim
