#pragma once

#include <QHostAddress>
#include <QString>
#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "net/messages.h"
#include "net/text_codec.h"

namespace strixc::sim {

// One account the simulator accepts on both channels.
struct SimUser {
  std::string name;
  std::string password;
};

// Everything the simulated recording server is started with. A plain value: copy it freely. The
// defaults are those of `strixc-sim` without options.
struct SimConfig {
  static constexpr quint16 kDefaultPort = 9000;
  static constexpr int kMaxCameras = 16;
  static constexpr int kMaxPictureSide = 4096;
  static constexpr int kMinPictureSide = 16;
  static constexpr int kMaxFps = 100;
  static constexpr uint32_t kDefaultProtocolVersion = 5;

  QHostAddress listenAddress{QHostAddress::LocalHost};
  // The video channel's port; the control channel listens on the next one. 0 picks a free pair.
  quint16 videoPort = kDefaultPort;
  std::vector<SimUser> users{{"demo", "demo"}};
  int cameraCount = 16;  // 1..16
  // Picture size and rate of the simulated cameras.
  int cameraWidth = 352;
  int cameraHeight = 288;
  int fps = 10;
  // Names are UTF-8 here and go out in the code page `encoding`: at most 29 characters each
  // there. An empty camera name keeps the camera's default (DefaultCameraName).
  std::string serverName = "Strix Simulator";
  std::array<std::string, kMaxCameras> cameraNames;
  // The code page of every string on the wire (names, event texts, logins): a single-byte one.
  std::string encoding = net::TextCodec::kDefaultName;
  uint32_t domeMask = 0;                       // bit n: camera n is a dome
  // Sent in the login reply; any value, so that tests can offer versions a client must refuse.
  uint32_t protocolVersion = kDefaultProtocolVersion;
  // Every this many milliseconds one input changes state by itself; 0 keeps the inputs still.
  int inputPeriodMs = 3000;
  // Live pictures: a key frame every keyFrameIntervalMs per camera (0: only the first one and those
  // a client asks for); with `events`, an event frame every eventPeriodMs per camera.
  int keyFrameIntervalMs = 2000;
  bool events = false;
  int eventPeriodMs = 24000;
  // Cameras that stop sending for a while: from `delay` after the first client's video login (or
  // the server's start when a client is there already) for `duration`. A frozen camera sends
  // nothing; afterwards it starts again with a key frame.
  struct Freeze {
    int camera = 0;  // 0-based
    std::chrono::seconds duration{0};
    std::chrono::seconds delay{0};
  };
  std::vector<Freeze> freezes;
  // The server's own archive (see SimArchive): its folder (empty: the server has no archive), the
  // sizes its files are made with when the folder holds none, and the synthetic history written
  // into an archive without recordings at the start (0: none).
  QString archiveDir;
  uint64_t archiveSpace = 256ull << 20;
  uint64_t archiveFileSize = 32ull << 20;
  std::chrono::seconds history{0};
  // Record the cameras into the archive while the server runs.
  bool record = false;
  // Refuse every bookmark edit of the control channel.
  bool bookmarksReadOnly = false;
  // Log each archive request on standard error.
  bool verbose = false;

  quint16 ControlPort() const { return videoPort == 0 ? 0 : static_cast<quint16>(videoPort + 1); }

  // True when every field is within its range; otherwise false and one line in `error` that names
  // the field (never a password).
  bool Validate(QString* error) const;

  // True when the login (as received: code-page bytes) names a configured account with its
  // password.
  bool Accepts(const net::LoginRecord& login) const;

  // The codec of `encoding`; Windows-1252 when it names none (Validate refuses that).
  net::TextCodec Codec() const;
  // Camera `index`'s name (UTF-8): its entry of cameraNames, or the default.
  std::string CameraName(int index) const;
  // 16 short, distinct names; `index` must be 0..15.
  static std::string DefaultCameraName(int index);
};

}  // namespace strixc::sim
