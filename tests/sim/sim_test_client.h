#pragma once

// A blocking client of one simulator channel, for tests that run the server on its own thread
// (SimServerThread) and wait on the test thread.

#include <QTcpSocket>
#include <chrono>
#include <optional>
#include <thread>

#include "net/messages.h"
#include "net/protocol.h"
#include "net/wire.h"

namespace strixc::sim::test {

constexpr int kWaitMs = 10000;

struct Message {
  uint32_t code = 0;
  net::Payload payload;
};

// A blocking client of one channel. Every wait is bounded by kWaitMs.
class Client {
 public:
  bool Connect(quint16 port) {
    socket_.connectToHost(QStringLiteral("127.0.0.1"), port);
    return socket_.waitForConnected(kWaitMs);
  }

  void Send(uint32_t code, const net::Payload& payload) {
    uint8_t header[net::kHeaderSize];
    net::wire::EncodeHeader(header, code, static_cast<uint32_t>(payload.size()));
    socket_.write(reinterpret_cast<const char*>(header), sizeof header);
    socket_.write(reinterpret_cast<const char*>(payload.data()), static_cast<qint64>(payload.size()));
    socket_.waitForBytesWritten(kWaitMs);
  }

  // The next whole message, or nothing when the server closed the channel (or took too long).
  std::optional<Message> Receive() {
    if (!Fill(net::kHeaderSize)) return std::nullopt;
    const QByteArray header = socket_.read(net::kHeaderSize);
    const auto* h = reinterpret_cast<const uint8_t*>(header.constData());
    Message m{net::wire::U32(h), {}};
    const uint32_t length = net::wire::U32(h + 4);
    if (!Fill(length)) return std::nullopt;
    const QByteArray body = socket_.read(length);
    m.payload.assign(body.begin(), body.end());
    return m;
  }

  // True when the server closes the channel without sending anything more.
  bool ExpectClosed() {
    while (socket_.state() == QAbstractSocket::ConnectedState && socket_.bytesAvailable() == 0) {
      if (!socket_.waitForReadyRead(kWaitMs)) break;
    }
    return socket_.bytesAvailable() == 0 && socket_.state() != QAbstractSocket::ConnectedState;
  }

  void Close() { socket_.abort(); }

  // Caps how much the socket takes from the system while the test is not reading (0: no cap), so
  // that the peer sees a client that does not keep up. Receive must not wait for a message longer
  // than the cap.
  void CapReading(qint64 bytes) { socket_.setReadBufferSize(bytes); }

 private:
  bool Fill(qint64 n) {
    while (socket_.bytesAvailable() < n) {
      if (!socket_.waitForReadyRead(kWaitMs)) return false;
    }
    return true;
  }

  QTcpSocket socket_;
};

inline std::optional<net::ServerDescription> LoginReply(Client& client, bool video) {
  const auto reply = client.Receive();
  if (!reply || reply->code != (video ? net::video_in::kLoginReply : net::control::kLoginReply)) return std::nullopt;
  return net::ParseServerDescription(reply->payload.data(), reply->payload.size());
}

// Sends InfoRequest(IoState) and reads up to its answer, passing over the live frames before it:
// once it returns true, every request sent before has been handled.
inline bool SyncVideo(Client& video, int* framesPassed = nullptr) {
  video.Send(net::video_out::kInfoRequest, net::BuildInfoRequest(net::info_kind::kIoState, 0));
  for (;;) {
    const auto m = video.Receive();
    if (!m) return false;
    if (m->code == net::video_in::kIoState) return true;
    if (m->code != net::video_in::kFrame) return false;
    if (framesPassed) ++*framesPassed;
  }
}

// Waits for a condition about the server's state that follows a client's close.
template <typename F>
bool Eventually(F condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace strixc::sim::test
