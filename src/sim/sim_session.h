#pragma once

#include <QTimer>
#include <cstdint>

#include "net/message_socket.h"

class QTcpSocket;

namespace strixc::sim {

class SimServer;

// What the video and the control sessions share: the login that must come first, the refusal of a
// wrong account, the closing of a client that breaks the protocol, and the report to the server.
//
// A session is created by the SimServer for one accepted connection, is its child, and lives on the
// server's thread. It deletes itself (deleteLater) once closed, after telling the server.
class SimSession : public net::MessageSocket {
  Q_OBJECT

 public:
  enum class Channel { kVideo, kControl };

  // A client that has not logged in after this long is closed.
  static constexpr int kLoginTimeoutMs = 30000;
  // No request of either channel comes near this; a longer message is a violation.
  static constexpr uint32_t kMaxRequestLength = 1024;

  SimSession(Channel channel, SimServer* server);

  // Takes over the accepted socket and starts serving it. The server must already count this
  // session among its own, because the first messages may be handled (or the session closed) here.
  void Begin(QTcpSocket* socket);

  Channel Kind() const { return channel_; }
  bool LoggedIn() const { return loggedIn_; }

 protected:
  // A message after a successful login. Return false for a violation: the client is dropped.
  virtual bool OnRequest(uint32_t code, const uint8_t* payload, size_t length) = 0;

  SimServer& Server() const { return *server_; }

 private:
  bool OnMessage(uint32_t code, const uint8_t* payload, size_t length) final;
  void OnClosed(int error, const QString& text) final;
  bool HandleLogin(uint32_t code, const uint8_t* payload, size_t length);
  void CloseWhenSent();

  const Channel channel_;
  SimServer* const server_;  // the parent; outlives the session
  QTimer loginTimer_;
  bool loggedIn_ = false;
  bool refused_ = false;
};

}  // namespace strixc::sim
