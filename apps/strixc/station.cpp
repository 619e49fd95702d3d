#include "station.h"

#include <QDir>

#include "shell/string_ids.h"
#include "shell/string_table.h"

namespace strixc::station {

namespace {

std::string TextOf(int id) { return std::string(shell::Text(id)); }

}  // namespace

Station::Station(settings::SettingsDatabase& settings, std::string dataFolder)
    : settings_(settings), dataFolder_(std::move(dataFolder)), client_(dataFolder_), archive_(dataFolder_) {
  display_.SetFrameSource(&live_);
  path_.SetObserver(&display_);
  path_.SetRecorder(&recorderLink_);
  controller_.SetFrameSinks(&path_, nullptr);
  connect(&controller_, &net::ConnectionController::Started, this, &Station::OnStarted);
  connect(&controller_, &net::ConnectionController::ConnectionClosed, this, &Station::OnClosed);
  connect(&controller_, &net::ConnectionController::CameraInfoChanged, this, &Station::OnCameraInfo);
}

Station::~Station() {
  // The network thread must be done with the frame path, the stores, the display and the
  // recorder before they go.
  controller_.blockSignals(true);
  controller_.Teardown();
  controller_.Connection().Shutdown();
  path_.SetObserver(nullptr);
  path_.SetRecorder(nullptr);
  recorder_.Detach();
  archive_.Close();
}

void Station::LoadAll() {
  display_.LoadSettings(settings_, kDisplayKey);
  client_.Load(settings_);
  archive_.LoadSettings(settings_, kArchiveKey);
  book_.Load(settings_);
  controller_.SetQualities(client_.GetKeyQuality(), client_.GetDeltaQuality());
  display_.SetTextCodec(client_.ServerTextCodec());
}

bool Station::SaveAll() {
  bool ok = display_.SaveSettings(settings_, kDisplayKey);
  ok = client_.Save(settings_) && ok;
  ok = archive_.SaveSettings(settings_, kArchiveKey) && ok;
  return ok;
}

Station::ArchiveState Station::OpenArchive(QString* error) {
  archive_.MessageLog().Reset();
  const bool opened = archive_.Open(false);
  recorder_.Attach(&archive_);
  if (opened && !archive_.Files().empty()) return ArchiveState::kOpen;
  // Finding no archive is a warning, answered by the question to create one; only real errors
  // (an unreadable folder, a damaged file) are shown instead.
  if (archive_.MessageLog().Errors() > 0) *error = QString::fromStdString(archive_.MessageLog().Summary());
  return ArchiveState::kNone;
}

bool Station::CreateDefaultArchive(QString* error) {
  archive_.Close();
  const std::string folder = QDir(QString::fromStdString(dataFolder_)).filePath(kDefaultArchiveName).toStdString();
  QDir().mkpath(QString::fromStdString(folder));
  int index = archive_.FindLocation(folder);
  if (index < 0) index = archive_.AddLocation(folder, kDefaultArchiveSpace, kDefaultArchiveFileSize, 0);
  std::vector<archive::ArchiveFileInfo> remove, create;
  const bool made = index >= 0 && archive_.PlanLocation(index, &remove, &create) &&
                    archive_.ApplyLocation(index, remove, create, {}, {}, /*fastFormatting=*/true);
  const bool opened = archive_.Open(false);
  recorder_.Attach(&archive_);
  if (made && opened) return true;
  *error = QString::fromStdString(archive_.MessageLog().Summary());
  return false;
}

void Station::SetRecording(bool on) {
  if (on == recordingOn_) return;
  recordingOn_ = on;
  // The archive's event texts are in the server's code page, like those the server sends.
  const net::TextCodec& codec = controller_.Connection().Codec();
  if (on) {
    recorder_.SwitchRecording(true, cameraCount_, codec.Encode(TextOf(shell::text::kRecordingEnabled)));
    recorderLink_.Set(true);
    // A camera's recording starts with its next key frame.
    controller_.Connection().KeyFrameRequest(0xFFFFFFFF);
  } else {
    recorderLink_.Set(false);
    recorder_.SwitchRecording(false, cameraCount_, codec.Encode(TextOf(shell::text::kRecordingDisabled)));
  }
}

void Station::Connect(const QString& host, quint16 port, const std::string& user, const std::string& password) {
  controller_.SetQualities(client_.GetKeyQuality(), client_.GetDeltaQuality());
  controller_.SetTextCodec(client_.ServerTextCodec());
  controller_.Connect(host, port, user, password);
}

void Station::SendVisibleCameras() {
  if (controller_.IsConnected()) controller_.Connection().VisibleCameras(display_.VisibleCameras());
}

void Station::OnStarted() {
  net::ServerConnection& server = controller_.Connection();
  cameraCount_ = server.CameraCount();
  display_.SelectCamera(0);
  if (cameraCount_ > 4) {
    display_.LayoutForButton(cameraCount_, 6);
  } else {
    display_.LayoutForButton(4, 1);
  }
  // The server's cameras take the cells in camera order.
  int cell = 0;
  for (int camera = 0; camera < display::kCameras; ++camera) {
    if (server.CameraMask() & (1u << camera)) display_.PlaceCamera(camera, cell++);
  }
  controller_.CompleteStart(display_.VisibleCameras());
  display_.RedrawAll();
  emit Connected();
}

void Station::OnClosed(int error, const QString& text) {
  if (recordingOn_) SetRecording(false);
  cameraCount_ = 0;
  for (int camera = 0; camera < display::kCameras; ++camera) {
    live_.ResetCamera(camera);
    playback_.ResetCamera(camera);
    display_.SetName(camera, {});
  }
  display_.RedrawAll();
  emit Disconnected(error, text);
}

void Station::OnCameraInfo(int camera) {
  display_.SetName(camera, controller_.CameraTitle(camera));
  display_.DrawCamera(camera);
  emit CameraTitleChanged(camera);
}

}  // namespace strixc::station
