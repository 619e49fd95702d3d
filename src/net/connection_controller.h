#pragma once

#include <QObject>
#include <QTimer>
#include <array>
#include <mutex>
#include <string>

#include "net/call_context.h"
#include "net/io_point.h"
#include "net/server_connection.h"
#include "net/video_channel_sinks.h"

namespace strixc::net {

// Drives one connection from the start to the teardown, keeps it alive, and reports what happens as
// signals, without any window: the main window and the headless tools both use it.
//
// Lives on the user-interface thread. Every signal is emitted on that thread from the event loop,
// never from inside a socket handler or a blocking request, so a receiver may show a dialog or
// start a new connection.
//
// A connection goes idle -> connecting (Connect) -> logged in (accepted video login; the control
// channel is started at once) -> started (Started emitted) -> connected (CompleteStart) and back to
// idle through Teardown, which every failure ends in.
class ConnectionController : public QObject, private InfoSink {
  Q_OBJECT

 public:
  enum class State { kIdle, kConnecting, kStarted, kConnected };
  enum class LoginFailure { kSocketError, kRefused, kProtocolVersion };

  static constexpr int kKeepAliveMs = 30000;

  explicit ConnectionController(QObject* parent = nullptr);
  ~ConnectionController() override;

  // Starts a connection (the current one, if any, is dropped without a signal). Emits Progress with
  // the connecting text.
  void Connect(const QString& host, quint16 port, const std::string& user, const std::string& password);
  // Finishes the start once the owner has placed the cameras: tells the server which cameras are
  // visible and switches the live transmission on.
  void CompleteStart(uint32_t visibleMask);
  // Ends the connection and emits ConnectionClosed with the error's text, or "Connection broken !".
  void Teardown(int error = 0, const QString& errorText = QString());

  // The qualities asked of the server at the connection start.
  void SetQualities(uint32_t key, uint32_t delta);
  // The server's code page (see ServerConnection::SetTextCodec); takes effect for the next
  // connection. Names and texts that this class hands out are UTF-8.
  void SetTextCodec(const TextCodec& codec) { connection_.SetTextCodec(codec); }
  // Where frames and remote-archive messages go; takes effect for the next connection.
  void SetFrameSinks(FrameSink* frames, RemoteArchiveSink* remoteArchive);

  State GetState() const { return state_; }
  bool IsConnected() const { return connection_.IsConnected(); }
  ServerConnection& Connection() { return connection_; }
  IoPoints& Points() { return points_; }
  // The camera's name and dome flag as the server last described it.
  std::string CameraName(int camera) const;
  bool CameraIsDome(int camera) const;
  // The title a camera's picture carries: its name, followed by "( Dome ) " for a dome.
  std::string CameraTitle(int camera) const;
  quint32 ServerVersion() const { return version_; }

  // Video-channel switch used when the owner's window is hidden and shown.
  void SetTransmission(bool on) { connection_.TransmitSwitch(on); }

 signals:
  void Progress(const QString& text);
  // The server accepted the video login; the control channel is being started.
  void LoggedIn();
  // The control channel stands and the configuration requests are queued; the owner places the
  // cameras and calls CompleteStart.
  void Started();
  // The video login failed: the connection could not be made (text is the system's), the server
  // refused the user, or it speaks a newer protocol. The teardown's ConnectionClosed, with
  // "Connection broken !", has been emitted just before.
  void LoginFailed(LoginFailure failure, const QString& text);
  // Emitted once per connection that ends, with the text to show the operator.
  void ConnectionClosed(int error, const QString& text);
  void ServerEvent(quint32 kind, quint32 index);
  void InputChanged(int index, int state);
  void OutputChanged(int index, int state);
  // Both only for the current connection: those of a connection that ended meanwhile are dropped.
  void CameraInfoChanged(int camera);
  // The server answered an information request (kind as in InfoRequest).
  void InfoAnswered(int kind, int index);

 private:
  void OnVideoLogin(quint64 generation, int error, quint32 version, const QString& text);
  void OnConnectionClosed(quint64 generation, int error, const QString& text);
  void OnServerEvent(quint32 kind, quint32 index);
  void OnCameraInfo(int camera, bool dome, const std::string& name) override;
  void OnInfoAnswer(int kind, int index) override;
  bool IsCurrent(quint64 generation) const;
  VideoChannelSinks Sinks();

  // What the network thread tells this object runs on this object's thread through it.
  CallContext calls_;
  IoPoints points_;
  FrameSink* frames_ = nullptr;
  RemoteArchiveSink* remoteArchive_ = nullptr;
  ServerConnection connection_;
  QTimer keepAlive_;
  State state_ = State::kIdle;
  quint32 version_ = 0;
  uint32_t keyQuality_ = 25;
  uint32_t deltaQuality_ = 25;

  struct Camera {
    std::string name;
    bool dome = false;
  };
  mutable std::mutex camerasLock_;
  // Guarded by camerasLock_ (written on the network thread):
  std::array<Camera, kCameraCount> cameras_;
};

}  // namespace strixc::net
