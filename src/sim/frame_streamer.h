#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "net/messages.h"
#include "net/protocol.h"
#include "sim/camera_feeds.h"
#include "sim/delta_encoder.h"
#include "video/jpeg_codec.h"

namespace strixc::sim {

struct VideoSessionState;

// The live pictures of one client: on every tick, one frame for each camera it has asked to see,
// made from the pictures the server rendered for the tick.
//
// - A camera's first frame is a key frame; so is its frame after a KeyFrameRequest, after an event
//   frame, and every keyFrameIntervalMs (the cameras staggered, so that their key frames do not
//   all fall on one tick). The other frames are deltas against what this client has (see
//   DeltaEncoder).
// - Flags: live always, plus key, delta or event, plus the marker while something moves.
// - A camera that leaves the visible set is forgotten: when it comes back, it starts with a key
//   frame again.
//
// Lives on the server's thread, inside its video session; not thread-safe.
class FrameStreamer {
 public:
  static constexpr int kDefaultQuality = 25;
  // The event flag word at the start of an event frame's data.
  static constexpr uint32_t kEventFlag = 1;

  // Called with the payload of each Frame message, in order.
  using Sender = std::function<void(const net::Payload& frame)>;

  // `fps` and `keyFrameIntervalMs` as in SimConfig.
  FrameStreamer(int fps, int keyFrameIntervalMs);

  // Sends this tick's frames: for the cameras both visible to the client and rendered in `feeds`.
  // Serves and clears the client's pending key frame requests.
  void OnTick(const CameraFeeds& feeds, VideoSessionState& state, const Sender& send);
  // Forgets every camera (transmission switched off): each starts with a key frame again.
  void Reset();
  // Forgets the cameras of `mask` (they left the visible set): each starts with a key frame again.
  void Forget(uint32_t mask);

 private:
  struct CameraStream {
    std::unique_ptr<DeltaEncoder> encoder;
    int ticksToKey = 0;
  };
  void SendEvent(int camera, const CameraFeeds& feeds, CameraStream& stream, const Sender& send);

  const int keyInterval_;  // ticks; 0: no periodic key frames
  // Shared by the encoders (encoding and their mirrors), one call at a time.
  video::JpegCodec codec_;
  std::array<CameraStream, net::kCameraCount> cameras_;
  std::vector<uint8_t> data_;
};

}  // namespace strixc::sim
