#include "station/station.h"

#include <QDir>
#include <QMetaObject>
#include <algorithm>

#include "playback/remote_playback_source.h"

namespace strixc::station {

namespace {

// Adds `folder` as a location when it is not one, creates its files when it holds none, and opens
// the database. Runs on the caller's thread or on the creation worker: it touches nothing but the
// database (thread-safe) and the file system.
bool MakeArchive(archive::ArchiveDatabase& db, const archive::ArchiveMessageLog::SummaryWords& words,
                 const std::string& folder, uint64_t space, uint64_t fileSize,
                 std::string* error) {
  db.Close();
  db.MessageLog().Reset();
  QDir().mkpath(QString::fromStdString(folder));
  int index = db.FindLocation(folder);
  if (index < 0) index = db.AddLocation(folder, space, fileSize, 0);
  if (index < 0) {
    *error = "cannot use " + folder + " as an archive location";
    return false;
  }
  // Files already there are recordings: a rebuild to other sizes would delete them.
  bool made = true;
  if (db.ScanPath(folder).fileCount == 0) {
    std::vector<archive::ArchiveFileInfo> remove, create;
    made = db.PlanLocation(index, &remove, &create) &&
           db.ApplyLocation(index, remove, create, {}, {}, /*fastFormatting=*/true);
  }
  const bool opened = made && db.Open(false);
  if (!opened) *error = db.MessageLog().Summary(words);
  return opened;
}

}  // namespace

void Station::RecorderLink::RecordFrame(int camera, const uint8_t* data, size_t length, bool keyFrame) {
  if (!recorder_.RecordFrame(camera, data, length, keyFrame)) return;
  records_.fetch_add(1);
  bytes_.fetch_add(length);
  cameras_.fetch_or(1u << camera);
}

Station::RecordedFrames Station::RecorderLink::Counts() const {
  return {records_.load(), bytes_.load(), cameras_.load()};
}

Station::Station(settings::SettingsDatabase& settings, std::string dataFolder)
    : settings_(settings),
      dataFolder_(std::move(dataFolder)),
      archive_(dataFolder_),
      reconnect_(MakeQtSecondTicker(), {[this](int left) { emit ReconnectCountdown(left); },
                                        [this] {
                                          Open();
                                          emit ReconnectAttempt();
                                        }}) {
  reconnect_.SetEnabled(false);
  connectDeadline_.setSingleShot(true);
  connectDeadline_.setInterval(kConnectTimeoutMs);
  connect(&connectDeadline_, &QTimer::timeout, this, &Station::OnConnectTimeout);
  // The age of the pictures is shown in whole seconds.
  staleCheck_.setInterval(1000);
  connect(&staleCheck_, &QTimer::timeout, this, [this] { display_.CheckStale(); });
  display_.SetFrameSource(&live_);
  path_.SetObserver(&display_);
  path_.SetRecorder(&recorderLink_);
  path_.SetRemoteBuffer(&remoteAdapter_);
  path_.SetRemoteSink(&forwarder_);
  controller_.SetFrameSinks(&path_, &forwarder_);
  connect(&controller_, &net::ConnectionController::Started, this, &Station::OnStarted);
  connect(&controller_, &net::ConnectionController::ConnectionClosed, this, &Station::OnClosed);
  connect(&controller_, &net::ConnectionController::CameraInfoChanged, this, &Station::OnCameraInfo);
  connect(&controller_, &net::ConnectionController::LoginFailed, this,
          [this](net::ConnectionController::LoginFailure failure) { OnLoginFailed(failure); });
}

Station::~Station() {
  reconnect_.Stop();
  // A first-start creation still running works on the archive: it ends first. Its queued result
  // dies with this object.
  if (creator_.joinable()) creator_.join();
  // The network thread must be done with the frame path, the stores, the display and the
  // recorder before they go.
  controller_.blockSignals(true);
  StopDomesForTeardown();
  controller_.Teardown();
  controller_.Connection().Shutdown();
  path_.SetObserver(nullptr);
  path_.SetRecorder(nullptr);
  path_.SetRemoteBuffer(nullptr);
  path_.SetRemoteSink(nullptr);
  if (remoteSource_ != nullptr) remoteSource_->Detach();
  recorder_.Detach();
  archive_.Close();
}

void Station::LoadAll() {
  display_.LoadSettings(settings_, kDisplayKey);
  domeInput_.LoadSettings(settings_, kDomeKey);
  archive_.LoadSettings(settings_, kArchiveKey);
}

bool Station::SaveAll() {
  bool ok = display_.SaveSettings(settings_, kDisplayKey);
  ok = domeInput_.SaveSettings(settings_, kDomeKey) && ok;
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
  if (archive_.MessageLog().Errors() > 0) *error = QString::fromStdString(archive_.MessageLog().Summary(logWords_));
  return ArchiveState::kNone;
}

bool Station::HasArchive() {
  return !creating_.load() && archive_.IsOpen() && !archive_.Files().empty();
}

std::string Station::DefaultArchiveFolder() const {
  return QDir(QString::fromStdString(dataFolder_)).filePath(archive::ArchiveDatabase::kFirstRunFolderName).toStdString();
}

bool Station::CreateArchive(const std::string& folder, uint64_t space, uint64_t fileSize, QString* error) {
  std::string text;
  const bool ok = MakeArchive(archive_, logWords_, folder, space, fileSize, &text);
  recorder_.Attach(&archive_);
  if (!ok) *error = QString::fromStdString(text);
  return ok;
}

bool Station::CreateDefaultArchive(QString* error) {
  return CreateArchive(DefaultArchiveFolder(), archive::ArchiveDatabase::kFirstRunSpace,
                       archive::ArchiveDatabase::kFirstRunMaxFileSize, error);
}

void Station::StartCreatingDefaultArchive() {
  if (creating_.exchange(true)) return;
  creator_ = std::thread([this, folder = DefaultArchiveFolder()] {
    std::string text;
    const bool ok = MakeArchive(archive_, logWords_, folder, archive::ArchiveDatabase::kFirstRunSpace,
                                archive::ArchiveDatabase::kFirstRunMaxFileSize, &text);
    calls_.Post([this, ok, error = QString::fromStdString(text)] { OnArchiveMade(ok, error); });
  });
}

void Station::OnArchiveMade(bool ok, const QString& error) {
  creator_.join();
  recorder_.Attach(&archive_);
  creating_.store(false);
  emit ArchiveCreated(ok, error);
}

void Station::SetRecording(bool on) {
  if (on == recordingOn_) return;
  recordingOn_ = on;
  if (on && controller_.GetState() == net::ConnectionController::State::kConnected) {
    StartRecorder();
  } else if (!on && recorderLink_.IsRecording()) {
    StopRecorder();
  }
  emit RecordingChanged();
}

Station::RecordingState Station::GetRecordingState() const {
  if (!recordingOn_) return RecordingState::kOff;
  return recorderLink_.IsRecording() ? RecordingState::kOn : RecordingState::kInterrupted;
}

void Station::StartRecorder() {
  SwitchRecorder(true);
  recorderLink_.Set(true);
  // A camera's recording starts with its next key frame.
  controller_.Connection().KeyFrameRequest(0xFFFFFFFF);
}

void Station::StopRecorder() {
  recorderLink_.Set(false);
  SwitchRecorder(false);
}

void Station::SwitchRecorder(bool on) {
  if (eventText_) {
    // The archive's event texts are in the server's code page, like those the server sends.
    recorder_.SwitchRecording(on, cameraCount_, controller_.Connection().Codec().Encode(eventText_(on)));
  } else {
    recorder_.SwitchRecording(on, cameraCount_);
  }
}

void Station::Connect(const QString& host, quint16 port, const std::string& user, const std::string& password) {
  reconnect_.OperatorConnected();
  host_ = host;
  port_ = port;
  user_ = user;
  password_ = password;
  lastServer_ = host;
  Open();
}

void Station::SelectCamera(int camera) {
  display_.SelectCamera(camera);
  const int selected = display_.GetSelectedCamera();
  if (selected >= 0) dome_.SetCamera(static_cast<uint16_t>(selected));
}

void Station::StopDomes() {
  domeInput_.ReleaseAll();
  dome_.StopAll();
}

void Station::StopDomesForTeardown() {
  // A dome turns until it is told to stop: whatever waits behind a slow server must not hold the
  // stop back once the connection is about to go.
  StopDomes();
  domeQueue_.FlushStopsForTeardown();
}

void Station::Open() {
  StopDomesForTeardown();
  operatorBreak_ = false;
  timedOut_ = false;
  connectDeadline_.start();
  controller_.Connect(host_, port_, user_, password_);
}

void Station::Disconnect(bool cancelled) {
  if (controller_.GetState() == net::ConnectionController::State::kIdle) {
    // Between attempts there is no connection to end, only the waiting.
    reconnect_.Stop();
    return;
  }
  operatorBreak_ = true;
  end_ = cancelled ? End::kCancelled : End::kBroken;
  StopDomesForTeardown();
  controller_.Teardown();
}

void Station::OnConnectTimeout() {
  if (controller_.GetState() == net::ConnectionController::State::kConnected) return;
  timedOut_ = true;
  StopDomesForTeardown();
  controller_.Teardown();
}

void Station::OnLoginFailed(net::ConnectionController::LoginFailure failure) {
  // A refused user or a newer protocol stays so however often it is tried. A connection that did
  // not get through (a socket error) is a break like any other.
  if (failure != net::ConnectionController::LoginFailure::kSocketError) reconnect_.Stop();
}

void Station::SetStaleSeconds(int seconds) {
  display_.SetStaleLimit(static_cast<uint32_t>(std::clamp(seconds, 1, 60)) * 1000);
}

void Station::SendVisibleCameras() {
  if (!controller_.IsConnected()) return;
  controller_.Connection().VisibleCameras(WantedCameras());
  // A camera the layout brings in has had no reason to send until now.
  if (!livePaused_) display_.WatchCameras(WantedCameras() & controller_.Connection().CameraMask());
}

void Station::SetLiveViewPaused(bool paused) {
  if (paused == livePaused_) return;
  livePaused_ = paused;
  if (paused) {
    path_.SetObserver(nullptr);
    display_.WatchCameras(0);
    return;
  }
  display_.SetFrameSource(&live_);
  path_.SetObserver(&display_);
  // The ages count from now: no picture could reach the display while it was paused.
  if (controller_.IsConnected()) display_.WatchCameras(WantedCameras() & controller_.Connection().CameraMask());
  display_.RedrawAll();
}

uint32_t Station::WantedCameras() {
  return headless_ ? controller_.Connection().CameraMask() : display_.VisibleCameras();
}

void Station::OnStarted() {
  net::ServerConnection& server = controller_.Connection();
  connectDeadline_.stop();
  // A connection made again to the same cameras keeps the layout, placement and selection the
  // operator had; any other connection starts from the camera order.
  const bool again = reconnect_.Attempting() && server.CameraMask() == lastCameraMask_;
  cameraCount_ = server.CameraCount();
  lastCameraMask_ = server.CameraMask();
  lastServer_ = QString::fromStdString(server.ServerName());
  if (!again) {
    SelectCamera(0);
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
  }
  controller_.CompleteStart(WantedCameras());
  reconnect_.Connected();
  // Every age starts again with the connection.
  display_.WatchCameras(0);
  if (!livePaused_) display_.WatchCameras(WantedCameras() & server.CameraMask());
  staleCheck_.start();
  display_.RedrawAll();
  if (recordingOn_ && !recorderLink_.IsRecording()) {
    StartRecorder();
    emit RecordingChanged();
  }
  emit Connected();
}

bool Station::AttachRemote(playback::RemotePlaybackSource& source) {
  if (remoteSource_ != nullptr) DetachRemote(*remoteSource_);
  if (!controller_.IsConnected()) return false;
  // The range is asked with a blocking request: the connection may end while it waits, and its
  // end must not find this source half attached.
  const bool ranged = source.Attach(&remoteLink_, &forwarder_);
  if (!ranged || !controller_.IsConnected()) {
    source.Detach();
    return false;
  }
  remoteSource_ = &source;
  return true;
}

void Station::DetachRemote(playback::RemotePlaybackSource& source) {
  if (remoteSource_ != &source) return;
  remoteSource_ = nullptr;
  source.Detach();
  // What the server sent for this source is of no use to the next one.
  remoteBuffer_.Clear();
}

void Station::OnClosed(int error, const QString& text) {
  connectDeadline_.stop();
  staleCheck_.stop();
  display_.WatchCameras(0);
  const bool wasRecording = recorderLink_.IsRecording();
  if (recorderLink_.IsRecording()) StopRecorder();
  cameraCount_ = 0;
  // Nothing can reach the domes of a connection that is gone.
  domeQueue_.Clear();
  dome_.ForgetMoves();
  domeInput_.Reset();
  for (int camera = 0; camera < display::kCameras; ++camera) {
    live_.ResetCamera(camera);
    playback_.ResetCamera(camera);
    display_.SetName(camera, {});
  }
  // The server's pictures went with it. A source still attached stops playing (its ticks would
  // only ask a dead connection for more) and its browser is told to close.
  if (remoteSource_ != nullptr) remoteSource_->Stop();
  remoteBuffer_.Clear();
  if (remoteSource_ != nullptr) emit RemoteArchiveLost();
  // Nothing the last connection said about the inputs and outputs holds any more.
  for (net::IoPoint& point : controller_.Points().inputs) point.Forget();
  for (net::IoPoint& point : controller_.Points().outputs) point.Forget();
  display_.RedrawAll();
  const ReconnectPolicy::Break why = operatorBreak_ ? ReconnectPolicy::Break::kOperator : ReconnectPolicy::Break::kLost;
  if (reconnect_.Broken(why)) {
    end_ = End::kReconnecting;
  } else if (!operatorBreak_) {
    end_ = timedOut_ ? End::kTimedOut : End::kBroken;
  }
  operatorBreak_ = false;
  timedOut_ = false;
  if (wasRecording) emit RecordingChanged();
  emit Disconnected(error, text);
}

void Station::OnCameraInfo(int camera) {
  display_.SetName(camera, controller_.CameraTitle(camera));
  display_.DrawCamera(camera);
  emit CameraTitleChanged(camera);
}

}  // namespace strixc::station
