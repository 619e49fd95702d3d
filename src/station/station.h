#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "archive/archive_database.h"
#include "archive/archive_recorder.h"
#include "display/video_display.h"
#include "dome/dome_control.h"
#include "dome/dome_input.h"
#include "dome/dome_link.h"
#include "dome/dome_request_queue.h"
#include "dome/sdl_joysticks.h"
#include "net/call_context.h"
#include "net/connection_controller.h"
#include "net/frame_path.h"
#include "net/remote_frame_buffer_adapter.h"
#include "playback/remote_archive_forwarder.h"
#include "playback/server_connection_link.h"
#include "settings/settings_database.h"
#include "station/reconnect_policy.h"
#include "video/frame_store.h"
#include "video/remote_playback_frame_buffer.h"

namespace strixc::playback {
class RemotePlaybackSource;
}

namespace strixc::station {

// The operator station's working objects and what they do together, without any window: the
// connection with its start and teardown, the frame stores and the display, the local archive
// (with the archive made at a first start), the recorder and the recording switch, and loading and
// saving their settings. The main window and strixc-tool record both drive it and show what it
// reports.
//
// A connection that broke by itself is made again to the same server when reconnecting is on
// (ReconnectPolicy gives the waits), with the layout and placement it had; the recording switch
// keeps the operator's choice over the break. A connection that does not stand within
// kConnectTimeoutMs is given up.
//
// Lives on the user-interface thread; every call comes from there. The network thread reaches it
// only through the frame path. The first-start archive is made on a worker thread of its own
// (StartCreatingDefaultArchive), whose result comes back as a queued call; the destructor waits
// for that worker.
class Station : public QObject {
  Q_OBJECT

 public:
  // The key of the main display's settings, and the other keys the station loads and saves.
  static constexpr char kDisplayKey[] = "MainDisplay";
  static constexpr char kArchiveKey[] = "ArchDatabase";
  static constexpr char kDomeKey[] = "DomeControlInput";
  // How long a connection may take from Connect to the connected state.
  static constexpr int kConnectTimeoutMs = 15000;

  // What the recorder wrote of the live frames since the station was made.
  struct RecordedFrames {
    uint64_t records = 0;
    uint64_t bytes = 0;
    uint32_t cameras = 0;  // bit c: camera c had a frame written
  };
  // The text of the switch's events in the operator's language; `on` picks "Recording enabled" or
  // "Recording disabled".
  using EventText = std::function<std::string(bool on)>;

  // `settings` must outlive the station; `dataFolder` holds the default folders.
  Station(settings::SettingsDatabase& settings, std::string dataFolder);
  ~Station() override;

  settings::SettingsDatabase& Settings() { return settings_; }
  net::ConnectionController& Controller() { return controller_; }
  display::VideoDisplay& Display() { return display_; }
  video::LiveFrameStore& Live() { return live_; }
  archive::ArchiveDatabase& Archive() { return archive_; }
  archive::ArchiveRecorder& Recorder() { return recorder_; }
  const std::string& DataFolder() const { return dataFolder_; }
  // The dome command set (its camera follows the selected camera), the key and joystick bindings
  // that send through it, and the queue between them and the server.
  dome::DomeControl& Dome() { return dome_; }
  dome::DomeInput& DomeInputs() { return domeInput_; }
  dome::DomeRequestQueue& DomeQueue() { return domeQueue_; }
  // Selects the camera in the display and for dome control.
  void SelectCamera(int camera);
  // Releases every held key and joystick input and stops every dome that moves: the windows call
  // it when their input goes away (the focus left the program). The stops queue behind what the
  // operator asked for before.
  void StopDomes();

  // Every subsystem's settings in their order (display, dome bindings, archive locations).
  virtual void LoadAll();
  // Saves them in the same order; false when the settings file refused one.
  virtual bool SaveAll();

  // Opens the local archive. kNone: no archive exists; `error` then holds the database's errors,
  // if it had any (finding no archive is none).
  enum class ArchiveState { kOpen, kNone };
  ArchiveState OpenArchive(QString* error);

  // Whether recordings have somewhere to go: the archive is open with files (and no creation holds
  // the database).
  bool HasArchive();

  // The folder of the archive made at a first start: <dataFolder>/FilesStrixC.
  std::string DefaultArchiveFolder() const;
  // Makes `folder` a location of `space` bytes in files of `fileSize` (added when not listed),
  // creates its files when it holds no archive files yet (recordings found there are kept), and
  // opens the archive. False with the database's messages in `error`. Blocks for the formatting:
  // headless callers only.
  bool CreateArchive(const std::string& folder, uint64_t space, uint64_t fileSize, QString* error);
  // The same for the first-start archive, in the calling thread.
  bool CreateDefaultArchive(QString* error);
  // The same on a worker thread: returns at once and emits ArchiveCreated when the files exist and
  // the archive is open (or failed). The database is busy meanwhile: callers keep other work off
  // it until then. Does nothing while a creation runs.
  void StartCreatingDefaultArchive();
  bool CreatingArchive() const { return creating_.load(); }

  // The recording switch, one rule for every caller: on enables the recorder, marks each camera of
  // the connection (0 .. CameraCount() - 1) with "Recording enabled" and asks the server for key
  // frames; off marks each with "Recording disabled" and then disables it. While the switch is on
  // and no connection stands the recording is interrupted: a break marks the cameras "Recording
  // disabled", and the next connection enables it again as above.
  void SetRecording(bool on);
  bool RecordingOn() const { return recordingOn_; }
  enum class RecordingState { kOff, kOn, kInterrupted };
  RecordingState GetRecordingState() const;
  // Whether the recorder is really writing (the button blinks only then).
  bool RecorderWriting() const { return recorder_.IsIndicatorOn(); }
  // Without one the events say "Recording enabled" and "Recording disabled".
  void SetEventText(EventText text) { eventText_ = std::move(text); }
  // The counted lines of the archive's error summaries; without them they are in English. Set
  // before the archive is opened or made.
  void SetLogWords(archive::ArchiveMessageLog::SummaryWords words) { logWords_ = std::move(words); }
  RecordedFrames Recorded() const { return recorderLink_.Counts(); }

  // Connects to a server (the current connection is dropped without a message). A connection the
  // operator asks for ends any reconnecting.
  void Connect(const QString& host, quint16 port, const std::string& user, const std::string& password);
  // The operator ends the connection (or the attempt under way): no reconnect follows.
  // `cancelled`: he gave up waiting for it (EndOfConnection then says kCancelled).
  void Disconnect(bool cancelled = false);
  // Reconnecting after a break (off by default).
  void SetReconnect(bool on) { reconnect_.SetEnabled(on); }
  // A wait for the next attempt runs, or an attempt is under way.
  bool Reconnecting() const { return reconnect_.Waiting() || reconnect_.Attempting(); }
  // The name the last connection's server gave (its host before it gave one).
  const QString& LastServer() const { return lastServer_; }
  // How the last connection ended, for Disconnected's receivers.
  enum class End { kBroken, kTimedOut, kCancelled, kReconnecting };
  End EndOfConnection() const { return end_; }
  // kConnectTimeoutMs unless changed (tests).
  void SetConnectTimeout(int milliseconds) { connectDeadline_.setInterval(milliseconds); }
  // A connected camera whose last picture is older than this shows its age (1..60 s).
  void SetStaleSeconds(int seconds);
  int CameraCount() const { return cameraCount_; }
  // Tells the server which cameras the current layout shows.
  void SendVisibleCameras();
  // While another window (the archive browser) has the display: live pictures stop reaching it and
  // no camera's age is watched, so nothing live is drawn over that window's pictures. Resuming
  // gives the display the live store back, watches the cameras again from now and redraws.
  void SetLiveViewPaused(bool paused);
  bool LiveViewPaused() const { return livePaused_; }
  // Without a window (strixc-tool) nothing shows the layout: the station then asks the server for
  // every camera it has. Set before connecting.
  void SetHeadless(bool headless) { headless_ = headless; }

  // Remote playback. The station owns the program's one remote playback frame buffer, which the
  // frame path fills with the server's archive pictures, and the forwarder that hands the server's
  // archive answers to the source attached to it; both live as long as the station.
  video::RemotePlaybackFrameBuffer& RemoteBuffer() { return remoteBuffer_; }
  video::PlaybackFrameStore& PlaybackFrames() { return playback_; }
  // A server's archive can be browsed: a connection stands.
  bool RemoteArchiveAvailable() const { return controller_.IsConnected(); }
  // Binds `source` (made over RemoteBuffer() and PlaybackFrames()) to the connected server and asks
  // for its archive range. False, with the source left detached, when no connection stands or the
  // server gave no range. One source at a time: a source attached before is detached first. The
  // source must be detached (DetachRemote, or its own Detach) before it is destroyed.
  bool AttachRemote(playback::RemotePlaybackSource& source);
  // Detaches the attached source (closing it when open); nothing when `source` is not attached.
  void DetachRemote(playback::RemotePlaybackSource& source);
  // The source attached now, or null.
  playback::RemotePlaybackSource* RemoteSource() const { return remoteSource_; }

 signals:
  // The connection start is complete: the cameras are placed and the live pictures switched on.
  void Connected();
  // The connection ended (after Connected, or during the start): stores and display are cleared.
  // EndOfConnection tells whether a reconnect follows.
  void Disconnected(int error, const QString& text);
  // The recording switch or its interruption changed.
  void RecordingChanged();
  // Reconnecting: seconds until the next attempt (once a second), and the attempt itself.
  void ReconnectCountdown(int secondsLeft);
  void ReconnectAttempt();
  void CameraTitleChanged(int camera);
  // The connection under an attached remote source ended: emitted before Disconnected, after the
  // source was stopped. Its browser closes; the source stays attached until its opener detaches it.
  void RemoteArchiveLost();
  // StartCreatingDefaultArchive is over; `error` holds the database's messages when !ok.
  void ArchiveCreated(bool ok, const QString& error);

 private:
  // The recorder as the frame path sees it (network thread).
  class RecorderLink : public net::FrameRecorder {
   public:
    explicit RecorderLink(archive::ArchiveRecorder& recorder) : recorder_(recorder) {}
    bool IsRecording() const override { return on_.load(); }
    void RecordFrame(int camera, const uint8_t* data, size_t length, bool keyFrame) override;
    void Set(bool on) { on_.store(on); }
    RecordedFrames Counts() const;

   private:
    archive::ArchiveRecorder& recorder_;
    std::atomic<bool> on_{false};
    std::atomic<uint64_t> records_{0};
    std::atomic<uint64_t> bytes_{0};
    std::atomic<uint32_t> cameras_{0};
  };

  void OnStarted();
  void OnClosed(int error, const QString& text);
  void OnCameraInfo(int camera);
  void OnArchiveMade(bool ok, const QString& error);
  void OnLoginFailed(net::ConnectionController::LoginFailure failure);
  void OnConnectTimeout();
  void Open();
  // StopDomes, and the stops written at once, dropping whatever else waits: the station is about
  // to end the connection itself.
  void StopDomesForTeardown();
  // The recorder's half of the switch: its events for every camera of the connection.
  void SwitchRecorder(bool on);
  // The recorder's side of the switch: started with events and a key-frame request, or stopped.
  void StartRecorder();
  void StopRecorder();
  // The cameras the server is to send.
  uint32_t WantedCameras();

  settings::SettingsDatabase& settings_;
  const std::string dataFolder_;
  video::LiveFrameStore live_;
  video::PlaybackFrameStore playback_;
  display::VideoDisplay display_;
  archive::ArchiveDatabase archive_;
  archive::ArchiveRecorder recorder_;
  RecorderLink recorderLink_{recorder_};
  net::FramePath path_{live_, playback_};
  video::RemotePlaybackFrameBuffer remoteBuffer_;
  net::RemoteFrameBufferAdapter remoteAdapter_{remoteBuffer_};
  playback::RemoteArchiveForwarder forwarder_;
  playback::RemotePlaybackSource* remoteSource_ = nullptr;
  // Declared last: destroyed first, so the network thread stops before what it feeds goes.
  net::ConnectionController controller_;
  // Over controller_'s connection: declared after it, but it touches the connection only when called.
  playback::ServerConnectionLink remoteLink_{controller_.Connection()};
  // Over controller_'s connection as well; the joysticks start only when one is asked for.
  dome::SdlJoysticks joysticks_;
  dome::DomeLink domeLink_{controller_.Connection()};
  dome::DomeRequestQueue domeQueue_{domeLink_};
  dome::DomeControl dome_{&domeQueue_};
  dome::DomeInput domeInput_{&dome_, &joysticks_};
  EventText eventText_;
  archive::ArchiveMessageLog::SummaryWords logWords_;
  // The operator's choice; the recorder's own switch (the choice while a connection stands) is
  // recorderLink_'s.
  bool recordingOn_ = false;
  // The server of the last Connect, for reconnecting.
  QString host_;
  quint16 port_ = 0;
  std::string user_, password_;
  QString lastServer_;
  uint32_t lastCameraMask_ = 0;
  End end_ = End::kBroken;
  bool operatorBreak_ = false;
  bool timedOut_ = false;
  QTimer connectDeadline_;
  QTimer staleCheck_;
  ReconnectPolicy reconnect_;
  bool headless_ = false;
  bool livePaused_ = false;
  int cameraCount_ = 0;
  // The first-start archive's worker; it touches only archive_ (thread-safe) and the file system.
  // The worker's result comes back on this object's thread through it.
  net::CallContext calls_;
  std::thread creator_;
  std::atomic<bool> creating_{false};
};

}  // namespace strixc::station
