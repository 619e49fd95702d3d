#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "net/messages.h"
#include "sim/frame_streamer.h"
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
// states), the requests that steer the pictures, the live pictures themselves, which its
// FrameStreamer makes on each of the server's ticks, and the remote playback of the server's
// archive, which its ArchiveService answers.
class ArchiveService;

class VideoSession : public SimSession {
  Q_OBJECT

 public:
  // A client that has not taken this many bytes yet misses ticks until it has caught up, so that a
  // slow client costs bounded memory. Nothing is sent for a missed tick, so the streamer's mirror
  // of the client stays exact.
  static constexpr qint64 kMaxUnsentBytes = 2 << 20;

  explicit VideoSession(SimServer* server);
  ~VideoSession() override;

  const VideoSessionState& State() const { return state_; }
  // The cameras this client wants live pictures of now: none until it has switched transmission on.
  uint32_t WantedCameras() const;
  // Sends this tick's frames, unless the client is not transmitting or has too much unsent.
  void StreamTick(const CameraFeeds& feeds);

 protected:
  bool OnRequest(uint32_t code, const uint8_t* payload, size_t length) override;

 private:
  void AnswerInfo(const net::InfoRequest& request);

  VideoSessionState state_;
  FrameStreamer streamer_;
  // The client's remote playback; none when the server has no archive.
  std::unique_ptr<ArchiveService> archive_;
};

}  // namespace strixc::sim
