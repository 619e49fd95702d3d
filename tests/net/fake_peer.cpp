#include "fake_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

#include "net/wire.h"

namespace strixc::net::test {

namespace {

int Listen(uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 8) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

uint16_t PortOf(int fd) {
  sockaddr_in address{};
  socklen_t size = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  return ntohs(address.sin_port);
}

bool WaitReadable(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, timeoutMs) > 0;
}

bool ReadExactly(int fd, uint8_t* out, size_t n, int timeoutMs) {
  size_t got = 0;
  while (got < n) {
    if (!WaitReadable(fd, timeoutMs)) return false;
    const ssize_t r = ::recv(fd, out + got, n - got, 0);
    if (r <= 0) return false;
    got += static_cast<size_t>(r);
  }
  return true;
}

}  // namespace

FakePeer::FakePeer() {
  for (int attempt = 0; attempt < 50 && port_ == 0; ++attempt) {
    const int video = Listen(0);
    if (video < 0) continue;
    const uint16_t port = PortOf(video);
    const int control = port < 65535 ? Listen(static_cast<uint16_t>(port + 1)) : -1;
    if (control < 0) {
      ::close(video);
      continue;
    }
    videoListener_ = video;
    controlListener_ = control;
    port_ = port;
  }
  if (port_ == 0) throw std::runtime_error("no free pair of loopback ports");
}

FakePeer::~FakePeer() {
  if (thread_.joinable()) thread_.join();
  for (int fd : fds_) ::close(fd);
  ::close(videoListener_);
  ::close(controlListener_);
}

void FakePeer::Run(Script script) {
  thread_ = std::thread([this, script = std::move(script)] { script(*this); });
}

int FakePeer::Accept(int listener) {
  if (!WaitReadable(listener, 5000)) return -1;
  const int fd = ::accept(listener, nullptr, nullptr);
  if (fd >= 0) fds_.push_back(fd);
  return fd;
}

int FakePeer::AcceptVideo() { return Accept(videoListener_); }
int FakePeer::AcceptControl() { return Accept(controlListener_); }

bool FakePeer::Read(int fd, PeerMessage* message, int timeoutMs) {
  uint8_t header[kHeaderSize];
  if (!ReadExactly(fd, header, kHeaderSize, timeoutMs)) return false;
  message->code = wire::U32(header);
  message->payload.resize(wire::U32(header + 4));
  return ReadExactly(fd, message->payload.data(), message->payload.size(), timeoutMs);
}

void FakePeer::WriteRaw(int fd, const std::vector<uint8_t>& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

void FakePeer::WriteHeader(int fd, uint32_t code, uint32_t length) {
  std::vector<uint8_t> header(kHeaderSize);
  wire::EncodeHeader(header.data(), code, length);
  WriteRaw(fd, header);
}

void FakePeer::Write(int fd, uint32_t code, const Payload& payload) {
  std::vector<uint8_t> bytes(kHeaderSize + payload.size());
  wire::EncodeHeader(bytes.data(), code, static_cast<uint32_t>(payload.size()));
  std::copy(payload.begin(), payload.end(), bytes.begin() + kHeaderSize);
  WriteRaw(fd, bytes);
}

bool FakePeer::WaitClosed(int fd, int timeoutMs) {
  uint8_t scratch[4096];
  for (;;) {
    if (!WaitReadable(fd, timeoutMs)) return false;
    const ssize_t r = ::recv(fd, scratch, sizeof scratch, 0);
    if (r == 0) return true;
    if (r < 0) return errno == ECONNRESET;
  }
}

void FakePeer::CloseFd(int fd) { ::shutdown(fd, SHUT_RDWR); }

void FakePeer::ResetFd(int fd) {
  const linger now{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
  ::close(fd);
  fds_.erase(std::remove(fds_.begin(), fds_.end(), fd), fds_.end());
}

ServerDescription FakePeer::Description() {
  ServerDescription d;
  d.accepted = 1;
  d.version = 5;
  d.cameraMask = 0xF;
  d.inputMask = 0xFFFF;
  d.outputMask = 0xFFF;
  d.cameraCount = 4;
  d.secondCount = 4;
  d.name = "Fake";
  return d;
}

bool FakePeer::LogIn(const ServerDescription& description) {
  PeerMessage m;
  videoFd_ = AcceptVideo();
  if (videoFd_ < 0 || !Read(videoFd_, &m) || m.code != video_out::kLogin) return false;
  Write(videoFd_, video_in::kLoginReply, BuildServerDescription(description));
  controlFd_ = AcceptControl();
  if (controlFd_ < 0 || !Read(controlFd_, &m) || m.code != control::kLogin) return false;
  Write(controlFd_, control::kLoginReply, BuildServerDescription(description));
  return true;
}

}  // namespace strixc::net::test
