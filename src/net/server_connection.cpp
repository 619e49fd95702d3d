#include "net/server_connection.h"

#include <algorithm>

namespace strixc::net {

ServerConnection::ServerConnection(const VideoChannelSinks& sinks, QObject* parent)
    : QObject(parent), thread_(std::make_unique<CNetVideoThread>(sinks)) {
  connect(thread_.get(), &CNetVideoThread::LoginResult, this, &ServerConnection::VideoLogin,
          Qt::QueuedConnection);
  connect(thread_.get(), &CNetVideoThread::ConnectionClosed, this, &ServerConnection::ConnectionClosed,
          Qt::QueuedConnection);
  thread_->start();
}

ServerConnection::~ServerConnection() {
  Reset();
  Shutdown();
}

quint64 ServerConnection::Open(const QString& host, quint16 port, const std::string& user,
                               const std::string& password) {
  Reset();
  ++generation_;
  user_ = user;
  password_ = password;
  host_ = host;
  port_ = port;
  serverName_.clear();
  cameraMask_ = secondMask_ = inputMask_ = outputMask_ = 0;

  control_ = new ControlSocket(this);
  control_->SetTimeout(requestTimeout_);
  const quint64 generation = generation_;
  connect(control_, &ControlSocket::ServerEventReceived, this, &ServerConnection::ServerEvent);
  // Queued: the close must never reach the owner inside a request or a socket handler, where the
  // owner's teardown would delete the socket under its own feet.
  connect(
      control_, &ControlSocket::ConnectionClosed, this,
      [this, generation](int error, const QString& text) { emit ConnectionClosed(generation, error, text); },
      Qt::QueuedConnection);

  thread_->Connect(host, port, codec_.Encode(user), codec_.Encode(password), generation, codec_);
  return generation;
}

bool ServerConnection::StartControl(uint32_t keyQuality, uint32_t deltaQuality) {
  if (!control_) return false;
  if (!control_->ConnectBlocking(host_, static_cast<quint16>(port_ + 1))) return false;
  Payload reply;
  if (!control_->Request(control::kLogin,
                         BuildLogin(LoginRecord{codec_.Encode(user_), codec_.Encode(password_)}, false),
                         control::kLoginReply, kServerDescriptionSize, &reply))
    return false;
  // The password is not needed again for this connection.
  std::fill(password_.begin(), password_.end(), '\0');
  password_.clear();
  const auto d = ParseServerDescription(reply.data(), reply.size());
  if (!d) return false;
  cameraCount_ = std::min<int>(d->cameraCount, kCameraCount);
  secondCount_ = std::clamp<int>(d->secondCount, 4, 16);
  cameraMask_ = d->cameraMask;
  secondMask_ = d->secondMask;
  inputMask_ = d->inputMask;
  outputMask_ = d->outputMask;
  byte34_ = d->byte34;
  byte35_ = d->byte35;
  serverName_ = codec_.Decode(d->name);

  InfoRequest(info_kind::kIoState, 0);
  for (int n = 0; n < kCameraCount; ++n) InfoRequest(info_kind::kCamera, static_cast<uint8_t>(n));
  for (int n = 0; n < kInputCount; ++n) InfoRequest(info_kind::kInput, static_cast<uint8_t>(n));
  for (int n = 0; n < kOutputCount; ++n) InfoRequest(info_kind::kOutput, static_cast<uint8_t>(n));
  SetQuality(keyQuality, deltaQuality);
  return true;
}

void ServerConnection::Reset() {
  thread_->Disconnect();
  if (control_) {
    // Nothing of this connection may reach the owner any more.
    control_->disconnect(this);
    delete control_;
    control_ = nullptr;
  }
  cameraCount_ = 0;
  secondCount_ = 4;
  user_.clear();
  std::fill(password_.begin(), password_.end(), '\0');
  password_.clear();
  host_.clear();
  serverName_.clear();
  port_ = 0;
  cameraMask_ = secondMask_ = inputMask_ = outputMask_ = 0;
}

void ServerConnection::Shutdown() { thread_->Shutdown(); }

void ServerConnection::Queue(uint32_t code, const Payload& payload) { thread_->Queue(code, payload); }

void ServerConnection::InfoRequest(uint8_t kind, uint8_t index) {
  Queue(video_out::kInfoRequest, BuildInfoRequest(kind, index));
}
void ServerConnection::KeepAlive() { Queue(video_out::kKeepAlive, BuildKeepAlive()); }
void ServerConnection::TransmitSwitch(bool on) { Queue(video_out::kTransmitSwitch, BuildTransmitSwitch(on)); }
void ServerConnection::SetQuality(uint32_t key, uint32_t delta) {
  Queue(video_out::kSetQuality, BuildSetQuality(key, delta));
}
void ServerConnection::VisibleCameras(uint32_t mask) { Queue(video_out::kVisibleCameras, BuildVisibleCameras(mask)); }
void ServerConnection::KeyFrameRequest(uint32_t mask) {
  Queue(video_out::kKeyFrameRequest, BuildKeyFrameRequest(mask));
}
void ServerConnection::ArchiveOpen(bool open) { Queue(video_out::kArchiveOpen, BuildArchiveOpen(open)); }
void ServerConnection::ArchiveMapRequest(uint32_t width, uint64_t t0, uint64_t t1) {
  Queue(video_out::kArchiveMapRequest, BuildArchiveMapRequest({width, t0, t1}));
}
void ServerConnection::PlaybackRequest(const PlaybackRequestRecord& record) {
  Queue(video_out::kPlaybackRequest, BuildPlaybackRequest(record));
}
void ServerConnection::PlaybackControl(uint64_t time) {
  Queue(video_out::kPlaybackControl, BuildPlaybackControl(time));
}

bool ServerConnection::SetOutput(int index, bool on) {
  if (!control_ || index < 0 || index >= kOutputCount) return false;
  return control_->Request(control::kSetOutput, BuildSetOutput(static_cast<uint8_t>(index), on),
                           control::kSetOutputReply, kControlReplyByteSize, nullptr);
}

bool ServerConnection::SendDomeCommand(const DomeCommandRecord& record) {
  // Code 0 means "no command": the request is dropped, and that is no failure.
  if (record.code == 0) return true;
  if (!control_) return false;
  return control_->Request(control::kDomeCommand, BuildDomeCommand(record), control::kDomeCommandReply,
                           kControlReplyByteSize, nullptr);
}

bool ServerConnection::SendDomeCommandAsync(const DomeCommandRecord& record, DomeDone done) {
  if (!control_ || record.code == 0) return false;
  return control_->RequestAsync(control::kDomeCommand, BuildDomeCommand(record), control::kDomeCommandReply,
                                kControlReplyByteSize, [done = std::move(done)](bool ok, const Payload& reply) {
                                  done(ok, ok && !reply.empty() ? reply[0] : 0);
                                });
}

bool ServerConnection::PushDomeCommand(const DomeCommandRecord& record, int flushMs) {
  if (!control_ || record.code == 0) return false;
  // Registered like any asynchronous request, so that a reply which still arrives is taken as one.
  if (!control_->RequestAsync(control::kDomeCommand, BuildDomeCommand(record), control::kDomeCommandReply,
                              kControlReplyByteSize, [](bool, const Payload&) {}))
    return false;
  QTcpSocket* socket = control_->Socket();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(flushMs);
  while (socket && socket->bytesToWrite() > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !socket->waitForBytesWritten(static_cast<int>(left.count()))) break;
  }
  return true;
}

bool ServerConnection::GetArchiveRange(ArchiveRange* range) {
  if (!control_) return false;
  Payload reply;
  if (!control_->Request(control::kArchiveRangeRequest, BuildArchiveRangeRequest(), control::kArchiveRange,
                         kArchiveRangeSize, &reply))
    return false;
  if (range) *range = *ParseArchiveRange(reply.data(), reply.size());
  return true;
}

bool ServerConnection::AddBookmark(uint64_t time, const std::string& title, bool* refused2, bool* refused1) {
  return EditBookmark({bookmark_op::kAdd, time, codec_.Encode(title)}, refused2, refused1);
}

bool ServerConnection::RemoveBookmark(uint64_t time, bool* refused2, bool* refused1) {
  return EditBookmark({bookmark_op::kRemove, time, std::string()}, refused2, refused1);
}

bool ServerConnection::EditBookmark(const BookmarkEditRecord& record, bool* refused2, bool* refused1) {
  if (!control_) return false;
  Payload reply;
  if (!control_->Request(control::kBookmarkEdit, BuildBookmarkEdit(record), control::kBookmarkEditReply,
                         kControlReplyByteSize, &reply))
    return false;
  if (refused2) *refused2 = reply[0] == 2;
  if (refused1) *refused1 = reply[0] == 1;
  return reply[0] != 1 && reply[0] != 2;
}

}  // namespace strixc::net
