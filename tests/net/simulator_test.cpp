// The client against the simulator: the paths an operator takes, with several stations at once.

#include <gtest/gtest.h>

#include <QTcpSocket>
#include <memory>

#include "net/connection_controller.h"
#include "net/connection_texts.h"
#include "sim/sim_server_thread.h"
#include "wait.h"

namespace strixc::net {
namespace {

using test::WaitUntil;

// One operator station: connects and records the outputs it sees switch.
class Station {
 public:
  explicit Station(quint16 port, const std::string& password = "demo") {
    QObject::connect(&controller, &ConnectionController::Started,
                     [this] { controller.CompleteStart(controller.Connection().CameraMask()); });
    QObject::connect(&controller, &ConnectionController::InfoAnswered, [this](int kind, int index) {
      if (kind != info_kind::kOutput || index != kOutputCount - 1) return;
      // From here on only switches are recorded, not the names arriving.
      configured = true;
      outputs.clear();
    });
    QObject::connect(&controller, &ConnectionController::OutputChanged,
                     [this](int index, int state) { outputs.emplace_back(index, state); });
    QObject::connect(&controller, &ConnectionController::ConnectionClosed,
                     [this](int, const QString& text) { closed = text.toStdString(); });
    QObject::connect(&controller, &ConnectionController::LoginFailed,
                     [this](ConnectionController::LoginFailure, const QString& text) { failed = text.toStdString(); });
    controller.Connect("127.0.0.1", port, "demo", password);
  }

  ConnectionController controller;
  bool configured = false;
  std::vector<std::pair<int, int>> outputs;
  std::string closed;
  std::string failed;
};

class SimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SimConfig config;
    config.videoPort = 0;
    config.inputPeriodMs = 0;
    config.cameraCount = 6;
    config.domeMask = 0x4;
    config.serverName = "Yard";
    Start(config);
  }

  void Start(const sim::SimConfig& config) {
    sim_ = std::make_unique<sim::SimServerThread>(config);
    ASSERT_TRUE(sim_->Start()) << sim_->ErrorText().toStdString();
  }

  std::unique_ptr<sim::SimServerThread> sim_;
};

TEST_F(SimulatorTest, OperatorSessionFromLoginToRequests) {
  Station station(sim_->VideoPort());
  ASSERT_TRUE(WaitUntil([&] { return station.configured; }));
  ConnectionController& c = station.controller;
  ServerConnection& server = c.Connection();
  EXPECT_EQ(server.ServerName(), "Yard");
  EXPECT_EQ(server.CameraCount(), 6);
  EXPECT_EQ(server.CameraMask(), 0x3Fu);
  EXPECT_EQ(c.CameraName(0), sim::SimServer::CameraName(0));
  EXPECT_TRUE(c.CameraIsDome(2));
  EXPECT_EQ(c.CameraTitle(2), sim::SimServer::CameraName(2) + "( Dome ) ");
  EXPECT_EQ(c.CameraTitle(1), sim::SimServer::CameraName(1));
  EXPECT_EQ(c.Points().inputs[0].Name(), sim::SimServer::InputName(0));
  EXPECT_EQ(c.Points().outputs[11].Name(), sim::SimServer::OutputName(11));
  ASSERT_TRUE(WaitUntil([&] { return sim_->Server().TransmitOn(); }));
  EXPECT_EQ(sim_->Server().LastVisibleMask(), 0x3Fu);

  ASSERT_TRUE(server.SetOutput(3, true));
  EXPECT_TRUE(sim_->Server().OutputState(3));
  // The event came while the request waited: the point changed before the request returned.
  EXPECT_EQ(c.Points().outputs[3].State(), 1);
  EXPECT_TRUE(WaitUntil([&] { return !station.outputs.empty(); }));
  EXPECT_EQ(station.outputs.back(), std::make_pair(3, 1));
  EXPECT_FALSE(server.SetOutput(12, true)) << "no such output: nothing is sent";

  DomeCommandRecord dome;
  dome.camera = 2;
  dome.code = 5;
  dome.params[0] = 0.25;
  ASSERT_TRUE(server.SendDomeCommand(dome));
  ASSERT_EQ(sim_->Server().DomeCommands().size(), 1u);
  EXPECT_EQ(sim_->Server().DomeCommands()[0].params[0], 0.25);

  ArchiveRange range{1, 2, 3};
  ASSERT_TRUE(server.GetArchiveRange(&range));
  EXPECT_EQ(range.cameraMask, 0u);
  bool refused2 = false, refused1 = false;
  EXPECT_FALSE(server.AddBookmark(100, "Gate", &refused2, &refused1));
  EXPECT_TRUE(refused1);
  EXPECT_FALSE(refused2);
  EXPECT_TRUE(c.IsConnected()) << "a refusal leaves the connection running";

  sim_->Server().SetInput(1, true);
  EXPECT_TRUE(WaitUntil([&] { return c.Points().inputs[1].State() == 1; }));
}

TEST_F(SimulatorTest, SeveralStationsAtOnceAndAMisbehavingClientDisturbsNone) {
  std::vector<std::unique_ptr<Station>> stations;
  for (int i = 0; i < 3; ++i) stations.push_back(std::make_unique<Station>(sim_->VideoPort()));
  ASSERT_TRUE(WaitUntil([&] {
    for (auto& s : stations)
      if (!s->configured) return false;
    return true;
  }));
  EXPECT_EQ(sim_->Server().LoggedInClients(), 3);

  QTcpSocket rogue;
  rogue.connectToHost("127.0.0.1", sim_->VideoPort());
  ASSERT_TRUE(rogue.waitForConnected(5000));
  rogue.write("\x63\x00\x00\x00\x02\x00\x00\x00zz", 10);
  EXPECT_TRUE(WaitUntil([&] { return rogue.state() == QAbstractSocket::UnconnectedState; }))
      << "the simulator drops the client that broke the protocol";

  ASSERT_TRUE(stations[1]->controller.Connection().SetOutput(5, true));
  for (auto& s : stations) {
    EXPECT_TRUE(WaitUntil([&] { return !s->outputs.empty(); }));
    EXPECT_EQ(s->outputs.back(), std::make_pair(5, 1));
    EXPECT_TRUE(s->closed.empty());
  }
}

TEST_F(SimulatorTest, WrongPasswordIsRefused) {
  Station station(sim_->VideoPort(), "wrong");
  ASSERT_TRUE(WaitUntil([&] { return !station.failed.empty(); }));
  EXPECT_EQ(station.closed, texts::kConnectionBroken);
  EXPECT_EQ(station.failed, texts::kAuthorizationFailed);
}

TEST_F(SimulatorTest, ServerWithProtocolVersion5IsAcceptedAnd6Refused) {
  for (uint32_t version : {5u, 6u}) {
    sim_.reset();
    sim::SimConfig config;
    config.videoPort = 0;
    config.protocolVersion = version;
    Start(config);
    Station station(sim_->VideoPort());
    ASSERT_TRUE(WaitUntil([&] { return station.configured || !station.failed.empty(); }));
    if (version == 5) {
      EXPECT_TRUE(station.configured);
    } else {
      EXPECT_EQ(station.closed, texts::kConnectionBroken);
      EXPECT_EQ(station.failed, texts::kProtocolVersion);
    }
  }
}

TEST_F(SimulatorTest, SilentServerCostsAtMostTheTimeoutAndEndsTheConnection) {
  Station station(sim_->VideoPort());
  ASSERT_TRUE(WaitUntil([&] { return station.configured; }));
  sim_->Server().SetControlSilent(true);
  station.controller.Connection().Control()->SetTimeout(std::chrono::milliseconds(300));
  EXPECT_FALSE(station.controller.Connection().SetOutput(1, true));
  EXPECT_TRUE(WaitUntil([&] { return !station.closed.empty(); }));
  EXPECT_FALSE(station.controller.IsConnected());
  EXPECT_NE(station.closed, texts::kConnectionBroken) << "the time-out has its own text";
}

}  // namespace
}  // namespace strixc::net
