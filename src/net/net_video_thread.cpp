#include "net/net_video_thread.h"

#include <algorithm>
#include <utility>

#include "net/video_socket.h"
#include "net/wire.h"

namespace strixc::net {

CNetVideoThread::CNetVideoThread(const VideoChannelSinks& sinks, QObject* parent)
    : QThread(parent), context_(new CallContext), sinks_(sinks) {
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
  gate_.SetCurrent(generation);
  context_->Post([this, generation] { OnConnect(generation); });
}

void CNetVideoThread::Disconnect() {
  // The switch happens here, on the caller's thread: the old channel closes only when this thread
  // gets to it, and what it dispatches until then is dropped.
  gate_.SetCurrent(0);
  context_->Post([this] { OnDisconnect(); });
}

void CNetVideoThread::Queue(uint32_t code, const Payload& payload) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    uint8_t header[kHeaderSize];
    wire::EncodeHeader(header, code, static_cast<uint32_t>(payload.size()));
    queue_.Append(header, kHeaderSize);
    queue_.Append(payload.data(), payload.size());
  }
  context_->Post([this] { OnSend(); });
}

void CNetVideoThread::Shutdown() {
  if (!isRunning()) return;
  quit();
  wait();
  // Pairs with the end of run(): QThread::wait orders through Qt's own futexes, which a thread
  // checker cannot see; taking the lock makes everything the thread did visibly come first.
  std::lock_guard<std::mutex> ended(lock_);
}

void CNetVideoThread::run() {
  exec();
  // The socket belongs to this thread: it is deleted here, before the thread ends.
  delete socket_;
  socket_ = nullptr;
  std::lock_guard<std::mutex> ended(lock_);
}

void CNetVideoThread::OnConnect(quint64 generation) {
  VideoChannelSinks sinks;
  QString host;
  quint16 port;
  std::string user;
  std::string password;
  TextCodec codec;
  {
    std::lock_guard<std::mutex> guard(lock_);
    // A later Connect replaced the parameters (and takes the password): only its own call connects.
    if (generation != generation_) return;
    sinks = sinks_;
    host = host_;
    port = port_;
    user = user_;
    password.swap(password_);
    codec = codec_;
  }
  delete socket_;
  socket_ = new VideoSocket(sinks, generation, gate_);
  // Through context_, which lives on this thread: the signals leave from here, not from the thread
  // object's own (the owner's) thread.
  connect(socket_, &VideoSocket::LoginResult, context_,
          [this](quint64 g, int error, quint32 version, const QString& text) {
            emit LoginResult(g, error, version, text);
          });
  connect(socket_, &VideoSocket::ConnectionClosed, context_,
          [this](quint64 g, int error, const QString& text) { emit ConnectionClosed(g, error, text); });
  socket_->Connect(host, port, user, password, codec);
  std::fill(password.begin(), password.end(), '\0');
}

void CNetVideoThread::OnDisconnect() {
  delete socket_;
  socket_ = nullptr;
}

void CNetVideoThread::OnSend() {
  // Queue appends whole messages only: everything queued leaves in order, after the lock is
  // released, because a send can fail and close the channel on the spot, and the close handlers
  // may queue.
  StreamBuffer batch;
  {
    std::lock_guard<std::mutex> guard(lock_);
    std::swap(batch, queue_);
  }
  // Sent whole, or dropped when no video channel stands. A channel that is still connecting counts
  // as none: its first message must be the login.
  if (!batch.Empty() && socket_ && socket_->Established()) socket_->SendRaw(batch.Data(), batch.Size());
}

}  // namespace strixc::net
