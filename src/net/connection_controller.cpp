#include "net/connection_controller.h"

#include "net/connection_texts.h"

namespace strixc::net {

ConnectionController::ConnectionController(QObject* parent)
    : QObject(parent), connection_(VideoChannelSinks{&points_, this, nullptr, nullptr}) {
  // The points are set on the network thread (IoState, names) and on this one (server events);
  // their changes reach the owner on this thread, in the order they were made.
  for (int i = 0; i < kInputCount; ++i) {
    points_.inputs[i].Init(i, [this](int index, int state) {
      calls_.Post([this, index, state] { emit InputChanged(index, state); });
    });
  }
  for (int i = 0; i < kOutputCount; ++i) {
    points_.outputs[i].Init(i, [this](int index, int state) {
      calls_.Post([this, index, state] { emit OutputChanged(index, state); });
    });
  }

  connect(&connection_, &ServerConnection::VideoLogin, this, &ConnectionController::OnVideoLogin);
  connect(&connection_, &ServerConnection::ConnectionClosed, this, &ConnectionController::OnConnectionClosed);
  // Direct: a server event that arrives while a request waits is applied at once.
  connect(&connection_, &ServerConnection::ServerEvent, this, &ConnectionController::OnServerEvent);

  keepAlive_.setInterval(kKeepAliveMs);
  connect(&keepAlive_, &QTimer::timeout, this, [this] { connection_.KeepAlive(); });
  keepAlive_.start();
}

ConnectionController::~ConnectionController() {
  keepAlive_.stop();
  connection_.Reset();
  connection_.Shutdown();
}

VideoChannelSinks ConnectionController::Sinks() {
  return VideoChannelSinks{&points_, this, frames_, remoteArchive_};
}

void ConnectionController::SetFrameSinks(FrameSink* frames, RemoteArchiveSink* remoteArchive) {
  frames_ = frames;
  remoteArchive_ = remoteArchive;
  connection_.Thread().SetSinks(Sinks());
}

void ConnectionController::SetQualities(uint32_t key, uint32_t delta) {
  keyQuality_ = key;
  deltaQuality_ = delta;
}

void ConnectionController::Connect(const QString& host, quint16 port, const std::string& user,
                                   const std::string& password) {
  {
    std::lock_guard<std::mutex> guard(camerasLock_);
    cameras_.fill(Camera{});
  }
  version_ = 0;
  state_ = State::kConnecting;
  emit Progress(QString::asprintf(texts::kConnectingTo, user.c_str(), host.toUtf8().constData(),
                                  QString::number(port).toUtf8().constData()));
  connection_.Open(host, port, user, password);
}

bool ConnectionController::IsCurrent(quint64 generation) const {
  return state_ != State::kIdle && generation == connection_.Generation();
}

void ConnectionController::OnVideoLogin(quint64 generation, int error, quint32 version, const QString& text) {
  if (!IsCurrent(generation) || state_ != State::kConnecting) return;
  if (error != 0) {
    Teardown();
    emit LoginFailed(LoginFailure::kSocketError, text);
    return;
  }
  if (version == 0) {
    Teardown();
    emit LoginFailed(LoginFailure::kRefused, QString::fromUtf8(texts::kAuthorizationFailed));
    return;
  }
  if (version > kMaxProtocolVersion) {
    Teardown();
    emit LoginFailed(LoginFailure::kProtocolVersion, QString::fromUtf8(texts::kProtocolVersion));
    return;
  }
  version_ = version;
  emit Progress(QString::fromUtf8(texts::kGettingParameters));
  emit LoggedIn();
  if (!connection_.StartControl(keyQuality_, deltaQuality_)) {
    Teardown();
    return;
  }
  state_ = State::kStarted;
  emit Started();
}

void ConnectionController::CompleteStart(uint32_t visibleMask) {
  if (state_ != State::kStarted) return;
  connection_.VisibleCameras(visibleMask);
  connection_.TransmitSwitch(true);
  state_ = State::kConnected;
}

void ConnectionController::Teardown(int error, const QString& errorText) {
  connection_.Reset();
  state_ = State::kIdle;
  {
    std::lock_guard<std::mutex> guard(camerasLock_);
    cameras_.fill(Camera{});
  }
  emit ConnectionClosed(error, error != 0 && !errorText.isEmpty() ? errorText
                                                                  : QString::fromUtf8(texts::kConnectionBroken));
}

void ConnectionController::OnConnectionClosed(quint64 generation, int error, const QString& text) {
  if (!IsCurrent(generation)) return;
  Teardown(error, text);
}

void ConnectionController::OnServerEvent(quint32 kind, quint32 index) {
  const uint32_t bit = 1u << (index % 32);
  switch (kind) {
    case server_event::kOutputOn:
    case server_event::kOutputOff:
      if ((connection_.OutputMask() & bit) && index < kOutputCount)
        points_.outputs[index].SetState(kind == server_event::kOutputOn);
      break;
    case server_event::kInputOn:
    case server_event::kInputOff:
      if ((connection_.InputMask() & bit) && index < kInputCount)
        points_.inputs[index].SetState(kind == server_event::kInputOn);
      break;
    case server_event::kCameraChanged:
      if (connection_.CameraMask() & bit) connection_.InfoRequest(info_kind::kCamera, static_cast<uint8_t>(index));
      break;
    default:
      break;
  }
  // Queued: this may run inside a blocking request, where the owner must not be re-entered.
  calls_.Post([this, kind, index] { emit ServerEvent(kind, index); });
}

// The sinks are called under the network thread's dispatch gate, which holds the message's
// connection as the current one; the notice may still arrive here after that connection ended.
void ConnectionController::OnCameraInfo(int camera, bool dome, const std::string& name) {
  const quint64 generation = connection_.Thread().CurrentGeneration();
  {
    std::lock_guard<std::mutex> guard(camerasLock_);
    cameras_[camera] = Camera{name, dome};
  }
  calls_.Post([this, camera, generation] {
    if (IsCurrent(generation)) emit CameraInfoChanged(camera);
  });
}

void ConnectionController::OnInfoAnswer(int kind, int index) {
  const quint64 generation = connection_.Thread().CurrentGeneration();
  calls_.Post([this, kind, index, generation] {
    if (IsCurrent(generation)) emit InfoAnswered(kind, index);
  });
}

std::string ConnectionController::CameraName(int camera) const {
  if (camera < 0 || camera >= kCameraCount) return {};
  std::lock_guard<std::mutex> guard(camerasLock_);
  return cameras_[camera].name;
}

bool ConnectionController::CameraIsDome(int camera) const {
  if (camera < 0 || camera >= kCameraCount) return false;
  std::lock_guard<std::mutex> guard(camerasLock_);
  return cameras_[camera].dome;
}

std::string ConnectionController::CameraTitle(int camera) const {
  if (camera < 0 || camera >= kCameraCount) return {};
  std::lock_guard<std::mutex> guard(camerasLock_);
  const Camera& c = cameras_[camera];
  return c.dome ? c.name + texts::kDomeSuffix : c.name;
}

}  // namespace strixc::net
