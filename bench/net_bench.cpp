// Receive-path throughput: 30 KB live frames through the video channel's whole receive path
// (loopback socket, framing, dispatch to the frame sink) against a plain read loop that drains the
// same byte stream from the same socket. Phases alternate on one connection, so both see the same
// kernel, socket buffers and sender.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "net/video_socket.h"
#include "net/wire.h"

namespace {

using namespace strixc::net;

constexpr size_t kFrameBytes = 30 * 1024;
constexpr int kFramesPerPhase = 8000;
constexpr int kRounds = 7;

class CountingSink : public FrameSink {
 public:
  void OnFrame(const FrameView& frame, bool, bool&) override {
    ++frames;
    bytes += frame.header.dataLength;
    checksum += frame.data[frame.header.dataLength - 1];
  }
  uint64_t frames = 0;
  uint64_t bytes = 0;
  uint64_t checksum = 0;
};

// The video socket with its reading switchable, so that the plain reader can take the socket over.
class BenchVideoSocket : public VideoSocket {
 public:
  using VideoSocket::VideoSocket;
  using MessageSocket::SetReadingPaused;
};

// Writes one phase of frames each time it is released.
class Sender {
 public:
  explicit Sender(uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) std::abort();
    std::vector<uint8_t> data(kFrameBytes);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31 + 7);
    FrameHeader h;
    h.flags = frame_flag::kLive | frame_flag::kKey;
    for (int i = 0; i < 16; ++i) {
      h.camera = static_cast<uint8_t>(i);
      const Payload payload = BuildFrame(h, data.data(), data.size());
      uint8_t header[kHeaderSize];
      wire::EncodeHeader(header, video_in::kFrame, static_cast<uint32_t>(payload.size()));
      block_.insert(block_.end(), header, header + kHeaderSize);
      block_.insert(block_.end(), payload.begin(), payload.end());
    }
    thread_ = std::thread([this] { Run(); });
  }

  ~Sender() {
    {
      std::lock_guard<std::mutex> guard(lock_);
      stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
    ::close(fd_);
  }

  size_t PhaseBytes() const { return block_.size() / 16 * kFramesPerPhase; }

  void Release() {
    {
      std::lock_guard<std::mutex> guard(lock_);
      ++released_;
    }
    wake_.notify_one();
  }

 private:
  void Run() {
    int sent = 0;
    for (;;) {
      {
        std::unique_lock<std::mutex> guard(lock_);
        wake_.wait(guard, [&] { return stop_ || released_ > sent; });
        if (stop_) return;
      }
      for (int f = 0; f < kFramesPerPhase; f += 16) Write(block_.data(), block_.size() / 16 * std::min(16, kFramesPerPhase - f));
      ++sent;
    }
  }

  void Write(const uint8_t* p, size_t n) {
    while (n > 0) {
      const ssize_t w = ::send(fd_, p, n, MSG_NOSIGNAL);
      if (w <= 0) return;
      p += w;
      n -= static_cast<size_t>(w);
    }
  }

  int fd_ = -1;
  std::vector<uint8_t> block_;
  std::thread thread_;
  std::mutex lock_;
  std::condition_variable wake_;
  int released_ = 0;
  bool stop_ = false;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTcpServer server;
  if (!server.listen(QHostAddress::LocalHost, 0)) return 1;
  Sender sender(server.serverPort());
  if (!server.waitForNewConnection(5000)) return 1;
  QTcpSocket* tcp = server.nextPendingConnection();

  CountingSink sink;
  VideoChannelSinks sinks;
  sinks.frames = &sink;
  DispatchGate gate;
  gate.SetCurrent(1);
  BenchVideoSocket video(sinks, 1, gate);
  video.Adopt(tcp);

  // The plain reader: drains whatever has arrived into one scratch buffer.
  std::vector<char> scratch(64 * 1024);
  uint64_t plainBytes = 0;
  bool plain = false;
  QObject::connect(tcp, &QTcpSocket::readyRead, [&] {
    if (!plain) return;
    for (;;) {
      const qint64 n = tcp->read(scratch.data(), static_cast<qint64>(scratch.size()));
      if (n <= 0) break;
      plainBytes += static_cast<uint64_t>(n);
    }
  });

  const size_t phaseBytes = sender.PhaseBytes();
  const uint64_t framePhaseBytes = static_cast<uint64_t>(kFramesPerPhase) * kFrameBytes;
  std::vector<double> plainRates, pathRates;
  for (int round = 0; round < kRounds; ++round) {
    for (bool plainPhase : {true, false}) {
      plain = plainPhase;
      video.SetReadingPaused(plainPhase);
      const uint64_t plainStart = plainBytes;
      const uint64_t frameStart = sink.bytes;
      QElapsedTimer timer;
      timer.start();
      sender.Release();
      while (plainPhase ? plainBytes - plainStart < phaseBytes : sink.bytes - frameStart < framePhaseBytes) {
        if (!video.IsOpen()) return 2;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
      }
      const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
      (plainPhase ? plainRates : pathRates).push_back(static_cast<double>(phaseBytes) / seconds / 1e6);
    }
  }

  const double plainRate = Median(plainRates);
  const double pathRate = Median(pathRates);
  std::printf("frames of %zu bytes, %d per phase, %d rounds (medians)\n", kFrameBytes, kFramesPerPhase, kRounds);
  std::printf("plain read loop:   %8.1f MB/s\n", plainRate);
  std::printf("receive path:      %8.1f MB/s (%llu frames dispatched)\n", pathRate,
              static_cast<unsigned long long>(sink.frames));
  std::printf("RESULT receive_path_vs_plain_read %.2f ratio target >= 0.8\n", pathRate / plainRate);
  return 0;
}
