#include "sim/sim_config.h"

#include "net/protocol.h"

namespace strixc::sim {

namespace {

bool Fail(QString* error, const char* text) {
  if (error) *error = QString::fromUtf8(text);
  return false;
}

// Constant time in the password's content, so that a wrong guess says nothing about how close it was.
bool SameSecret(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

}  // namespace

bool SimConfig::Validate(QString* error) const {
  if (listenAddress.isNull()) return Fail(error, "the listen address is not an IP address");
  // The control channel needs the next port too.
  if (videoPort == 65535) return Fail(error, "the port must be 0..65534 (the control channel uses port + 1)");
  if (users.empty()) return Fail(error, "at least one user is needed");
  for (const SimUser& user : users) {
    // The login record carries at most 29 characters of each; a longer account could never log in.
    if (user.name.empty() || user.name.size() > net::kNameLimit)
      return Fail(error, "a user name must have 1..29 characters");
    if (user.password.size() > net::kNameLimit)
      return Fail(error, "a password must have at most 29 characters");
  }
  if (cameraCount < 1 || cameraCount > kMaxCameras) return Fail(error, "the camera count must be 1..16");
  if (cameraWidth < kMinPictureSide || cameraWidth > kMaxPictureSide || cameraHeight < kMinPictureSide ||
      cameraHeight > kMaxPictureSide)
    return Fail(error, "the picture size must be between 16x16 and 4096x4096");
  if (fps < 1 || fps > kMaxFps) return Fail(error, "the frame rate must be 1..100");
  if (keyFrameIntervalMs < 0) return Fail(error, "the key frame interval must not be negative");
  if (eventPeriodMs < 1) return Fail(error, "the event period must be at least 1 ms");
  if (serverName.size() > net::kNameLimit) return Fail(error, "the server name must have at most 29 bytes");
  if (domeMask > 0xFFFF) return Fail(error, "the dome mask must fit 16 cameras (0..0xFFFF)");
  if (inputPeriodMs < 0) return Fail(error, "the input period must not be negative");
  if (history.count() < 0) return Fail(error, "the history must not be negative");
  return true;
}

bool SimConfig::Accepts(const net::LoginRecord& login) const {
  for (const SimUser& user : users) {
    if (user.name == login.user && SameSecret(user.password, login.password)) return true;
  }
  return false;
}

}  // namespace strixc::sim
