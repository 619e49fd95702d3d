#include "net/control_socket.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <algorithm>

#include "net/wire.h"

namespace strixc::net {

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

const char kTimeoutText[] = "The server did not answer in time.";

}  // namespace

ControlSocket::ControlSocket(QObject* parent) : MessageSocket(parent) {
  asyncTimer_.setSingleShot(true);
  connect(&asyncTimer_, &QTimer::timeout, this, &ControlSocket::OnAsyncTimeout);
}

QString ControlSocket::TimeoutText() { return QString::fromUtf8(kTimeoutText); }

bool ControlSocket::IsConnected() const {
  return IsOpen() && Socket() && Socket()->state() == QAbstractSocket::ConnectedState;
}

bool ControlSocket::ConnectBlocking(const QString& host, quint16 port) {
  const auto deadline = Clock::now() + timeout_;
  SetReadingPaused(true);
  ConnectToHost(host, port);
  const bool ok = Socket()->waitForConnected(static_cast<int>(timeout_.count()));
  SetReadingPaused(false);
  if (!ok) {
    const auto error = Socket()->error();
    // Qt reports a wait that ran out as an error of its own, with its own text, and may already
    // have dropped the socket: the deadline says whether it was a time-out.
    if (error == QAbstractSocket::SocketTimeoutError || RemainingMs(deadline) == 0) {
      Close(TimeoutErrorCode(), TimeoutText());
    } else {
      Close(ErrorCode(error), Socket()->errorString());
    }
    return false;
  }
  ResumeAsync();
  return true;
}

bool ControlSocket::Request(uint32_t code, const Payload& payload, uint32_t replyCode,
                            size_t replyLength, Payload* reply) {
  // Between Open and the control login the channel has no socket yet; a request then (an output
  // button pressed while the video login is pending) must not reach it.
  if (!IsConnected()) return false;
  const auto deadline = Clock::now() + timeout_;
  SetReadingPaused(true);
  Send(code, payload);
  QTcpSocket* socket = Socket();
  while (IsOpen() && socket->bytesToWrite() > 0) {
    if (!socket->waitForBytesWritten(RemainingMs(deadline))) break;
  }

  int found = 0;
  while (IsOpen()) {
    found = ExamineForReply(replyCode, replyLength, reply);
    if (found != 0) break;
    if (socket->bytesAvailable() > 0) {
      ReadChunk();
      continue;
    }
    if (PendingClose() || socket->state() != QAbstractSocket::ConnectedState) break;
    const int left = RemainingMs(deadline);
    if (left == 0) break;
    // Returns early on data, a close or an error; the loop looks at which it was.
    socket->waitForReadyRead(left);
  }

  SetReadingPaused(false);
  if (!IsOpen()) return false;
  if (found == 1) {
    ResumeAsync();
    return true;
  }
  if (RemainingMs(deadline) == 0) {
    Close(TimeoutErrorCode(), TimeoutText());
  } else {
    ClosePending();
  }
  return false;
}

bool ControlSocket::RequestAsync(uint32_t code, const Payload& payload, uint32_t replyCode,
                                 size_t replyLength, AsyncDone done) {
  if (!IsConnected()) return false;
  pending_.push_back({replyCode, replyLength, Clock::now() + timeout_, std::move(done)});
  Send(code, payload);
  if (pending_.size() == 1) ArmAsyncTimer();
  return true;
}

int ControlSocket::TakeAsyncReply(uint32_t code, const uint8_t* payload, size_t length) {
  if (pending_.empty() || code != pending_.front().replyCode) return 0;
  if (length != pending_.front().replyLength) return -1;
  PendingRequest request = std::move(pending_.front());
  pending_.pop_front();
  ArmAsyncTimer();
  // The callback may send the next request; it runs from the event loop, after this message has
  // been taken from the buffer, so that it never re-enters the reading. It is queued on the
  // application, which outlives the channel.
  Payload reply(payload, payload + length);
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [done = std::move(request.done), reply = std::move(reply)] { done(true, reply); },
      Qt::QueuedConnection);
  return 1;
}

void ControlSocket::ArmAsyncTimer() {
  if (pending_.empty()) {
    asyncTimer_.stop();
    return;
  }
  asyncTimer_.start(std::max(RemainingMs(pending_.front().deadline), 1));
}

void ControlSocket::OnAsyncTimeout() {
  if (pending_.empty() || !IsOpen()) return;
  if (RemainingMs(pending_.front().deadline) > 0) {
    ArmAsyncTimer();
    return;
  }
  Close(TimeoutErrorCode(), TimeoutText());
}

void ControlSocket::ClosePending() {
  if (PendingError() == TimeoutErrorCode()) {
    Close(TimeoutErrorCode(), TimeoutText());
  } else {
    Close(PendingError(), PendingText());
  }
}

int ControlSocket::ExamineForReply(uint32_t replyCode, size_t replyLength, Payload* reply) {
  StreamBuffer& buffer = ReceiveBuffer();
  while (IsOpen() && buffer.Size() >= kHeaderSize) {
    const uint8_t* p = buffer.Data();
    const uint32_t code = wire::U32(p);
    const uint32_t length = wire::U32(p + 4);
    if (length > kMaxReplyLength) {
      Close();
      return -1;
    }
    if (buffer.Size() < kHeaderSize + length) return 0;
    // Replies of earlier asynchronous requests come before this one's.
    const int taken = TakeAsyncReply(code, p + kHeaderSize, length);
    if (taken < 0) {
      Close();
      return -1;
    }
    if (taken > 0) {
      buffer.Consume(kHeaderSize + length);
      continue;
    }
    if (code != replyCode) {
      if (!HandleUnsolicited(code, p + kHeaderSize, length)) {
        Close();
        return -1;
      }
      buffer.Consume(kHeaderSize + length);
      continue;
    }
    if (length != replyLength) {
      Close();
      return -1;
    }
    if (reply) reply->assign(p + kHeaderSize, p + kHeaderSize + length);
    buffer.Consume(kHeaderSize + length);
    return 1;
  }
  return IsOpen() ? 0 : -1;
}

void ControlSocket::ResumeAsync() {
  // Bytes that arrived with the reply, or while the request blocked, get no new read notification:
  // hand them to the asynchronous path from the event loop.
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (!IsOpen() || ReadingPaused()) return;
        if (PendingClose()) {
          ClosePending();
          return;
        }
        if (HandleBuffered()) ReadAvailable();
      },
      Qt::QueuedConnection);
}

bool ControlSocket::OnMessage(uint32_t code, const uint8_t* payload, size_t length) {
  const int taken = TakeAsyncReply(code, payload, length);
  if (taken != 0) return taken > 0;
  return HandleUnsolicited(code, payload, length);
}

bool ControlSocket::HandleUnsolicited(uint32_t code, const uint8_t* payload, size_t length) {
  if (code != control::kServerEvent) return false;
  const auto event = ParseServerEvent(payload, length);
  if (!event) return false;
  emit ServerEventReceived(event->kind, event->index);
  return true;
}

ControlSocket::~ControlSocket() {
  // A connection reset deletes the channel without closing it first: the requests' owners still
  // wait to hear that nothing will come.
  FailAsyncRequests();
}

void ControlSocket::OnClosed(int error, const QString& text) {
  FailAsyncRequests();
  emit ConnectionClosed(error, text);
}

void ControlSocket::FailAsyncRequests() {
  asyncTimer_.stop();
  std::deque<PendingRequest> failed;
  failed.swap(pending_);
  // After the application has gone there is no loop left to tell anybody.
  if (QCoreApplication::instance() == nullptr) return;
  for (PendingRequest& request : failed) {
    // Queued on the application: the channel may be deleted before the loop runs again.
    QMetaObject::invokeMethod(QCoreApplication::instance(),
                              [done = std::move(request.done)] { done(false, Payload()); },
                              Qt::QueuedConnection);
  }
}

}  // namespace strixc::net
