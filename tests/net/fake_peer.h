#pragma once

// A scripted server for the client's tests: plain blocking POSIX sockets on a thread of its own, so
// that it can misbehave in ways a real server would not (split headers, bad lengths, silence) and
// keep answering while the client blocks the test thread in a control request.

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "net/messages.h"

namespace strixc::net::test {

struct PeerMessage {
  uint32_t code = 0;
  std::vector<uint8_t> payload;
};

class FakePeer {
 public:
  using Script = std::function<void(FakePeer&)>;

  FakePeer();
  ~FakePeer();

  uint16_t Port() const { return port_; }
  // Runs the script on the peer's thread; the destructor waits for it.
  void Run(Script script);

  // Accept on the video (port) or control (port + 1) listener; -1 after 5 s.
  int AcceptVideo();
  int AcceptControl();
  // Reads one whole message; false on close, error or time-out.
  bool Read(int fd, PeerMessage* message, int timeoutMs = 5000);
  void Write(int fd, uint32_t code, const Payload& payload);
  void WriteHeader(int fd, uint32_t code, uint32_t length);
  void WriteRaw(int fd, const std::vector<uint8_t>& bytes);
  // True when the client closed fd within the time, reading and discarding what comes first.
  bool WaitClosed(int fd, int timeoutMs = 5000);
  void CloseFd(int fd);
  // Drops the connection with a reset: the client's next send on it fails.
  void ResetFd(int fd);

  // Both logins with the given description; returns false if the client did not log in properly.
  // The accepted sockets are left in VideoFd() and ControlFd().
  bool LogIn(const ServerDescription& description);
  int VideoFd() const { return videoFd_; }
  int ControlFd() const { return controlFd_; }

  // The default description: accepted, version 5, 4 cameras, 16 inputs, 12 outputs.
  static ServerDescription Description();

 private:
  int Accept(int listener);

  int videoListener_ = -1;
  int controlListener_ = -1;
  uint16_t port_ = 0;
  int videoFd_ = -1;
  int controlFd_ = -1;
  std::vector<int> fds_;
  std::thread thread_;
};

}  // namespace strixc::net::test
