#include "sim/sim_config.h"

#include "net/protocol.h"

namespace strixc::sim {

namespace {

// Short, distinct and well under the 29 characters a name may have.
constexpr std::array<const char*, net::kCameraCount> kCameraNames = {
    "Entrance",   "Parking",    "Lobby",  "Reception",   "Warehouse", "Loading Dock",
    "Corridor A", "Corridor B", "Stairs", "Server Room", "Cash Desk", "Back Door",
    "Garden",     "Roof",       "Garage", "Gate"};

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

std::string SimConfig::DefaultCameraName(int index) { return kCameraNames.at(static_cast<size_t>(index)); }

std::string SimConfig::CameraName(int index) const {
  const std::string& name = cameraNames.at(static_cast<size_t>(index));
  return name.empty() ? DefaultCameraName(index) : name;
}

net::TextCodec SimConfig::Codec() const {
  const auto codec = net::TextCodec::Create(encoding);
  return codec ? *codec : net::TextCodec();
}

bool SimConfig::Validate(QString* error) const {
  std::string problem;
  const auto codec = net::TextCodec::Create(encoding, &problem);
  if (!codec) {
    if (error) *error = QStringLiteral("the text encoding: %1").arg(QString::fromStdString(problem));
    return false;
  }
  // Every name must fit its 29-character field once encoded.
  auto fits = [&](const std::string& text) { return codec->Encode(text).size() <= net::kNameLimit; };
  if (listenAddress.isNull()) return Fail(error, "the listen address is not an IP address");
  // The control channel needs the next port too.
  if (videoPort == 65535) return Fail(error, "the port must be 0..65534 (the control channel uses port + 1)");
  if (users.empty()) return Fail(error, "at least one user is needed");
  for (const SimUser& user : users) {
    // The login record carries at most 29 characters of each; a longer account could never log in.
    if (user.name.empty() || !fits(user.name))
      return Fail(error, "a user name must have 1..29 characters");
    if (!fits(user.password))
      return Fail(error, "a password must have at most 29 characters");
  }
  if (cameraCount < 1 || cameraCount > kMaxCameras) return Fail(error, "the camera count must be 1..16");
  if (cameraWidth < kMinPictureSide || cameraWidth > kMaxPictureSide || cameraHeight < kMinPictureSide ||
      cameraHeight > kMaxPictureSide)
    return Fail(error, "the picture size must be between 16x16 and 4096x4096");
  if (fps < 1 || fps > kMaxFps) return Fail(error, "the frame rate must be 1..100");
  if (keyFrameIntervalMs < 0) return Fail(error, "the key frame interval must not be negative");
  if (eventPeriodMs < 1) return Fail(error, "the event period must be at least 1 ms");
  if (!fits(serverName)) return Fail(error, "the server name must have at most 29 characters");
  for (const std::string& name : cameraNames) {
    if (!fits(name)) return Fail(error, "a camera name must have at most 29 characters");
  }
  if (domeMask > 0xFFFF) return Fail(error, "the dome mask must fit 16 cameras (0..0xFFFF)");
  if (inputPeriodMs < 0) return Fail(error, "the input period must not be negative");
  if (history.count() < 0) return Fail(error, "the history must not be negative");
  if (archiveDir.isEmpty() && (record || bookmarksReadOnly || history.count() > 0))
    return Fail(error, "recording, read-only bookmarks and a history need an archive folder");
  if (archiveFileSize < (1u << 20) || archiveSpace < archiveFileSize)
    return Fail(error, "the archive needs files of at least 1 MiB and room for one");
  for (const Freeze& f : freezes) {
    if (f.camera < 0 || f.camera >= kMaxCameras) return Fail(error, "a frozen camera must be 1..16");
    if (f.duration.count() < 1 || f.delay.count() < 0) return Fail(error, "a freeze must last at least 1 s");
  }
  return true;
}

bool SimConfig::Accepts(const net::LoginRecord& login) const {
  const net::TextCodec codec = Codec();
  for (const SimUser& user : users) {
    if (codec.Encode(user.name) == login.user && SameSecret(codec.Encode(user.password), login.password)) return true;
  }
  return false;
}

}  // namespace strixc::sim
