#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "fake_peer.h"
#include "net/control_socket.h"
#include "net/message_socket.h"
#include "net/wire.h"
#include "wait.h"

namespace strixc::net {
namespace {

using test::FakePeer;
using test::PeerMessage;
using test::WaitUntil;

void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::vector<uint8_t> Framed(uint32_t code, const Payload& payload) {
  std::vector<uint8_t> bytes(kHeaderSize + payload.size());
  wire::EncodeHeader(bytes.data(), code, static_cast<uint32_t>(payload.size()));
  std::copy(payload.begin(), payload.end(), bytes.begin() + kHeaderSize);
  return bytes;
}

// A channel end that records what it receives.
class RecordingSocket : public MessageSocket {
 public:
  std::vector<PeerMessage> messages;
  bool closed = false;

 protected:
  bool OnMessage(uint32_t code, const uint8_t* payload, size_t length) override {
    messages.push_back({code, std::vector<uint8_t>(payload, payload + length)});
    return true;
  }
  void OnClosed(int, const QString&) override { closed = true; }
};

// --- Receive framing ----------------------------------------------------------------------------

TEST(FramingTest, SplitHeaderAndSeveralMessagesInOneReadAreEachHandledOnceInOrder) {
  FakePeer peer;
  peer.Run([](FakePeer& p) {
    const int fd = p.AcceptVideo();
    std::vector<uint8_t> first = Framed(7, {1, 2, 3});
    p.WriteRaw(fd, {first.begin(), first.begin() + 3});
    Pause(100);
    p.WriteRaw(fd, {first.begin() + 3, first.end()});
    Pause(50);
    std::vector<uint8_t> three;
    for (uint32_t code : {8u, 9u, 10u}) {
      const auto m = Framed(code, Payload(code, static_cast<uint8_t>(code)));
      three.insert(three.end(), m.begin(), m.end());
    }
    p.WriteRaw(fd, three);
    p.WaitClosed(fd);
  });
  RecordingSocket socket;
  socket.ConnectToHost("127.0.0.1", peer.Port());
  ASSERT_TRUE(WaitUntil([&] { return socket.messages.size() >= 4; }));
  ASSERT_EQ(socket.messages.size(), 4u);
  EXPECT_EQ(socket.messages[0].code, 7u);
  EXPECT_EQ(socket.messages[0].payload, (std::vector<uint8_t>{1, 2, 3}));
  for (uint32_t i = 1; i < 4; ++i) {
    EXPECT_EQ(socket.messages[i].code, 7 + i);
    EXPECT_EQ(socket.messages[i].payload.size(), 7 + i);
  }
  EXPECT_FALSE(socket.closed);
  socket.Close();
}

TEST(FramingTest, LengthOf1000000IsAcceptedAnd1000001ClosesTheChannel) {
  FakePeer peer;
  peer.Run([](FakePeer& p) {
    const int fd = p.AcceptVideo();
    p.Write(fd, 5, Payload(1000000, 0xAB));
    p.WriteHeader(fd, 6, 1000001);
    p.WaitClosed(fd);
  });
  RecordingSocket socket;
  socket.ConnectToHost("127.0.0.1", peer.Port());
  ASSERT_TRUE(WaitUntil([&] { return socket.closed; }));
  ASSERT_EQ(socket.messages.size(), 1u);
  EXPECT_EQ(socket.messages[0].payload.size(), 1000000u);
  EXPECT_EQ(socket.messages[0].payload.back(), 0xAB);
}

TEST(FramingTest, NegativeLengthClosesTheChannel) {
  FakePeer peer;
  peer.Run([](FakePeer& p) {
    const int fd = p.AcceptVideo();
    p.WriteHeader(fd, 5, 0xFFFFFFF0u);
    p.WaitClosed(fd);
  });
  RecordingSocket socket;
  socket.ConnectToHost("127.0.0.1", peer.Port());
  EXPECT_TRUE(WaitUntil([&] { return socket.closed; }));
  EXPECT_TRUE(socket.messages.empty());
}

// --- Control-channel requests -------------------------------------------------------------------

class ControlRequestTest : public ::testing::Test {
 protected:
  // Connects a control socket to the peer's control port; the peer script runs meanwhile.
  void Start(FakePeer::Script script) {
    peer_.Run(std::move(script));
    socket_.SetTimeout(std::chrono::milliseconds(3000));
    QObject::connect(&socket_, &ControlSocket::ServerEventReceived, [this](quint32 kind, quint32 index) {
      events_.push_back({kind, index});
    });
    QObject::connect(&socket_, &ControlSocket::ConnectionClosed, [this](int error, const QString& text) {
      closedError_ = error;
      closedText_ = text;
    });
    ASSERT_TRUE(socket_.ConnectBlocking("127.0.0.1", static_cast<quint16>(peer_.Port() + 1)));
  }

  bool SetOutput(Payload* reply = nullptr) {
    return socket_.Request(control::kSetOutput, BuildSetOutput(2, true), control::kSetOutputReply, 1, reply);
  }

  FakePeer peer_;
  ControlSocket socket_;
  std::vector<std::pair<quint32, quint32>> events_;
  int closedError_ = -1;
  QString closedText_;
};

TEST_F(ControlRequestTest, ServerEventWhileWaitingIsHandledAndTheRequestCompletes) {
  Start([](FakePeer& p) {
    const int fd = p.AcceptControl();
    PeerMessage m;
    p.Read(fd, &m);
    p.Write(fd, control::kServerEvent, BuildServerEvent({12, 3}));
    Pause(50);
    p.Write(fd, control::kSetOutputReply, {0});
    p.WaitClosed(fd);
  });
  Payload reply;
  ASSERT_TRUE(SetOutput(&reply));
  EXPECT_EQ(reply, Payload{0});
  ASSERT_EQ(events_.size(), 1u) << "handled while the request waited";
  EXPECT_EQ(events_[0], std::make_pair(12u, 3u));
  EXPECT_TRUE(socket_.IsOpen());
}

TEST_F(ControlRequestTest, MessagesAfterTheReplyReachTheAsynchronousPath) {
  Start([](FakePeer& p) {
    const int fd = p.AcceptControl();
    PeerMessage m;
    p.Read(fd, &m);
    auto bytes = Framed(control::kSetOutputReply, {0});
    const auto event = Framed(control::kServerEvent, BuildServerEvent({10, 2}));
    bytes.insert(bytes.end(), event.begin(), event.end());
    p.WriteRaw(fd, bytes);
    p.WaitClosed(fd);
  });
  ASSERT_TRUE(SetOutput());
  EXPECT_TRUE(WaitUntil([&] { return events_.size() == 1; }));
  EXPECT_EQ(events_[0], std::make_pair(10u, 2u));
}

TEST_F(ControlRequestTest, ReplyOf10000BytesIsAcceptedDuringARequest) {
  Start([](FakePeer& p) {
    const int fd = p.AcceptControl();
    PeerMessage m;
    p.Read(fd, &m);
    p.Write(fd, 99, Payload(10000, 1));
    p.WaitClosed(fd);
  });
  Payload reply;
  ASSERT_TRUE(socket_.Request(98, {}, 99, 10000, &reply));
  EXPECT_EQ(reply.size(), 10000u);
}

TEST_F(ControlRequestTest, MessageOf10001BytesDuringARequestClosesTheChannel) {
  Start([](FakePeer& p) {
    const int fd = p.AcceptControl();
    PeerMessage m;
    p.Read(fd, &m);
    p.WriteHeader(fd, 99, 10001);
    p.WaitClosed(fd);
  });
  Payload reply{42};
  EXPECT_FALSE(socket_.Request(98, {}, 99, 10001, &reply));
  EXPECT_EQ(reply, Payload{42}) << "output unchanged on failure";
  EXPECT_FALSE(socket_.IsOpen());
  EXPECT_TRUE(WaitUntil([&] { return closedError_ == 0; }));
}

TEST_F(ControlRequestTest, ReplyOfTheWrongLengthOrAnUnknownMessageFails) {
  Start([](FakePeer& p) {
    const int fd = p.AcceptControl();
    PeerMessage m;
    p.Read(fd, &m);
    p.Write(fd, control::kSetOutputReply, {0, 0});
    p.WaitClosed(fd);
  });
  EXPECT_FALSE(SetOutput());
  EXPECT_FALSE(socket_.IsOpen());
  EXPECT_FALSE(SetOutput()) << "a closed channel fails at once";
}

TEST_F(ControlRequestTest, UnknownUnsolicitedCodeClosesTheChannel) {
  Start([](FakePeer& p) {
    const int fd = p.AcceptControl();
    PeerMessage m;
    p.Read(fd, &m);
    p.Write(fd, 77, {1, 2, 3});
    p.Write(fd, control::kSetOutputReply, {0});
    p.WaitClosed(fd);
  });
  EXPECT_FALSE(SetOutput());
  EXPECT_FALSE(socket_.IsOpen());
}

TEST_F(ControlRequestTest, UnansweredRequestTimesOutAndClosesTheChannel) {
  std::atomic<bool> done{false};
  Start([&done](FakePeer& p) {
    const int fd = p.AcceptControl();
    PeerMessage m;
    p.Read(fd, &m);
    p.WaitClosed(fd);
    done = true;
  });
  socket_.SetTimeout(std::chrono::milliseconds(300));
  EXPECT_FALSE(SetOutput());
  EXPECT_FALSE(socket_.IsOpen());
  EXPECT_TRUE(WaitUntil([&] { return closedError_ == MessageSocket::TimeoutErrorCode(); }));
  // Qt's own time-out comes first, with its own text; the operator must read ours.
  EXPECT_EQ(closedText_.toStdString(), "The server did not answer in time.");
  EXPECT_TRUE(WaitUntil([&] { return done.load(); })) << "the peer sees the close";
}

TEST_F(ControlRequestTest, PeerClosingDuringARequestFailsIt) {
  Start([](FakePeer& p) {
    const int fd = p.AcceptControl();
    PeerMessage m;
    p.Read(fd, &m);
    p.CloseFd(fd);
  });
  EXPECT_FALSE(SetOutput());
  EXPECT_FALSE(socket_.IsOpen());
  EXPECT_TRUE(WaitUntil([&] { return closedError_ >= 0; }));
}

}  // namespace
}  // namespace strixc::net
