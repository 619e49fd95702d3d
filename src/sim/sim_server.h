#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "net/messages.h"
#include "sim/camera_feeds.h"
#include "sim/sim_config.h"
#include "sim/sim_dome.h"
#include "sim/sim_session.h"
#include "sim/tick_pacer.h"

class QTcpServer;
class QTimer;

namespace strixc::sim {

class SimArchive;

// The simulated recording server. Listens on the video port and the control port (video + 1),
// serves any number of clients at once, one session per accepted connection, and keeps the state
// that all sessions share: the 16 inputs, the 12 outputs and the dome commands received.
//
// A client that breaks the protocol (an unknown code, a wrong length, a request before its login, a
// refused login) is dropped alone; the others go on. Server events (outputs and inputs switching)
// go to every logged-in control session.
//
// Archive: with SimConfig::archiveDir, Start opens (or makes) the server's archive (SimArchive);
// each video session answers its client's remote playback from it, and with SimConfig::record the
// cameras are rendered on every tick, clients or not, and recorded into it.
//
// Live pictures: while at least one video session transmits (or the server records), a timer ticks `fps` times a second
// (on deadlines that advance by the period). Each tick renders every camera that some transmitting
// session shows, once, and hands the pictures to each video session's frame streamer.
//
// Threads: the server, its sockets and its sessions live on the server's thread (its QObject
// affinity); Start, Stop, ErrorText and the destructor are called there. It may be moved to a thread
// of its own before Start; SimServerThread does exactly that. The functions under "Any thread" may
// be called from every thread.
class SimServer : public QObject {
  Q_OBJECT

 public:
  static constexpr int kMaxSessionsPerChannel = 64;
  // The oldest dome commands are forgotten beyond this many.
  static constexpr size_t kMaxDomeCommands = 10000;
  // Port pairs tried when the configured port is 0.
  static constexpr int kPortAttempts = 20;
  // The inputs that change by themselves, in turn.
  static constexpr int kChangingInputs = 4;

  explicit SimServer(SimConfig config, QObject* parent = nullptr);
  ~SimServer() override;

  // Opens the archive (first Start only), listens on both ports and starts the input changes and
  // the recording. False when the configuration is invalid, the archive cannot be opened or either
  // port cannot be opened (nothing is listening then; ErrorText says why). True at once when
  // already started.
  Q_INVOKABLE bool Start();
  // Stops listening and the input changes and closes every session. The state is kept.
  Q_INVOKABLE void Stop();
  // Why the last Start failed.
  QString ErrorText() const { return errorText_; }

  // Fixed at construction: readable from any thread.
  const SimConfig& Config() const { return config_; }

  // The names the server gives its points by default: 16 distinct camera names, "Input 1".."Input
  // 16", "Output 1".."Output 12" (UTF-8). Indices must be in range.
  static std::string CameraName(int index) { return SimConfig::DefaultCameraName(index); }
  static std::string InputName(int index);
  static std::string OutputName(int index);

  // --- Any thread ---------------------------------------------------------------------------

  // The listening ports; 0 while not started.
  quint16 VideoPort() const { return videoPort_.load(); }
  quint16 ControlPort() const { return controlPort_.load(); }

  // A copy of the dome commands received, oldest first, and their payloads as they came (52 bytes).
  std::vector<net::DomeCommandRecord> DomeCommands() const;
  std::vector<net::Payload> DomePayloads() const;
  // How many dome commands have been received (all of them, also those forgotten since).
  uint64_t DomeCommandCount() const { return domeCommandCount_.load(); }
  // Where dome camera `camera` points now (the home position for cameras that are not domes).
  DomeView DomeViewOf(int camera) const;
  // Current states; false for an index out of range.
  bool OutputState(int index) const;
  bool InputState(int index) const;
  // Bit n: input (output) n is on.
  uint32_t InputBits() const;
  uint32_t OutputBits() const;
  // Logged-in video sessions; logged-in control sessions.
  int LoggedInClients() const;
  int LoggedInControlClients() const;
  // The camera mask of the last VisibleCameras from any client (0 before the first).
  uint32_t LastVisibleMask() const;
  // True while at least one client has switched its live transmission on.
  bool TransmitOn() const;
  // The number of KeyFrameRequest messages received from all clients.
  int KeyFrameRequests() const;
  // The server's archive, null without one (or before Start). Set once by the first Start; the
  // archive locks itself (see SimArchive for what may be called from which thread).
  std::shared_ptr<SimArchive> Archive() const { return archive_; }
  // Ticks at which a transmitting client got nothing because it had not taken enough of what it
  // was sent before (see VideoSession::kMaxUnsentBytes), all clients together.
  int SkippedTicks() const { return skippedTicks_.load(); }

  // Switch an input or an output as if the outside world had, and tell every logged-in control
  // session when the state changes. Posted to the server's thread: they take effect soon after
  // the call returns, in call order. Indices out of range are ignored.
  void SetInput(int index, bool on);
  void SetOutput(int index, bool on);
  // While set, control requests after the login are read but never answered (or carried out).
  void SetControlSilent(bool silent) { controlSilent_.store(silent); }
  bool ControlSilent() const { return controlSilent_.load(); }
  // The control requests passed over in silent mode so far.
  int UnansweredRequests() const { return unanswered_.load(); }

 private:
  friend class SimSession;
  friend class VideoSession;
  friend class ControlSession;

  // --- For the sessions, on the server's thread ----------------------------------------------
  // The login reply: the same description for everybody, `accepted` aside.
  net::ServerDescription Description(bool accepted) const;
  net::CameraInfo CameraInfoOf(int index) const;
  net::IoState IoStates() const;
  // The name of input or output `index` in the code page.
  net::PointName PointNameOf(bool input, int index) const;
  void OnSessionLoggedIn(SimSession* session);
  void OnSessionClosed(SimSession* session);
  void OnTransmitChanged(bool on);
  void OnVisibleCameras(uint32_t mask);
  void OnKeyFrameRequest();
  // Starts the frame ticks when a session transmits and stops them when none does.
  void UpdateFrameTicks();
  void OnFrameTick();
  // The cameras that config_.freezes keeps silent at `now`.
  uint32_t FrozenCameras(TickPacer::Clock::time_point now) const;
  void SwitchOutput(int index, bool on);
  // Records the command, and moves the camera's dome when it is one. `payload` as received.
  void RecordDomeCommand(const net::DomeCommandRecord& command, const uint8_t* payload, size_t length);
  void OnUnansweredRequest() { unanswered_.fetch_add(1); }
  void OnTickSkipped() { skippedTicks_.fetch_add(1); }

  void AcceptVideo();
  void AcceptControl();
  void Accept(QTcpServer* listener, SimSession::Channel channel);
  void ChangeNextInput();
  void SwitchInput(int index, bool on);
  // Sends a server event to every logged-in control session.
  void Broadcast(uint32_t kind, uint32_t index);

  const SimConfig config_;
  const net::TextCodec codec_;  // of config_.encoding
  QTcpServer* videoListener_;    // child
  QTcpServer* controlListener_;  // child
  QTimer* inputTimer_;           // child
  QTimer* frameTimer_;           // child
  TickPacer framePacer_;
  CameraFeeds feeds_;
  // Written by the first Start before the listeners open, constant afterwards.
  std::shared_ptr<SimArchive> archive_;
  QString errorText_;
  int nextInput_ = 0;
  // The open sessions (children), on the server's thread only.
  std::vector<SimSession*> sessions_;
  // When the freezes count from: the first video login; unset before it.
  std::optional<TickPacer::Clock::time_point> freezeStart_;

  std::atomic<quint16> videoPort_{0};
  std::atomic<quint16> controlPort_{0};
  std::atomic<bool> controlSilent_{false};
  std::atomic<int> unanswered_{0};
  std::atomic<int> skippedTicks_{0};
  std::atomic<uint64_t> domeCommandCount_{0};

  mutable std::mutex lock_;
  // Guarded by lock_:
  uint32_t inputs_ = 0;
  uint32_t outputs_ = 0;
  std::vector<net::DomeCommandRecord> domeCommands_;
  std::vector<net::Payload> domePayloads_;

  // The domes: moved by the control sessions' requests and looked at by the frame ticks, both on
  // the server's thread, and read by tests from theirs. Never held together with lock_.
  mutable std::mutex domeLock_;
  // Guarded by domeLock_:
  mutable std::array<SimDome, net::kCameraCount> domes_;
  int loggedInVideo_ = 0;
  int loggedInControl_ = 0;
  int transmitting_ = 0;  // video sessions with transmission on
  uint32_t lastVisibleMask_ = 0;
  int keyFrameRequests_ = 0;
};

}  // namespace strixc::sim
