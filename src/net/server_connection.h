#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>

#include "net/control_socket.h"
#include "net/messages.h"
#include "net/net_video_thread.h"
#include "net/text_codec.h"

namespace strixc::net {

// The connection to one recording server: the connection data, the control channel, the network
// thread with the video channel, and the senders of every client message.
//
// Lives on, and must only be used from, the user-interface thread (control-channel requests block
// it for at most the request time-out). The network thread is started at construction and runs
// until Shutdown or destruction.
class ServerConnection : public QObject {
  Q_OBJECT

 public:
  explicit ServerConnection(const VideoChannelSinks& sinks, QObject* parent = nullptr);
  ~ServerConnection() override;

  // Resets, stores the connection data and starts the video channel; the control channel is made
  // but connected only by StartControl. Returns the connection's generation, which the signals
  // carry so that those of an earlier connection can be told apart. `user` and `password` are UTF-8.
  quint64 Open(const QString& host, quint16 port, const std::string& user, const std::string& password);
  // Connects and logs in the control channel, takes the counts, masks and server name from its
  // reply, and queues the information requests and SetQuality. False on any failure.
  bool StartControl(uint32_t keyQuality, uint32_t deltaQuality);
  // Closes both channels and forgets the connection data.
  void Reset();
  // Stops the network thread (waits for it); Reset first.
  void Shutdown();

  bool IsConnected() const { return control_ != nullptr; }
  quint64 Generation() const { return generation_; }
  int CameraCount() const { return cameraCount_; }
  int SecondCount() const { return secondCount_; }
  const std::string& UserName() const { return user_; }
  const QString& Host() const { return host_; }
  quint16 Port() const { return port_; }
  const std::string& ServerName() const { return serverName_; }
  uint32_t CameraMask() const { return cameraMask_; }
  uint32_t SecondMask() const { return secondMask_; }
  uint32_t InputMask() const { return inputMask_; }
  uint32_t OutputMask() const { return outputMask_; }
  int Byte34() const { return byte34_; }
  int Byte35() const { return byte35_; }

  CNetVideoThread& Thread() { return *thread_; }
  ControlSocket* Control() const { return control_; }
  // The time-out of control-channel requests (default 5 s); for the next Open.
  void SetRequestTimeout(std::chrono::milliseconds timeout) { requestTimeout_ = timeout; }
  // The server's code page (default Windows-1252); for the next Open. Every string crosses it
  // here: the login and bookmark titles are encoded (then cut to their fields), the server's names
  // decoded, so that everything above this class holds UTF-8.
  void SetTextCodec(const TextCodec& codec) { codec_ = codec; }
  const TextCodec& Codec() const { return codec_; }

  // Video-channel senders: queued through the network thread; dropped without a video channel.
  void InfoRequest(uint8_t kind, uint8_t index);
  void KeepAlive();
  void TransmitSwitch(bool on);
  void SetQuality(uint32_t key, uint32_t delta);
  void VisibleCameras(uint32_t mask);
  void KeyFrameRequest(uint32_t mask);
  void ArchiveOpen(bool open);
  void ArchiveMapRequest(uint32_t width, uint64_t t0, uint64_t t1);
  void PlaybackRequest(const PlaybackRequestRecord& record);
  void PlaybackControl(uint64_t time);

  // Control-channel requests: block until the reply. Each fails at once, sending nothing, unless the
  // control channel stands (not before the control login, e.g. while the video login is pending).
  bool SetOutput(int index, bool on);
  // A command with code 0 is dropped before the control channel and reported as done.
  bool SendDomeCommand(const DomeCommandRecord& record);
  // The same without blocking: the command leaves at once and `done` runs later, from the event
  // loop, with whether the reply came and its byte. False, with `done` never called, without a
  // control channel. For the dome controls, which must never hold up the window.
  using DomeDone = std::function<void(bool answered, uint8_t reply)>;
  bool SendDomeCommandAsync(const DomeCommandRecord& record, DomeDone done);
  // Sends the command without waiting for its reply and waits up to `flushMs` for its bytes to
  // leave: the stop of a moving dome just before the connection is closed.
  bool PushDomeCommand(const DomeCommandRecord& record, int flushMs);
  bool GetArchiveRange(ArchiveRange* range);
  // `refused1`/`refused2` report the server's two kinds of refusal; true only when neither.
  bool AddBookmark(uint64_t time, const std::string& title, bool* refused2, bool* refused1);
  bool RemoveBookmark(uint64_t time, bool* refused2, bool* refused1);

 signals:
  // From the network thread, queued: the video login's outcome and the video channel's close.
  void VideoLogin(quint64 generation, int error, quint32 version, const QString& text);
  // Either channel closed; for the control channel the generation is the current one.
  void ConnectionClosed(quint64 generation, int error, const QString& text);
  void ServerEvent(quint32 kind, quint32 index);

 private:
  void Queue(uint32_t code, const Payload& payload);
  bool EditBookmark(const BookmarkEditRecord& record, bool* refused2, bool* refused1);

  std::unique_ptr<CNetVideoThread> thread_;
  ControlSocket* control_ = nullptr;  // owned (child); null without a connection
  std::chrono::milliseconds requestTimeout_ = ControlSocket::kDefaultTimeout;
  TextCodec codec_;
  quint64 generation_ = 0;
  int cameraCount_ = 0;
  int secondCount_ = 4;
  std::string user_;
  std::string password_;
  QString host_;
  quint16 port_ = 0;
  std::string serverName_;
  uint32_t cameraMask_ = 0;
  uint32_t secondMask_ = 0;
  uint32_t inputMask_ = 0;
  uint32_t outputMask_ = 0;
  int byte34_ = 0;
  int byte35_ = 0;
};

}  // namespace strixc::net
