#include "sim/sim_session.h"

#include <QTcpSocket>

#include "net/protocol.h"
#include "sim/sim_server.h"

namespace strixc::sim {

SimSession::SimSession(Channel channel, SimServer* server)
    : net::MessageSocket(server), channel_(channel), server_(server), loginTimer_(this) {
  loginTimer_.setSingleShot(true);
  loginTimer_.setInterval(kLoginTimeoutMs);
  connect(&loginTimer_, &QTimer::timeout, this, [this] { Close(); });
}

void SimSession::Begin(QTcpSocket* socket) {
  SetMaxLength(kMaxRequestLength);
  loginTimer_.start();
  Adopt(socket);
}

bool SimSession::OnMessage(uint32_t code, const uint8_t* payload, size_t length) {
  // A refused client is not served further, whatever it sends while its reply drains.
  if (refused_) return false;
  if (!loggedIn_) return HandleLogin(code, payload, length);
  return OnRequest(code, payload, length);
}

bool SimSession::HandleLogin(uint32_t code, const uint8_t* payload, size_t length) {
  const bool video = channel_ == Channel::kVideo;
  if (code != (video ? net::video_out::kLogin : net::control::kLogin)) return false;
  auto login = net::ParseLogin(payload, length, video);
  if (!login) return false;
  const bool accepted = server_->Config().Accepts(*login);
  login->password.assign(login->password.size(), '\0');

  loginTimer_.stop();
  const uint32_t replyCode = video ? net::video_in::kLoginReply : net::control::kLoginReply;
  const net::Payload reply = net::BuildServerDescription(server_->Description(accepted));
  if (!accepted) {
    refused_ = true;
    Send(replyCode, reply);
    CloseWhenSent();
    return true;
  }
  // Counted before the reply leaves, so that a client holding the reply finds itself counted.
  loggedIn_ = true;
  server_->OnSessionLoggedIn(this);
  Send(replyCode, reply);
  return true;
}

void SimSession::CloseWhenSent() {
  // MessageSocket::Close aborts the socket, which throws away whatever Qt still buffers for
  // writing; the refusal must reach the client first. Once the kernel has the bytes, closing is
  // safe: they still go out, followed by the end of the stream.
  QTcpSocket* socket = Socket();
  if (!socket || socket->bytesToWrite() == 0) {
    Close();
    return;
  }
  connect(socket, &QTcpSocket::bytesWritten, this, [this] {
    if (Socket()->bytesToWrite() == 0) Close();
  });
}

void SimSession::OnClosed(int error, const QString& text) {
  loginTimer_.stop();
  server_->OnSessionClosed(this);
  deleteLater();
}

}  // namespace strixc::sim
