#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include "fake_peer.h"
#include "net/connection_controller.h"
#include "net/connection_texts.h"
#include "net/wire.h"
#include "wait.h"

namespace strixc::net {
namespace {

using test::FakePeer;
using test::PeerMessage;
using test::WaitUntil;

// Collects what the controller reports, in order.
class ConnectionFixture : public ::testing::Test {
 protected:
  ConnectionFixture() {
    controller_.Connection().SetRequestTimeout(std::chrono::milliseconds(2000));
    QObject::connect(&controller_, &ConnectionController::Started, [this] {
      log_.push_back("started");
      controller_.CompleteStart(0x3);
    });
    QObject::connect(&controller_, &ConnectionController::ConnectionClosed,
                     [this](int, const QString& text) { log_.push_back("closed: " + text.toStdString()); });
    QObject::connect(&controller_, &ConnectionController::LoginFailed,
                     [this](ConnectionController::LoginFailure, const QString& text) {
                       log_.push_back("login failed: " + text.toStdString());
                     });
    QObject::connect(&controller_, &ConnectionController::InfoAnswered, [this](int kind, int index) {
      if (kind == info_kind::kOutput && index == kOutputCount - 1) configured_ = true;
    });
  }

  void Connect() { controller_.Connect("127.0.0.1", peer_.Port(), "operator", "secret"); }
  // A server that logs in and then reads every control request without ever answering.
  void ConnectToSilentControlChannel() {
    peer_.Run([](FakePeer& p) {
      if (!p.LogIn(FakePeer::Description())) return;
      PeerMessage m;
      while (p.Read(p.ControlFd(), &m)) {
      }
    });
    Connect();
  }
  bool WaitConnected() {
    return WaitUntil([&] { return controller_.GetState() == ConnectionController::State::kConnected; });
  }
  bool WaitClosed() {
    return WaitUntil([&] { return controller_.GetState() == ConnectionController::State::kIdle && !log_.empty(); });
  }

  FakePeer peer_;
  ConnectionController controller_;
  std::vector<std::string> log_;
  bool configured_ = false;
};

// Answers the configuration requests as a server would and records every message of the video
// channel until the client closes it.
void ServeConfiguration(FakePeer& p, std::vector<uint32_t>* codes, std::mutex* lock) {
  PeerMessage m;
  while (p.Read(p.VideoFd(), &m)) {
    {
      std::lock_guard<std::mutex> guard(*lock);
      codes->push_back(m.code);
    }
    if (m.code != video_out::kInfoRequest) continue;
    const auto r = ParseInfoRequest(m.payload.data(), m.payload.size());
    if (r->kind == info_kind::kIoState) p.Write(p.VideoFd(), video_in::kIoState, BuildIoState({0x5, 0x2}));
    if (r->kind == info_kind::kCamera)
      p.Write(p.VideoFd(), video_in::kCameraInfo,
              BuildCameraInfo({r->index, r->index == 1u, "Cam " + std::to_string(r->index)}));
    if (r->kind == info_kind::kInput)
      p.Write(p.VideoFd(), video_in::kInputName, BuildPointName({r->index, "In " + std::to_string(r->index)}));
    if (r->kind == info_kind::kOutput)
      p.Write(p.VideoFd(), video_in::kOutputName, BuildPointName({r->index, "Out " + std::to_string(r->index)}));
  }
}

TEST_F(ConnectionFixture, AcceptedLoginFetchesTheConfigurationInOrder) {
  std::vector<uint32_t> codes;
  std::mutex lock;
  peer_.Run([&](FakePeer& p) {
    if (p.LogIn(FakePeer::Description())) ServeConfiguration(p, &codes, &lock);
  });
  std::vector<std::string> progress;
  QObject::connect(&controller_, &ConnectionController::Progress,
                   [&](const QString& text) { progress.push_back(text.toStdString()); });
  Connect();
  ASSERT_TRUE(WaitUntil([&] { return configured_; }));
  EXPECT_EQ(progress, (std::vector<std::string>{"Connecting to operator@127.0.0.1:" + std::to_string(peer_.Port()),
                                                "Getting transmission parameters."}));
  EXPECT_EQ(controller_.GetState(), ConnectionController::State::kConnected);
  EXPECT_EQ(controller_.ServerVersion(), 5u);
  EXPECT_EQ(controller_.Connection().ServerName(), "Fake");
  EXPECT_EQ(controller_.Connection().CameraCount(), 4);
  EXPECT_EQ(controller_.CameraName(2), "Cam 2");
  EXPECT_TRUE(controller_.CameraIsDome(1));
  EXPECT_FALSE(controller_.CameraIsDome(2));
  EXPECT_EQ(controller_.Points().inputs[2].State(), 1);
  EXPECT_EQ(controller_.Points().inputs[1].State(), 0);
  EXPECT_EQ(controller_.Points().outputs[1].State(), 1);
  EXPECT_EQ(controller_.Points().outputs[11].Name(), "Out 11");

  ASSERT_TRUE(WaitUntil([&] {
    std::lock_guard<std::mutex> guard(lock);
    return codes.size() >= 48;
  }));
  std::lock_guard<std::mutex> guard(lock);
  ASSERT_EQ(codes.size(), 48u);
  for (size_t i = 0; i < 45; ++i) EXPECT_EQ(codes[i], video_out::kInfoRequest);
  EXPECT_EQ(codes[45], video_out::kSetQuality);
  EXPECT_EQ(codes[46], video_out::kVisibleCameras);
  EXPECT_EQ(codes[47], video_out::kTransmitSwitch);
  controller_.Teardown();
}

TEST_F(ConnectionFixture, ProtocolVersion6IsRefusedAfterTheBrokenConnectionMessage) {
  peer_.Run([](FakePeer& p) {
    PeerMessage m;
    const int fd = p.AcceptVideo();
    p.Read(fd, &m);
    auto d = FakePeer::Description();
    d.version = 6;
    p.Write(fd, video_in::kLoginReply, BuildServerDescription(d));
    p.WaitClosed(fd);
  });
  Connect();
  ASSERT_TRUE(WaitUntil([&] { return log_.size() >= 2; }));
  ASSERT_EQ(log_.size(), 2u);
  EXPECT_EQ(log_[0], "closed: Connection broken !");
  EXPECT_EQ(log_[1], std::string("login failed: ") + texts::kProtocolVersion);
  EXPECT_FALSE(controller_.IsConnected());
}

TEST_F(ConnectionFixture, RefusedLoginShowsAuthorizationFailed) {
  peer_.Run([](FakePeer& p) {
    PeerMessage m;
    const int fd = p.AcceptVideo();
    p.Read(fd, &m);
    auto d = FakePeer::Description();
    d.accepted = 0;
    p.Write(fd, video_in::kLoginReply, BuildServerDescription(d));
    p.WaitClosed(fd);
  });
  Connect();
  ASSERT_TRUE(WaitUntil([&] { return log_.size() >= 2; }));
  EXPECT_EQ(log_[0], "closed: Connection broken !");
  EXPECT_EQ(log_[1], "login failed: Authorization failed.");
}

TEST_F(ConnectionFixture, RefusedTcpConnectionReportsTheSystemText) {
  // Nothing listens on port 1 of the loopback.
  controller_.Connect("127.0.0.1", 1, "operator", "secret");
  ASSERT_TRUE(WaitUntil([&] { return log_.size() >= 2; }));
  EXPECT_EQ(log_[0], "closed: Connection broken !");
  EXPECT_EQ(log_[1], "login failed: Connection refused");
}

class LoginReplyLengthTest : public ConnectionFixture, public ::testing::WithParamInterface<size_t> {};

TEST_P(LoginReplyLengthTest, ClosesTheVideoChannel) {
  const size_t length = GetParam();
  peer_.Run([length](FakePeer& p) {
    PeerMessage m;
    const int fd = p.AcceptVideo();
    p.Read(fd, &m);
    Payload reply = BuildServerDescription(FakePeer::Description());
    reply.resize(length);
    p.Write(fd, video_in::kLoginReply, reply);
    p.WaitClosed(fd);
  });
  Connect();
  ASSERT_TRUE(WaitClosed());
  EXPECT_EQ(log_, std::vector<std::string>{"closed: Connection broken !"});
}

INSTANTIATE_TEST_SUITE_P(WrongSizes, LoginReplyLengthTest, ::testing::Values(65, 67));

TEST_F(ConnectionFixture, ViolationOnTheVideoChannelEndsTheWholeConnection) {
  std::atomic<bool> controlClosed{false};
  peer_.Run([&](FakePeer& p) {
    if (!p.LogIn(FakePeer::Description())) return;
    // A frame whose data length field says 10 while 4 bytes follow.
    Payload frame = BuildFrame({1, 0, 0, 0, frame_flag::kLive | frame_flag::kKey, 0},
                               reinterpret_cast<const uint8_t*>("abcd"), 4);
    frame[17] = 10;
    p.Write(p.VideoFd(), video_in::kFrame, frame);
    controlClosed = p.WaitClosed(p.ControlFd());
  });
  Connect();
  ASSERT_TRUE(WaitUntil([&] { return !log_.empty() && log_.back().rfind("closed", 0) == 0; }));
  EXPECT_EQ(log_.back(), "closed: Connection broken !");
  EXPECT_FALSE(controller_.IsConnected());
  EXPECT_TRUE(WaitUntil([&] { return controlClosed.load(); })) << "the control channel is closed too";
}

TEST_F(ConnectionFixture, FrameWithNeitherLiveNorRemoteFlagEndsTheConnection) {
  peer_.Run([](FakePeer& p) {
    if (!p.LogIn(FakePeer::Description())) return;
    p.Write(p.VideoFd(), video_in::kFrame, BuildFrame({1, 0, 0, 0, frame_flag::kKey, 0}, nullptr, 0));
    p.WaitClosed(p.VideoFd());
  });
  Connect();
  ASSERT_TRUE(WaitUntil([&] { return !log_.empty() && log_.back().rfind("closed", 0) == 0; }));
  EXPECT_FALSE(controller_.IsConnected());
}

TEST_F(ConnectionFixture, ViolationOnTheControlChannelEndsTheWholeConnection) {
  std::atomic<bool> videoClosed{false};
  peer_.Run([&](FakePeer& p) {
    if (!p.LogIn(FakePeer::Description())) return;
    p.Write(p.ControlFd(), control::kServerEvent, {1, 2, 3});  // 3 bytes instead of 8
    videoClosed = p.WaitClosed(p.VideoFd());
  });
  Connect();
  ASSERT_TRUE(WaitUntil([&] { return !log_.empty() && log_.back().rfind("closed", 0) == 0; }));
  EXPECT_EQ(log_.back(), "closed: Connection broken !");
  EXPECT_TRUE(WaitUntil([&] { return videoClosed.load(); }));
}

TEST_F(ConnectionFixture, MessagesQueuedWithoutAConnectionAreDropped) {
  std::vector<uint32_t> codes;
  std::atomic<bool> done{false};
  controller_.Connection().KeepAlive();
  controller_.Connection().VisibleCameras(0x77);
  peer_.Run([&](FakePeer& p) {
    PeerMessage m;
    const int fd = p.AcceptVideo();
    // The client sends nothing after its login until the login is answered: read until quiet.
    while (p.Read(fd, &m, 500)) codes.push_back(m.code);
    done = true;
  });
  Connect();
  // Queued while the video channel may still be connecting: it is dropped or goes after the login.
  controller_.Connection().KeepAlive();
  ASSERT_TRUE(WaitUntil([&] { return done.load(); }));
  ASSERT_FALSE(codes.empty());
  EXPECT_EQ(codes[0], video_out::kLogin);
  EXPECT_EQ(std::count(codes.begin(), codes.end(), video_out::kVisibleCameras), 0);
  EXPECT_LE(std::count(codes.begin(), codes.end(), video_out::kKeepAlive), 1);
}

TEST_F(ConnectionFixture, ServerEventsApplyOnlyToPointsInTheMasks) {
  std::vector<std::pair<int, int>> inputs;
  QObject::connect(&controller_, &ConnectionController::InputChanged,
                   [&](int index, int state) { inputs.emplace_back(index, state); });
  peer_.Run([](FakePeer& p) {
    auto d = FakePeer::Description();
    d.inputMask = 0xFFFF & ~(1u << 3);
    if (!p.LogIn(d)) return;
    p.Write(p.ControlFd(), control::kServerEvent, BuildServerEvent({server_event::kInputOn, 3}));
    p.Write(p.ControlFd(), control::kServerEvent, BuildServerEvent({server_event::kInputOn, 4}));
    // Index 36 tests bit 4 of the mask: the index itself is out of range and must be ignored.
    p.Write(p.ControlFd(), control::kServerEvent, BuildServerEvent({server_event::kOutputOn, 36}));
    p.WaitClosed(p.ControlFd());
  });
  Connect();
  ASSERT_TRUE(WaitUntil([&] { return !inputs.empty(); }));
  EXPECT_EQ(inputs, (std::vector<std::pair<int, int>>{{4, 1}}));
  EXPECT_EQ(controller_.Points().inputs[3].State(), IoPoint::kUnknown);
  controller_.Teardown();
}

TEST_F(ConnectionFixture, UnansweredControlLoginCostsAtMostTheTimeout) {
  controller_.Connection().SetRequestTimeout(std::chrono::milliseconds(300));
  peer_.Run([](FakePeer& p) {
    PeerMessage m;
    const int video = p.AcceptVideo();
    p.Read(video, &m);
    p.Write(video, video_in::kLoginReply, BuildServerDescription(FakePeer::Description()));
    const int control = p.AcceptControl();
    p.WaitClosed(control);
  });
  Connect();
  ASSERT_TRUE(WaitClosed());
  EXPECT_EQ(log_, std::vector<std::string>{"closed: Connection broken !"});
}

// --- Control-channel requests -------------------------------------------------------------------

TEST(ServerConnectionTest, ControlRequestsFailAtOnceWhileTheVideoLoginIsPending) {
  FakePeer peer;
  std::atomic<bool> loginRead{false};
  peer.Run([&](FakePeer& p) {
    PeerMessage m;
    const int fd = p.AcceptVideo();
    loginRead = fd >= 0 && p.Read(fd, &m) && m.code == video_out::kLogin;
    p.WaitClosed(fd);  // never answers
  });
  ServerConnection server{VideoChannelSinks{}};
  server.Open("127.0.0.1", peer.Port(), "operator", "secret");
  ASSERT_TRUE(WaitUntil([&] { return loginRead.load(); }));

  EXPECT_FALSE(server.SetOutput(0, true));
  DomeCommandRecord dome;
  dome.code = 1;
  EXPECT_FALSE(server.SendDomeCommand(dome));
  ArchiveRange range{1, 2, 3};
  EXPECT_FALSE(server.GetArchiveRange(&range));
  EXPECT_EQ(range.cameraMask, 1u) << "outputs stay unchanged on failure";
  bool refused2 = false, refused1 = false;
  EXPECT_FALSE(server.AddBookmark(5, "Gate", &refused2, &refused1));
  EXPECT_FALSE(server.RemoveBookmark(5, &refused2, &refused1));
  EXPECT_TRUE(server.IsConnected()) << "the pending login goes on";
  server.Reset();
}

TEST_F(ConnectionFixture, DomeCommandWithCodeZeroIsNeverSent) {
  std::vector<uint16_t> sent;
  std::mutex lock;
  peer_.Run([&](FakePeer& p) {
    if (!p.LogIn(FakePeer::Description())) return;
    PeerMessage m;
    while (p.Read(p.ControlFd(), &m)) {
      if (m.code != control::kDomeCommand) continue;
      {
        std::lock_guard<std::mutex> guard(lock);
        sent.push_back(ParseDomeCommand(m.payload.data(), m.payload.size())->code);
      }
      p.Write(p.ControlFd(), control::kDomeCommandReply, {0});
    }
  });
  Connect();
  ASSERT_TRUE(WaitUntil([&] { return controller_.GetState() == ConnectionController::State::kConnected; }));
  DomeCommandRecord dome;
  dome.camera = 2;
  EXPECT_TRUE(controller_.Connection().SendDomeCommand(dome)) << "dropped, which is no failure";
  dome.code = 11;
  dome.params[0] = 4;
  ASSERT_TRUE(controller_.Connection().SendDomeCommand(dome));
  {
    // The channel keeps the order: had the first gone out, the peer would have read it first.
    std::lock_guard<std::mutex> guard(lock);
    EXPECT_EQ(sent, std::vector<uint16_t>{11});
  }
  EXPECT_TRUE(controller_.IsConnected());
  controller_.Teardown();
}

// A dome request does not wait for its reply; a blocking request sent behind it takes the dome's
// reply on its way to its own, and both complete.
TEST_F(ConnectionFixture, AsynchronousDomeReplyArrivingDuringABlockingRequestIsHandedOn) {
  peer_.Run([&](FakePeer& p) {
    if (!p.LogIn(FakePeer::Description())) return;
    PeerMessage m;
    std::vector<uint32_t> unanswered;
    while (p.Read(p.ControlFd(), &m)) {
      // Holds the dome's reply back until the output request is there too, then answers in order.
      if (m.code == control::kDomeCommand) unanswered.push_back(control::kDomeCommandReply);
      if (m.code == control::kSetOutput) unanswered.push_back(control::kSetOutputReply);
      if (unanswered.size() < 2) continue;
      for (uint32_t code : unanswered) p.Write(p.ControlFd(), code, {1});
      unanswered.clear();
    }
  });
  Connect();
  ASSERT_TRUE(WaitUntil([&] { return controller_.GetState() == ConnectionController::State::kConnected; }));
  DomeCommandRecord dome;
  dome.camera = 3;
  dome.code = 1;
  dome.params[0] = 0.5;
  int answers = 0;
  uint8_t byte = 0;
  ASSERT_TRUE(controller_.Connection().SendDomeCommandAsync(dome, [&](bool ok, uint8_t reply) {
    answers += ok ? 1 : 100;
    byte = reply;
  }));
  EXPECT_EQ(answers, 0) << "never answered from inside the call";
  EXPECT_TRUE(controller_.Connection().SetOutput(2, true));
  ASSERT_TRUE(WaitUntil([&] { return answers != 0; }));
  EXPECT_EQ(answers, 1);
  EXPECT_EQ(byte, 1);
  EXPECT_TRUE(controller_.IsConnected());
  controller_.Teardown();
}

TEST_F(ConnectionFixture, DomeRequestOutWhenTheConnectionIsResetHearsThatNoAnswerComes) {
  ConnectToSilentControlChannel();
  ASSERT_TRUE(WaitConnected());
  DomeCommandRecord dome;
  dome.camera = 1;
  dome.code = 1;
  std::vector<bool> results;
  ASSERT_TRUE(controller_.Connection().SendDomeCommandAsync(dome, [&](bool ok, uint8_t) { results.push_back(ok); }));
  controller_.Teardown();
  ASSERT_TRUE(WaitUntil([&] { return !results.empty(); }));
  EXPECT_EQ(results, std::vector<bool>{false});
}

TEST_F(ConnectionFixture, UnansweredDomeRequestClosesTheChannelAfterTheTimeout) {
  controller_.Connection().SetRequestTimeout(std::chrono::milliseconds(500));
  ConnectToSilentControlChannel();
  ASSERT_TRUE(WaitConnected());
  DomeCommandRecord dome;
  dome.camera = 1;
  dome.code = 11;
  std::vector<bool> results;
  ASSERT_TRUE(controller_.Connection().SendDomeCommandAsync(dome, [&](bool ok, uint8_t) { results.push_back(ok); }));
  ASSERT_TRUE(controller_.Connection().SendDomeCommandAsync(dome, [&](bool ok, uint8_t) { results.push_back(ok); }));
  ASSERT_TRUE(WaitUntil([&] { return results.size() == 2; }, 10000));
  EXPECT_EQ(results, (std::vector<bool>{false, false}));
  ASSERT_TRUE(WaitClosed());
  EXPECT_EQ(log_.back().rfind("closed: ", 0), 0u) << log_.back();
}

// --- Teardown ------------------------------------------------------------------------------------

// Holds the network thread inside the first frame until the owner has switched away from its
// connection, so that whatever came behind that frame is already buffered when the teardown runs.
class StallingFrameSink : public FrameSink {
 public:
  explicit StallingFrameSink(CNetVideoThread& thread) : thread_(thread) {}
  void OnFrame(const FrameView&, bool, bool&) override {
    if (++frames > 1) return;
    const quint64 generation = thread_.CurrentGeneration();
    entered = true;
    for (int i = 0; i < 500 && thread_.CurrentGeneration() == generation; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::atomic<int> frames{0};
  std::atomic<bool> entered{false};

 private:
  CNetVideoThread& thread_;
};

TEST_F(ConnectionFixture, MessagesBufferedBeforeATeardownReachNeitherFramesNorNames) {
  StallingFrameSink sink(controller_.Connection().Thread());
  controller_.SetFrameSinks(&sink, nullptr);
  int namesChanged = 0;
  QObject::connect(&controller_, &ConnectionController::CameraInfoChanged, [&](int) { ++namesChanged; });
  std::atomic<bool> videoClosed{false};
  peer_.Run([&](FakePeer& p) {
    if (!p.LogIn(FakePeer::Description())) return;
    // One write: the client reads all of it before it has handled the first frame.
    Payload bytes;
    const auto append = [&bytes](uint32_t code, const Payload& payload) {
      uint8_t header[kHeaderSize];
      wire::EncodeHeader(header, code, static_cast<uint32_t>(payload.size()));
      bytes.insert(bytes.end(), header, header + kHeaderSize);
      bytes.insert(bytes.end(), payload.begin(), payload.end());
    };
    const uint16_t live = frame_flag::kLive | frame_flag::kKey;
    append(video_in::kFrame, BuildFrame({1, 0, 0, 0, live, 0}, nullptr, 0));
    append(video_in::kFrame, BuildFrame({2, 0, 0, 0, live, 0}, nullptr, 0));
    append(video_in::kCameraInfo, BuildCameraInfo({0, 0, "Stale"}));
    append(video_in::kIoState, BuildIoState({0xFFFF, 0xFFF}));
    p.WriteRaw(p.VideoFd(), bytes);
    videoClosed = p.WaitClosed(p.VideoFd());
  });
  Connect();
  ASSERT_TRUE(WaitUntil([&] { return sink.entered.load(); }));
  controller_.Teardown();
  ASSERT_TRUE(WaitUntil([&] { return videoClosed.load(); }));
  QCoreApplication::processEvents();

  EXPECT_EQ(sink.frames, 1) << "the frame behind the teardown is dropped";
  EXPECT_EQ(controller_.CameraName(0), "");
  EXPECT_EQ(namesChanged, 0);
  EXPECT_EQ(controller_.Points().inputs[0].State(), IoPoint::kUnknown);
}

}  // namespace
}  // namespace strixc::net
