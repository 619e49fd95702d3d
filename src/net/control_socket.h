#pragma once

#include <QTimer>
#include <chrono>
#include <deque>
#include <functional>

#include "net/message_socket.h"

namespace strixc::net {

// The control channel: a second login and blocking request/reply operations, plus the server events
// that may arrive at any time. Lives on the user-interface thread.
//
// Between requests the socket runs asynchronously and server events arrive through
// ServerEventReceived. A request blocks the calling thread until its reply arrives, the channel
// breaks, or the request time-out passes; a time-out closes the channel like a broken connection.
class ControlSocket : public MessageSocket {
  Q_OBJECT

 public:
  static constexpr std::chrono::milliseconds kDefaultTimeout{5000};

  explicit ControlSocket(QObject* parent = nullptr);
  // Asynchronous requests still waiting fail (their callbacks run from the event loop).
  ~ControlSocket() override;

  // Connects to host:port within the time-out. False (and the channel closed, with ConnectionClosed
  // emitted) on failure.
  bool ConnectBlocking(const QString& host, quint16 port);
  // The channel stands: connected and not closed. Before ConnectBlocking there is no socket at all.
  bool IsConnected() const;

  // Sends one request and waits for the reply with `replyCode`, whose payload must be exactly
  // `replyLength` bytes. Server events that arrive meanwhile are handled as usual. On success the
  // reply payload is copied to `reply`; on failure `reply` is unchanged and false is returned.
  // Without a connected channel it fails at once and sends nothing. A time-out, in the write or in
  // the read, closes the channel with TimeoutText(), as one in ConnectBlocking does.
  bool Request(uint32_t code, const Payload& payload, uint32_t replyCode, size_t replyLength,
               Payload* reply);

  // Sends one request and returns at once; the reply is awaited from the event loop. `done` runs
  // later (never inside this call), exactly once: with true and the reply's payload when the reply
  // arrives, with false when the channel closes first. Replies come in the order of the requests,
  // blocking ones included, and a blocking request hands on the replies of asynchronous ones that
  // arrive before its own. A reply that takes longer than the time-out closes the channel with
  // TimeoutText(). Without a connected channel it fails at once, sends nothing and never calls
  // `done`.
  using AsyncDone = std::function<void(bool ok, const Payload& reply)>;
  bool RequestAsync(uint32_t code, const Payload& payload, uint32_t replyCode, size_t replyLength,
                    AsyncDone done);
  size_t AsyncPending() const { return pending_.size(); }

  // Total time one request (or the blocking connect) may take.
  void SetTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }
  // The text a time-out closes the channel with.
  static QString TimeoutText();

 signals:
  void ServerEventReceived(quint32 kind, quint32 index);
  // Emitted once when the channel closes for any reason; connect it queued.
  void ConnectionClosed(int error, const QString& text);

 protected:
  bool OnMessage(uint32_t code, const uint8_t* payload, size_t length) override;
  void OnClosed(int error, const QString& text) override;

 private:
  bool HandleUnsolicited(uint32_t code, const uint8_t* payload, size_t length);
  // Examines the complete buffered messages during a request. Returns 1 when the reply was found,
  // 0 when more bytes are needed, -1 on a violation (the channel is then closed).
  int ExamineForReply(uint32_t replyCode, size_t replyLength, Payload* reply);
  void ResumeAsync();
  // Closes with what was recorded while reading was paused; a time-out that Qt reported on its own
  // (with its own text) closes with ours.
  void ClosePending();

  struct PendingRequest {
    uint32_t replyCode;
    size_t replyLength;
    std::chrono::steady_clock::time_point deadline;
    AsyncDone done;
  };
  // When the message is the reply the oldest asynchronous request waits for, completes that
  // request. 1 when it was, 0 when not, -1 for a reply of the wrong length.
  int TakeAsyncReply(uint32_t code, const uint8_t* payload, size_t length);
  void ArmAsyncTimer();
  // Ends every asynchronous request still waiting with a failure.
  void FailAsyncRequests();
  void OnAsyncTimeout();

  std::chrono::milliseconds timeout_ = kDefaultTimeout;
  std::deque<PendingRequest> pending_;  // asynchronous requests waiting for replies, oldest first
  QTimer asyncTimer_;
};

}  // namespace strixc::net
