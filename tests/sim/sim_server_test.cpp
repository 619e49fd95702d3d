// The simulator seen from a raw client: logins, refusals, dropped violators, broadcast events and
// the state the tests of the client read back. The server runs on its own thread; the client side
// blocks on the test thread.

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "net/messages.h"
#include "net/protocol.h"
#include "sim/sim_server_thread.h"
#include "sim_test_client.h"

namespace strixc::sim {
namespace {

using test::Client;
using test::Eventually;
using test::LoginReply;
using test::Message;
using test::SyncVideo;

bool IsEvent(const std::optional<Message>& m, uint32_t kind, uint32_t index) {
  if (!m || m->code != net::control::kServerEvent) return false;
  const auto event = net::ParseServerEvent(m->payload.data(), m->payload.size());
  return event && event->kind == kind && event->index == index;
}

bool IsReplyByte(const std::optional<Message>& m, uint32_t code, uint8_t value) {
  return m && m->code == code && m->payload == net::Payload{value};
}

class SimServerTest : public ::testing::Test {
 protected:
  void SetUp() override { StartServer(QuietConfig()); }

  // A free port pair, and inputs that change only when a test says so.
  static SimConfig QuietConfig() {
    SimConfig config;
    config.videoPort = 0;
    config.inputPeriodMs = 0;
    return config;
  }

  void StartServer(SimConfig config) {
    server_.reset();
    server_ = std::make_unique<SimServerThread>(std::move(config));
    ASSERT_TRUE(server_->Start()) << server_->ErrorText().toStdString();
  }

  std::unique_ptr<Client> Video(const std::string& user = "demo", const std::string& password = "demo") {
    auto client = std::make_unique<Client>();
    EXPECT_TRUE(client->Connect(server_->VideoPort()));
    client->Send(net::video_out::kLogin, net::BuildLogin({user, password}, true));
    return client;
  }

  std::unique_ptr<Client> Control(const std::string& user = "demo", const std::string& password = "demo") {
    auto client = std::make_unique<Client>();
    EXPECT_TRUE(client->Connect(server_->ControlPort()));
    client->Send(net::control::kLogin, net::BuildLogin({user, password}, false));
    return client;
  }

  // Every request before an answered one has been handled once its answer arrives.
  static void Sync(Client& video) { ASSERT_TRUE(SyncVideo(video)); }

  SimServer& Server() { return server_->Server(); }

  std::unique_ptr<SimServerThread> server_;
};

// --- Logins -------------------------------------------------------------------------------------

TEST_F(SimServerTest, AcceptedLoginDescribesTheServer) {
  SimConfig config = QuietConfig();
  config.cameraCount = 3;
  config.serverName = "Test Box";
  config.protocolVersion = 4;
  StartServer(config);
  auto video = Video();
  const auto d = LoginReply(*video, true);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->accepted, 1u);
  EXPECT_EQ(d->version, 4u);
  EXPECT_EQ(d->cameraMask, 0x7u);
  EXPECT_EQ(d->inputMask, 0xFFFFu);
  EXPECT_EQ(d->outputMask, 0xFFFu);
  EXPECT_EQ(d->cameraCount, 3);
  EXPECT_EQ(d->secondCount, 4);
  EXPECT_EQ(d->name, "Test Box");
  EXPECT_EQ(Server().LoggedInClients(), 1);

  auto control = Control();
  const auto c = LoginReply(*control, false);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->accepted, 1u);
  EXPECT_EQ(Server().LoggedInControlClients(), 1);
}

TEST_F(SimServerTest, WrongPasswordIsRefusedThenClosed) {
  auto video = Video("demo", "wrong");
  const auto d = LoginReply(*video, true);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->accepted, 0u);
  EXPECT_TRUE(video->ExpectClosed());

  auto control = Control("nobody", "demo");
  const auto c = LoginReply(*control, false);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->accepted, 0u);
  EXPECT_TRUE(control->ExpectClosed());
  EXPECT_EQ(Server().LoggedInClients(), 0);
}

// --- Violations drop only the violator ----------------------------------------------------------

TEST_F(SimServerTest, RequestBeforeLoginDropsTheClient) {
  Client client;
  ASSERT_TRUE(client.Connect(server_->VideoPort()));
  client.Send(net::video_out::kInfoRequest, net::BuildInfoRequest(net::info_kind::kCamera, 0));
  EXPECT_TRUE(client.ExpectClosed());
}

TEST_F(SimServerTest, UnknownCodeDropsOnlyThatClient) {
  auto good = Video();
  ASSERT_TRUE(LoginReply(*good, true));
  auto bad = Video();
  ASSERT_TRUE(LoginReply(*bad, true));
  bad->Send(99, net::Payload{1, 2, 3});
  EXPECT_TRUE(bad->ExpectClosed());
  Sync(*good);
}

// --- Video channel ------------------------------------------------------------------------------

TEST_F(SimServerTest, InformationRequestsAreAnswered) {
  SimConfig config = QuietConfig();
  config.cameraCount = 2;
  config.domeMask = 0x2;
  StartServer(config);
  auto video = Video();
  ASSERT_TRUE(LoginReply(*video, true));

  video->Send(net::video_out::kInfoRequest, net::BuildInfoRequest(net::info_kind::kCamera, 1));
  auto m = video->Receive();
  ASSERT_TRUE(m && m->code == net::video_in::kCameraInfo);
  auto camera = net::ParseCameraInfo(m->payload.data(), m->payload.size());
  ASSERT_TRUE(camera);
  EXPECT_EQ(camera->camera, 1);
  EXPECT_EQ(camera->dome, 1u);
  EXPECT_EQ(camera->name, SimServer::CameraName(1));

  // A camera beyond the count has no name.
  video->Send(net::video_out::kInfoRequest, net::BuildInfoRequest(net::info_kind::kCamera, 5));
  m = video->Receive();
  ASSERT_TRUE(m && m->code == net::video_in::kCameraInfo);
  camera = net::ParseCameraInfo(m->payload.data(), m->payload.size());
  ASSERT_TRUE(camera);
  EXPECT_EQ(camera->name, "");

  // Out of range: no answer, so the next answer is that of the following request.
  video->Send(net::video_out::kInfoRequest, net::BuildInfoRequest(net::info_kind::kOutput, 12));
  video->Send(net::video_out::kInfoRequest, net::BuildInfoRequest(net::info_kind::kOutput, 11));
  m = video->Receive();
  ASSERT_TRUE(m && m->code == net::video_in::kOutputName);
  auto name = net::ParsePointName(m->payload.data(), m->payload.size());
  ASSERT_TRUE(name);
  EXPECT_EQ(name->index, 11);
  EXPECT_EQ(name->name, "Output 12");

  video->Send(net::video_out::kInfoRequest, net::BuildInfoRequest(net::info_kind::kInput, 15));
  m = video->Receive();
  ASSERT_TRUE(m && m->code == net::video_in::kInputName);
  name = net::ParsePointName(m->payload.data(), m->payload.size());
  ASSERT_TRUE(name);
  EXPECT_EQ(name->name, "Input 16");
}

// --- Control channel and server events ----------------------------------------------------------

TEST_F(SimServerTest, OutputSwitchIsBroadcastBeforeTheReply) {
  auto first = Control();
  ASSERT_TRUE(LoginReply(*first, false));
  auto second = Control();
  ASSERT_TRUE(LoginReply(*second, false));

  first->Send(net::control::kSetOutput, net::BuildSetOutput(3, true));
  EXPECT_TRUE(IsEvent(first->Receive(), net::server_event::kOutputOn, 3));
  EXPECT_TRUE(IsReplyByte(first->Receive(), net::control::kSetOutputReply, 0));
  EXPECT_TRUE(IsEvent(second->Receive(), net::server_event::kOutputOn, 3));
  EXPECT_TRUE(Server().OutputState(3));

  // No change, no event: the reply comes alone.
  first->Send(net::control::kSetOutput, net::BuildSetOutput(3, true));
  EXPECT_TRUE(IsReplyByte(first->Receive(), net::control::kSetOutputReply, 0));

  second->Send(net::control::kSetOutput, net::BuildSetOutput(3, false));
  EXPECT_TRUE(IsEvent(second->Receive(), net::server_event::kOutputOff, 3));
  EXPECT_TRUE(IsReplyByte(second->Receive(), net::control::kSetOutputReply, 0));
  EXPECT_TRUE(IsEvent(first->Receive(), net::server_event::kOutputOff, 3));
  EXPECT_FALSE(Server().OutputState(3));
}

TEST_F(SimServerTest, InputChangeReachesEveryLoggedInControlClient) {
  auto control = Control();
  ASSERT_TRUE(LoginReply(*control, false));
  Server().SetInput(5, true);
  EXPECT_TRUE(IsEvent(control->Receive(), net::server_event::kInputOn, 5));
  EXPECT_TRUE(Server().InputState(5));

  auto video = Video();
  ASSERT_TRUE(LoginReply(*video, true));
  video->Send(net::video_out::kInfoRequest, net::BuildInfoRequest(net::info_kind::kIoState, 0));
  const auto m = video->Receive();
  ASSERT_TRUE(m && m->code == net::video_in::kIoState);
  const auto state = net::ParseIoState(m->payload.data(), m->payload.size());
  ASSERT_TRUE(state);
  EXPECT_EQ(state->inputs, 1u << 5);
}

}  // namespace
}  // namespace strixc::sim
