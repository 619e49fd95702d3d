#pragma once

#include <QThread>
#include <mutex>
#include <string>

#include "net/call_context.h"
#include "net/dispatch_gate.h"
#include "net/messages.h"
#include "net/stream_buffer.h"
#include "net/text_codec.h"
#include "net/video_channel_sinks.h"

namespace strixc::net {

class VideoSocket;

// The network thread: owns the video channel's socket, sends every queued video-channel message and
// handles every received one. Runs an event loop from construction until Shutdown.
//
// Connect, Disconnect and Queue may be called from any thread (never from a receiver of the video
// channel); they post work to this thread. The signals are emitted on this thread; receivers on
// other threads get them queued, a direct receiver runs on this thread and may queue messages.
//
// Locks: lock_ is never held across a socket call or a receiver, so a receiver or a close handler
// may call Queue. The dispatch gate is held while the receivers run (see DispatchGate).
class CNetVideoThread : public QThread {
  Q_OBJECT

 public:
  // The sinks must outlive the thread (until Shutdown returns).
  explicit CNetVideoThread(const VideoChannelSinks& sinks, QObject* parent = nullptr);
  ~CNetVideoThread() override;

  // Replaces the receivers; takes effect for the next connection.
  void SetSinks(const VideoChannelSinks& sinks);

  // Opens a new video channel (closing the current one). `generation` comes back with the signals
  // so that the owner can drop those of an older connection. `user` and `password` are in the
  // server's code page, which `codec` converts. From the return on, nothing that an older
  // connection received reaches the receivers.
  void Connect(const QString& host, quint16 port, const std::string& user,
               const std::string& password, quint64 generation, const TextCodec& codec);
  // Closes the video channel, if any, without a ConnectionClosed signal. From the return on, nothing
  // that it received reaches the receivers, also what was already buffered on this thread.
  void Disconnect();
  // The generation whose messages may reach the receivers; 0 when none.
  quint64 CurrentGeneration() const { return gate_.Current(); }
  // Appends one message to the outgoing queue. With no video channel it is dropped when its turn
  // comes.
  void Queue(uint32_t code, const Payload& payload);
  // Ends the event loop and waits for the thread; the video channel is closed.
  void Shutdown();

 signals:
  void LoginResult(quint64 generation, int error, quint32 version, const QString& text);
  void ConnectionClosed(quint64 generation, int error, const QString& text);

 protected:
  void run() override;

 private:
  void OnConnect(quint64 generation);
  void OnDisconnect();
  void OnSend();

  // Lives on this thread; queued calls and the socket's signals are delivered through it.
  CallContext* context_;
  DispatchGate gate_;
  // Only touched on this thread: owned, created and deleted here.
  VideoSocket* socket_ = nullptr;
  std::mutex lock_;
  // Guarded by lock_:
  VideoChannelSinks sinks_;
  QString host_;
  quint16 port_ = 0;
  std::string user_;
  std::string password_;
  quint64 generation_ = 0;
  TextCodec codec_;
  StreamBuffer queue_;
};

}  // namespace strixc::net
