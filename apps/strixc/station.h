#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <string>

#include "archive/archive_database.h"
#include "archive/archive_recorder.h"
#include "display/video_display.h"
#include "net/connection_controller.h"
#include "net/frame_path.h"
#include "settings/settings_database.h"
#include "shell/address_book.h"
#include "tools/client_settings.h"
#include "video/frame_store.h"

namespace strixc::station {

// The operator station's working objects and what they do together, without any window: the
// connection with its start and teardown, the frame stores and the display, the local archive and
// the recording switch, the client settings and the address book, and loading and saving them.
// The main window drives it and shows what it reports.
//
// Lives on the user-interface thread.
class Station : public QObject {
  Q_OBJECT

 public:
  // The key of the main display's settings, and the other keys the station loads and saves.
  static constexpr char kDisplayKey[] = "MainDisplay";
  static constexpr char kArchiveKey[] = "ArchDatabase";
  // The archive made at a first start, in the data folder, with its sizes.
  static constexpr char kDefaultArchiveName[] = "FilesStrixC";
  static constexpr uint64_t kDefaultArchiveFileSize = 20ull << 20;
  static constexpr uint64_t kDefaultArchiveSpace = 60ull << 20;

  // `settings` must outlive the station; `dataFolder` holds the default folders.
  Station(settings::SettingsDatabase& settings, std::string dataFolder);
  ~Station() override;

  settings::SettingsDatabase& Settings() { return settings_; }
  net::ConnectionController& Controller() { return controller_; }
  display::VideoDisplay& Display() { return display_; }
  video::LiveFrameStore& Live() { return live_; }
  archive::ArchiveDatabase& Archive() { return archive_; }
  archive::ArchiveRecorder& Recorder() { return recorder_; }
  tools::ClientSettings& Client() { return client_; }
  shell::AddressBook& Book() { return book_; }
  const std::string& DataFolder() const { return dataFolder_; }

  // Every subsystem's settings in their order (display, client settings, archive locations), and
  // the address book.
  void LoadAll();
  // Saves them in the same order; false when the settings file refused one.
  bool SaveAll();

  // Opens the local archive. kNone: no archive exists; `error` then holds the database's errors,
  // if it had any (finding no archive is none).
  enum class ArchiveState { kOpen, kNone };
  ArchiveState OpenArchive(QString* error);
  // Creates the first-start archive location in the data folder and opens it; false with the
  // database's messages in `error`.
  bool CreateDefaultArchive(QString* error);

  // The recording switch: on enables the recorder, marks every camera of the connection with
  // "Recording enabled" and asks the server for key frames; off marks "Recording disabled" and
  // disables it.
  void SetRecording(bool on);
  bool RecordingOn() const { return recordingOn_; }
  // Whether the recorder is really writing (the button blinks only then).
  bool RecorderWriting() const { return recorder_.IsIndicatorOn(); }

  // Connects to a server (the current connection is dropped without a message).
  void Connect(const QString& host, quint16 port, const std::string& user, const std::string& password);
  int CameraCount() const { return cameraCount_; }
  // Tells the server which cameras the current layout shows.
  void SendVisibleCameras();

 signals:
  // The connection start is complete: the cameras are placed and the live pictures switched on.
  void Connected();
  // The connection ended (after Connected, or during the start): stores and display are cleared.
  void Disconnected(int error, const QString& text);
  void CameraTitleChanged(int camera);

 private:
  // The recorder as the frame path sees it.
  class RecorderLink : public net::FrameRecorder {
   public:
    explicit RecorderLink(archive::ArchiveRecorder& recorder) : recorder_(recorder) {}
    bool IsRecording() const override { return on_.load(); }
    void RecordFrame(int camera, const uint8_t* data, size_t length, bool keyFrame) override {
      recorder_.RecordFrame(camera, data, length, keyFrame);
    }
    void Set(bool on) { on_.store(on); }

   private:
    archive::ArchiveRecorder& recorder_;
    std::atomic<bool> on_{false};
  };

  void OnStarted();
  void OnClosed(int error, const QString& text);
  void OnCameraInfo(int camera);

  settings::SettingsDatabase& settings_;
  const std::string dataFolder_;
  tools::ClientSettings client_;
  shell::AddressBook book_;
  video::LiveFrameStore live_;
  video::PlaybackFrameStore playback_;
  display::VideoDisplay display_;
  archive::ArchiveDatabase archive_;
  archive::ArchiveRecorder recorder_;
  RecorderLink recorderLink_{recorder_};
  net::FramePath path_{live_, playback_};
  // Declared last: destroyed first, so the network thread stops before what it feeds goes.
  net::ConnectionController controller_;
  bool recordingOn_ = false;
  int cameraCount_ = 0;
};

}  // namespace strixc::station
