#pragma once

#include <QThread>
#include <mutex>
#include <string>

#include "net/messages.h"
#include "net/stream_buffer.h"
#include "net/text_codec.h"
#include "net/video_channel_sinks.h"

namespace strixc::net {

class VideoSocket;

// The network thread: owns the video channel's socket, sends every queued video-channel message and
// handles every received one. Runs an event loop from construction until Shutdown.
//
// Connect, Disconnect and Queue may be called from any thread; they only post work to this thread.
// The signals are emitted on this thread; receivers on other threads get them queued.
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
  // server's code page, which `codec` converts.
  void Connect(const QString& host, quint16 port, const std::string& user,
               const std::string& password, quint64 generation, const TextCodec& codec);
  // Closes the video channel, if any, without a ConnectionClosed signal.
  void Disconnect();
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
  void OnConnect();
  void OnDisconnect();
  void OnSend();

  // Lives on this thread; queued calls are delivered through it.
  QObject* context_;
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
  VideoSocket* socket_ = nullptr;  // owned; created and deleted on this thread
};

}  // namespace strixc::net
