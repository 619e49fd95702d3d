#pragma once

#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <cstdint>

#include "net/messages.h"
#include "net/stream_buffer.h"

namespace strixc::net {

// One end of a protocol channel over a QTcpSocket: frames outgoing messages and splits the incoming
// byte stream into messages for OnMessage. Used by both the client's channels and the simulator.
//
// Lives on, and must only be used from, the thread that owns its QTcpSocket. The channel closes
// exactly once, for whatever reason (peer, socket error, protocol violation, owner); OnClosed then
// runs once and nothing further is read or sent.
class MessageSocket : public QObject {
  Q_OBJECT

 public:
  explicit MessageSocket(QObject* parent = nullptr);
  ~MessageSocket() override;

  // Starts a non-blocking connect; OnConnected or OnClosed follows.
  void ConnectToHost(const QString& host, quint16 port);
  // Takes over an already connected socket (the server side).
  void Adopt(QTcpSocket* socket);

  // Queues one message and starts sending it at once. Messages leave whole and in order. Ignored
  // once the channel is closed.
  void Send(uint32_t code, const uint8_t* payload, size_t length);
  void Send(uint32_t code, const Payload& payload) { Send(code, payload.data(), payload.size()); }
  // Appends already framed messages (header included) as they are.
  void SendRaw(const uint8_t* bytes, size_t length);

  // Closes the channel; error 0 means a normal close or a protocol violation.
  void Close(int error = 0, const QString& text = QString());
  bool IsOpen() const { return !closed_; }
  QTcpSocket* Socket() const { return socket_; }

  // The largest payload accepted from the peer; a longer one closes the channel.
  void SetMaxLength(uint32_t limit) { maxLength_ = limit; }

  // Error codes reported to OnClosed: 0 for a close by the peer or a protocol violation, otherwise
  // one more than the QAbstractSocket::SocketError, so that 0 stays free.
  static constexpr int kUnknownErrorCode = 1000;
  static int ErrorCode(QAbstractSocket::SocketError error);
  // The code reported when a control-channel request waited too long.
  static int TimeoutErrorCode() { return ErrorCode(QAbstractSocket::SocketTimeoutError); }

 protected:
  // A complete message from the peer, in arrival order. Return false for a protocol violation: the
  // channel is then closed. The payload is only valid during the call.
  virtual bool OnMessage(uint32_t code, const uint8_t* payload, size_t length) = 0;
  virtual void OnConnected() {}
  virtual void OnClosed(int error, const QString& text) {}

  // Hands every complete buffered message to OnMessage. Returns false once the channel is closed.
  bool HandleBuffered();
  // Reads everything the socket has, a chunk at a time, handling complete messages after each.
  void ReadAvailable();
  // Reads at most one chunk from the socket into the receive buffer; returns the bytes read.
  qint64 ReadChunk();

  StreamBuffer& ReceiveBuffer() { return received_; }
  // While set, read notifications are left to the owner (a blocking request reads by itself).
  void SetReadingPaused(bool paused) { readingPaused_ = paused; }
  bool ReadingPaused() const { return readingPaused_; }
  // Set when the peer closed or the socket failed while reading was paused.
  bool PendingClose() const { return pendingClose_; }
  int PendingError() const { return pendingError_; }
  QString PendingText() const { return pendingText_; }

 private:
  void Wire();
  void OnSocketError(QAbstractSocket::SocketError error);
  void OnDisconnected();

  QTcpSocket* socket_ = nullptr;  // owned (child)
  StreamBuffer received_;
  uint32_t maxLength_ = kMaxMessageLength;
  bool closed_ = false;
  bool readingPaused_ = false;
  bool pendingClose_ = false;
  int pendingError_ = 0;
  QString pendingText_;
};

}  // namespace strixc::net
