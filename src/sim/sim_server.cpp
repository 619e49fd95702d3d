#include "sim/sim_server.h"

#include <QMetaObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <array>
#include <cstdio>

#include "net/protocol.h"
#include "archive/archive_time.h"
#include "sim/control_session.h"
#include "sim/sim_archive.h"
#include "sim/video_session.h"

namespace strixc::sim {

namespace {

constexpr uint32_t kInputMask = (1u << net::kInputCount) - 1;
constexpr uint32_t kOutputMask = (1u << net::kOutputCount) - 1;

}  // namespace

SimServer::SimServer(SimConfig config, QObject* parent)
    : QObject(parent),
      config_(std::move(config)),
      codec_(config_.Codec()),
      videoListener_(new QTcpServer(this)),
      controlListener_(new QTcpServer(this)),
      inputTimer_(new QTimer(this)),
      frameTimer_(new QTimer(this)),
      feeds_(config_) {
  frameTimer_->setSingleShot(true);
  frameTimer_->setTimerType(Qt::PreciseTimer);
  connect(frameTimer_, &QTimer::timeout, this, &SimServer::OnFrameTick);
  connect(videoListener_, &QTcpServer::newConnection, this, &SimServer::AcceptVideo);
  connect(controlListener_, &QTcpServer::newConnection, this, &SimServer::AcceptControl);
  connect(inputTimer_, &QTimer::timeout, this, &SimServer::ChangeNextInput);
}

SimServer::~SimServer() { Stop(); }

std::string SimServer::InputName(int index) { return "Input " + std::to_string(index + 1); }
std::string SimServer::OutputName(int index) { return "Output " + std::to_string(index + 1); }

bool SimServer::Start() {
  if (videoListener_->isListening()) return true;
  errorText_.clear();
  if (!config_.Validate(&errorText_)) return false;
  if (!config_.archiveDir.isEmpty() && !archive_) {
    std::string error;
    auto log = [](const std::string& line) { std::fprintf(stderr, "strixc-sim: %s\n", line.c_str()); };
    std::unique_ptr<SimArchive> opened = SimArchive::Open(config_, log, &error);
    if (!opened) {
      errorText_ = QString::fromStdString(error);
      return false;
    }
    archive_ = std::move(opened);
  }
  // With port 0 the system picks the video port; the control port must be the next one, which may
  // be taken, so a few pairs are tried.
  const int attempts = config_.videoPort == 0 ? kPortAttempts : 1;
  for (int i = 0; i < attempts; ++i) {
    if (!videoListener_->listen(config_.listenAddress, config_.videoPort)) {
      errorText_ = QStringLiteral("video port: %1").arg(videoListener_->errorString());
      return false;
    }
    const quint16 port = videoListener_->serverPort();
    if (port < 65535 && controlListener_->listen(config_.listenAddress, static_cast<quint16>(port + 1))) {
      videoPort_.store(port);
      controlPort_.store(controlListener_->serverPort());
      if (config_.inputPeriodMs > 0) inputTimer_->start(config_.inputPeriodMs);
      UpdateFrameTicks();
      return true;
    }
    errorText_ = port < 65535 ? QStringLiteral("control port: %1").arg(controlListener_->errorString())
                              : QStringLiteral("control port: no port after 65535");
    videoListener_->close();
  }
  return false;
}

void SimServer::Stop() {
  inputTimer_->stop();
  frameTimer_->stop();
  videoListener_->close();
  controlListener_->close();
  videoPort_.store(0);
  controlPort_.store(0);
  // Closing a session removes it from sessions_.
  const std::vector<SimSession*> open = sessions_;
  for (SimSession* session : open) session->Close();
}

// --- Any thread ------------------------------------------------------------------------------

std::vector<net::DomeCommandRecord> SimServer::DomeCommands() const {
  std::lock_guard<std::mutex> guard(lock_);
  return domeCommands_;
}

std::vector<net::Payload> SimServer::DomePayloads() const {
  std::lock_guard<std::mutex> guard(lock_);
  return domePayloads_;
}

DomeView SimServer::DomeViewOf(int camera) const {
  if (camera < 0 || camera >= net::kCameraCount || !((config_.domeMask >> camera) & 1)) return DomeView{};
  std::lock_guard<std::mutex> guard(domeLock_);
  return domes_[static_cast<size_t>(camera)].ViewAt(SimDome::Clock::now());
}

bool SimServer::OutputState(int index) const {
  if (index < 0 || index >= net::kOutputCount) return false;
  return (OutputBits() >> index) & 1;
}

bool SimServer::InputState(int index) const {
  if (index < 0 || index >= net::kInputCount) return false;
  return (InputBits() >> index) & 1;
}

uint32_t SimServer::InputBits() const {
  std::lock_guard<std::mutex> guard(lock_);
  return inputs_;
}

uint32_t SimServer::OutputBits() const {
  std::lock_guard<std::mutex> guard(lock_);
  return outputs_;
}

int SimServer::LoggedInClients() const {
  std::lock_guard<std::mutex> guard(lock_);
  return loggedInVideo_;
}

int SimServer::LoggedInControlClients() const {
  std::lock_guard<std::mutex> guard(lock_);
  return loggedInControl_;
}

uint32_t SimServer::LastVisibleMask() const {
  std::lock_guard<std::mutex> guard(lock_);
  return lastVisibleMask_;
}

bool SimServer::TransmitOn() const {
  std::lock_guard<std::mutex> guard(lock_);
  return transmitting_ > 0;
}

int SimServer::KeyFrameRequests() const {
  std::lock_guard<std::mutex> guard(lock_);
  return keyFrameRequests_;
}

void SimServer::SetInput(int index, bool on) {
  QMetaObject::invokeMethod(
      this, [this, index, on] { SwitchInput(index, on); }, Qt::QueuedConnection);
}

void SimServer::SetOutput(int index, bool on) {
  QMetaObject::invokeMethod(
      this, [this, index, on] { SwitchOutput(index, on); }, Qt::QueuedConnection);
}

// --- Server thread ---------------------------------------------------------------------------

net::ServerDescription SimServer::Description(bool accepted) const {
  net::ServerDescription d;
  d.accepted = accepted ? 1 : 0;
  d.version = config_.protocolVersion;
  d.cameraMask = (1u << config_.cameraCount) - 1;
  d.secondMask = 0;
  d.inputMask = kInputMask;
  d.outputMask = kOutputMask;
  d.cameraCount = static_cast<uint8_t>(config_.cameraCount);
  d.secondCount = static_cast<uint8_t>(std::clamp(config_.cameraCount, 4, 16));
  d.name = codec_.Encode(config_.serverName);
  return d;
}

net::CameraInfo SimServer::CameraInfoOf(int index) const {
  net::CameraInfo info;
  info.camera = static_cast<uint8_t>(index);
  info.dome = (config_.domeMask >> index) & 1;
  // A camera the server does not have answers with an empty name.
  if (index < config_.cameraCount) info.name = codec_.Encode(config_.CameraName(index));
  return info;
}

net::PointName SimServer::PointNameOf(bool input, int index) const {
  return net::PointName{static_cast<uint8_t>(index), codec_.Encode(input ? InputName(index) : OutputName(index))};
}

net::IoState SimServer::IoStates() const {
  std::lock_guard<std::mutex> guard(lock_);
  return net::IoState{inputs_, outputs_};
}

void SimServer::AcceptVideo() { Accept(videoListener_, SimSession::Channel::kVideo); }
void SimServer::AcceptControl() { Accept(controlListener_, SimSession::Channel::kControl); }

void SimServer::Accept(QTcpServer* listener, SimSession::Channel channel) {
  while (QTcpSocket* socket = listener->nextPendingConnection()) {
    const auto count = std::count_if(sessions_.begin(), sessions_.end(),
                                     [channel](const SimSession* s) { return s->Kind() == channel; });
    if (count >= kMaxSessionsPerChannel) {
      socket->abort();
      socket->deleteLater();
      continue;
    }
    SimSession* session = channel == SimSession::Channel::kVideo ? static_cast<SimSession*>(new VideoSession(this))
                                                                : new ControlSession(this);
    sessions_.push_back(session);
    session->Begin(socket);
  }
}

void SimServer::OnSessionLoggedIn(SimSession* session) {
  if (session->Kind() == SimSession::Channel::kVideo && !freezeStart_) freezeStart_ = TickPacer::Clock::now();
  std::lock_guard<std::mutex> guard(lock_);
  if (session->Kind() == SimSession::Channel::kVideo) {
    ++loggedInVideo_;
  } else {
    ++loggedInControl_;
  }
}

void SimServer::OnSessionClosed(SimSession* session) {
  const auto it = std::find(sessions_.begin(), sessions_.end(), session);
  if (it == sessions_.end()) return;
  sessions_.erase(it);
  if (!session->LoggedIn()) return;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (session->Kind() == SimSession::Channel::kVideo) {
      --loggedInVideo_;
      if (static_cast<VideoSession*>(session)->State().transmit) --transmitting_;
    } else {
      --loggedInControl_;
    }
  }
  UpdateFrameTicks();
}

void SimServer::OnTransmitChanged(bool on) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    transmitting_ += on ? 1 : -1;
  }
  UpdateFrameTicks();
}

void SimServer::UpdateFrameTicks() {
  const bool recording = archive_ && archive_->Recording();
  if (!TransmitOn() && !recording) {
    frameTimer_->stop();
    return;
  }
  if (frameTimer_->isActive() || !videoListener_->isListening()) return;
  // The first tick comes at once, so that a client that switches on gets its pictures without delay.
  framePacer_.Start(TickPacer::Clock::now(), std::chrono::nanoseconds(1'000'000'000LL / config_.fps));
  frameTimer_->start(0);
}

void SimServer::OnFrameTick() {
  // Rescheduled first: the wait is measured from the deadline, whatever this tick costs.
  frameTimer_->start(framePacer_.Advance(TickPacer::Clock::now()));
  // A session whose send fails closes and leaves sessions_: walk a copy. Closed sessions are only
  // deleted later, from the event loop.
  const std::vector<SimSession*> open = sessions_;
  uint32_t wanted = 0;
  for (SimSession* session : open) {
    if (session->Kind() == SimSession::Channel::kVideo) wanted |= static_cast<VideoSession*>(session)->WantedCameras();
  }
  if (archive_) wanted |= archive_->RecordedCameras();
  wanted &= ~FrozenCameras(TickPacer::Clock::now());
  if (wanted == 0) return;
  const uint32_t domes = wanted & config_.domeMask;
  if (domes != 0) {
    const auto now = SimDome::Clock::now();
    std::lock_guard<std::mutex> guard(domeLock_);
    for (int c = 0; c < net::kCameraCount; ++c) {
      if ((domes >> c) & 1) feeds_.SetDomeView(c, domes_[static_cast<size_t>(c)].ViewAt(now));
    }
  }
  feeds_.Advance(archive::WallClockNow(), wanted);
  // A frozen camera records nothing either, as a real one that stopped sending.
  if (archive_) archive_->RecordTick(feeds_);
  for (SimSession* session : open) {
    if (session->Kind() == SimSession::Channel::kVideo && session->IsOpen())
      static_cast<VideoSession*>(session)->StreamTick(feeds_);
  }
}

uint32_t SimServer::FrozenCameras(TickPacer::Clock::time_point now) const {
  if (!freezeStart_) return 0;
  uint32_t frozen = 0;
  for (const SimConfig::Freeze& f : config_.freezes) {
    const auto from = *freezeStart_ + f.delay;
    if (now >= from && now < from + f.duration) frozen |= 1u << f.camera;
  }
  return frozen;
}

void SimServer::OnVisibleCameras(uint32_t mask) {
  std::lock_guard<std::mutex> guard(lock_);
  lastVisibleMask_ = mask;
}

void SimServer::OnKeyFrameRequest() {
  std::lock_guard<std::mutex> guard(lock_);
  ++keyFrameRequests_;
}

void SimServer::RecordDomeCommand(const net::DomeCommandRecord& command, const uint8_t* payload, size_t length) {
  if (config_.verbose) {
    const auto& p = command.params;
    std::fprintf(stderr, "strixc-sim: dome: camera %u code %u %.17g %.17g %.17g %.17g %.17g %.17g\n",
                 unsigned{command.camera}, unsigned{command.code}, p[0], p[1], p[2], p[3], p[4], p[5]);
  }
  // The dome moves before the reply leaves, so that a client holding the reply sees the new view.
  if (command.camera < net::kCameraCount && ((config_.domeMask >> command.camera) & 1)) {
    std::lock_guard<std::mutex> guard(domeLock_);
    domes_[command.camera].Apply(command, SimDome::Clock::now());
  }
  std::lock_guard<std::mutex> guard(lock_);
  if (domeCommands_.size() >= kMaxDomeCommands) {
    domeCommands_.erase(domeCommands_.begin());
    domePayloads_.erase(domePayloads_.begin());
  }
  domeCommands_.push_back(command);
  domePayloads_.emplace_back(payload, payload + length);
  domeCommandCount_.fetch_add(1);
}

void SimServer::SwitchOutput(int index, bool on) {
  if (index < 0 || index >= net::kOutputCount) return;
  {
    std::lock_guard<std::mutex> guard(lock_);
    const uint32_t bit = 1u << index;
    if (((outputs_ & bit) != 0) == on) return;
    outputs_ ^= bit;
  }
  Broadcast(on ? net::server_event::kOutputOn : net::server_event::kOutputOff, static_cast<uint32_t>(index));
}

void SimServer::SwitchInput(int index, bool on) {
  if (index < 0 || index >= net::kInputCount) return;
  {
    std::lock_guard<std::mutex> guard(lock_);
    const uint32_t bit = 1u << index;
    if (((inputs_ & bit) != 0) == on) return;
    inputs_ ^= bit;
  }
  Broadcast(on ? net::server_event::kInputOn : net::server_event::kInputOff, static_cast<uint32_t>(index));
}

void SimServer::ChangeNextInput() {
  // Inputs 1..4 take turns, so that a watcher sees each go on and, a round later, off again.
  const int index = nextInput_;
  nextInput_ = (nextInput_ + 1) % kChangingInputs;
  SwitchInput(index, !InputState(index));
}

void SimServer::Broadcast(uint32_t kind, uint32_t index) {
  const net::Payload event = net::BuildServerEvent(net::ServerEvent{kind, index});
  // A failing send may close its session, which then leaves sessions_: walk a copy. Closed
  // sessions are only deleted later, from the event loop, so the pointers stay valid here.
  const std::vector<SimSession*> open = sessions_;
  for (SimSession* session : open) {
    if (session->Kind() == SimSession::Channel::kControl && session->LoggedIn() && session->IsOpen())
      session->Send(net::control::kServerEvent, event);
  }
}

}  // namespace strixc::sim
