#include "net/message_socket.h"

#include "net/framing.h"
#include "net/wire.h"

namespace strixc::net {

MessageSocket::MessageSocket(QObject* parent) : QObject(parent) {}

MessageSocket::~MessageSocket() {
  if (socket_) {
    socket_->disconnect(this);
    socket_->abort();
  }
}

int MessageSocket::ErrorCode(QAbstractSocket::SocketError error) {
  // UnknownSocketError is -1: give it a code of its own instead of the 0 of a normal close.
  return error == QAbstractSocket::UnknownSocketError ? kUnknownErrorCode : static_cast<int>(error) + 1;
}

void MessageSocket::ConnectToHost(const QString& host, quint16 port) {
  socket_ = new QTcpSocket(this);
  Wire();
  connect(socket_, &QTcpSocket::connected, this, [this] {
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket_->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    OnConnected();
  });
  socket_->connectToHost(host, port);
}

void MessageSocket::Adopt(QTcpSocket* socket) {
  socket_ = socket;
  socket_->setParent(this);
  socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
  socket_->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
  Wire();
  if (socket_->bytesAvailable() > 0) ReadAvailable();
  // A peer that left before it was adopted sends no further signal.
  if (!closed_ && socket_->state() != QAbstractSocket::ConnectedState) Close();
}

void MessageSocket::Wire() {
  connect(socket_, &QTcpSocket::readyRead, this, &MessageSocket::ReadAvailable);
  connect(socket_, &QTcpSocket::errorOccurred, this, &MessageSocket::OnSocketError);
  connect(socket_, &QTcpSocket::disconnected, this, &MessageSocket::OnDisconnected);
}

void MessageSocket::Send(uint32_t code, const uint8_t* payload, size_t length) {
  if (closed_ || !socket_) return;
  uint8_t header[kHeaderSize];
  wire::EncodeHeader(header, code, static_cast<uint32_t>(length));
  // QTcpSocket keeps whatever the kernel does not take at once and sends it on its own write
  // notifications, in order; a write that fails closes the channel through errorOccurred.
  socket_->write(reinterpret_cast<const char*>(header), kHeaderSize);
  if (length > 0) socket_->write(reinterpret_cast<const char*>(payload), static_cast<qint64>(length));
  socket_->flush();
}

void MessageSocket::SendRaw(const uint8_t* bytes, size_t length) {
  if (closed_ || !socket_ || length == 0) return;
  socket_->write(reinterpret_cast<const char*>(bytes), static_cast<qint64>(length));
  socket_->flush();
}

void MessageSocket::Close(int error, const QString& text) {
  if (closed_) return;
  closed_ = true;
  if (socket_) {
    socket_->disconnect(this);
    socket_->abort();
  }
  received_.Clear();
  OnClosed(error, text);
}

qint64 MessageSocket::ReadChunk() {
  if (closed_ || !socket_) return 0;
  uint8_t* at = received_.Reserve(kReadChunk);
  const qint64 n = socket_->read(reinterpret_cast<char*>(at), kReadChunk);
  if (n > 0) received_.Commit(static_cast<size_t>(n));
  return n;
}

bool MessageSocket::HandleBuffered() {
  while (!closed_) {
    FramedMessage m;
    const FrameStatus status = PeekMessage(received_, maxLength_, &m);
    if (status == FrameStatus::kIncomplete) break;
    if (status == FrameStatus::kTooLong || !OnMessage(m.code, m.payload, m.length)) {
      Close();
      return false;
    }
    if (closed_) return false;
    received_.Consume(kHeaderSize + m.length);
  }
  return !closed_;
}

void MessageSocket::ReadAvailable() {
  if (readingPaused_ || !socket_) return;
  // Qt only notifies again when new data arrives, so everything it has buffered is read here, one
  // chunk at a time, handling the complete messages after each chunk.
  while (!closed_ && socket_->bytesAvailable() > 0) {
    if (ReadChunk() <= 0) break;
    if (!HandleBuffered()) return;
  }
}

void MessageSocket::OnSocketError(QAbstractSocket::SocketError error) {
  const int code = error == QAbstractSocket::RemoteHostClosedError ? 0 : ErrorCode(error);
  const QString text = code ? socket_->errorString() : QString();
  if (readingPaused_) {
    if (!pendingClose_) {
      pendingClose_ = true;
      pendingError_ = code;
      pendingText_ = text;
    }
    return;
  }
  Close(code, text);
}

void MessageSocket::OnDisconnected() {
  if (readingPaused_) {
    pendingClose_ = true;
    return;
  }
  // Messages that arrived just before the peer closed are still handled.
  ReadAvailable();
  Close();
}

}  // namespace strixc::net
