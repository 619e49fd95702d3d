#pragma once

#include <cstdint>
#include <optional>

#include "net/messages.h"
#include "sim/sim_session.h"

namespace strixc::sim {

// What a client asked for on its video channel, kept for the frame streamer: whether it wants live
// pictures at all, of which cameras, at which quality, which cameras need a key frame next, and its
// remote playback requests.
struct VideoSessionState {
  bool transmit = false;
  std::optional<net::Quality> quality;
  uint32_t visibleMask = 0;
  // Cameras whose next picture must be a key frame; the streamer clears the bits it has served.
  uint32_t keyFrameMask = 0;
  bool archiveOpen = false;
  std::optional<net::PlaybackRequestRecord> playback;
  // The last PlaybackControl: its leading byte and its time.
  uint8_t playbackControlOp = 0;
  std::optional<uint64_t> playbackControlTime;
};

// One client's video channel: the login, the information requests (cameras, inputs, outputs, their
// states) and the requests that steer the pictures. Sends no pictures yet: a per-client frame
// streamer will read State() and send through this session.
class VideoSession : public SimSession {
  Q_OBJECT

 public:
  explicit VideoSession(SimServer* server);

  const VideoSessionState& State() const { return state_; }

 protected:
  bool OnRequest(uint32_t code, const uint8_t* payload, size_t length) override;

 private:
  void AnswerInfo(const net::InfoRequest& request);

  VideoSessionState state_;
};

}  // namespace strixc::sim
