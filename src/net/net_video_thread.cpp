#include "net/net_video_thread.h"

#include "net/video_socket.h"
#include "net/wire.h"

namespace strixc::net {

CNetVideoThread::CNetVideoThread(const VideoChannelSinks& sinks, QObject* parent)
    : QThread(parent), context_(new QObject), sinks_(sinks) {
  setObjectName(QStringLiteral("CNetVideoThread"));
  // Moved before start: calls posted to it wait in its queue until the loop runs.
  context_->moveToThread(this);
}

CNetVideoThread::~CNetVideoThread() {
  Shutdown();
  delete context_;
}

void CNetVideoThread::SetSinks(const VideoChannelSinks& sinks) {
  std::lock_guard<std::mutex> guard(lock_);
  sinks_ = sinks;
}

void CNetVideoThread::Connect(const QString& host, quint16 port, const std::string& user,
                              const std::string& password, quint64 generation, const TextCodec& codec) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    host_ = host;
    port_ = port;
    user_ = user;
    password_ = password;
    generation_ = generation;
    codec_ = codec;
  }
  QMetaObject::invokeMethod(context_, [this] { OnConnect(); }, Qt::QueuedConnection);
}

void CNetVideoThread::Disconnect() {
  QMetaObject::invokeMethod(context_, [this] { OnDisconnect(); }, Qt::QueuedConnection);
}

void CNetVideoThread::Queue(uint32_t code, const Payload& payload) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    uint8_t header[kHeaderSize];
    wire::EncodeHeader(header, code, static_cast<uint32_t>(payload.size()));
    queue_.Append(header, kHeaderSize);
    queue_.Append(payload.data(), payload.size());
  }
  QMetaObject::invokeMethod(context_, [this] { OnSend(); }, Qt::QueuedConnection);
}

void CNetVideoThread::Shutdown() {
  if (!isRunning()) return;
  quit();
  wait();
}

void CNetVideoThread::run() {
  exec();
  // The socket belongs to this thread: it is deleted here, before the thread ends.
  std::lock_guard<std::mutex> guard(lock_);
  delete socket_;
  socket_ = nullptr;
}

void CNetVideoThread::OnConnect() {
  std::lock_guard<std::mutex> guard(lock_);
  delete socket_;
  socket_ = new VideoSocket(sinks_, generation_);
  connect(socket_, &VideoSocket::LoginResult, this, &CNetVideoThread::LoginResult);
  connect(socket_, &VideoSocket::ConnectionClosed, this, &CNetVideoThread::ConnectionClosed);
  socket_->Connect(host_, port_, user_, password_, codec_);
  password_.clear();
}

void CNetVideoThread::OnDisconnect() {
  VideoSocket* old;
  {
    std::lock_guard<std::mutex> guard(lock_);
    old = socket_;
    socket_ = nullptr;
  }
  delete old;
}

void CNetVideoThread::OnSend() {
  std::lock_guard<std::mutex> guard(lock_);
  // Every complete message is sent in order, or dropped when no video channel stands. A channel
  // that is still connecting counts as none: its first message must be the login.
  while (queue_.Size() >= kHeaderSize) {
    const size_t total = kHeaderSize + wire::U32(queue_.Data() + 4);
    if (queue_.Size() < total) break;
    if (socket_ && socket_->Established()) socket_->SendRaw(queue_.Data(), total);
    queue_.Consume(total);
  }
}

}  // namespace strixc::net
