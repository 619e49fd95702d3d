#include "sim/frame_streamer.h"

#include <algorithm>
#include <cmath>

#include "sim/video_session.h"

namespace strixc::sim {

FrameStreamer::FrameStreamer(int fps, int keyFrameIntervalMs)
    : keyInterval_(keyFrameIntervalMs <= 0
                       ? 0
                       : std::max(1, static_cast<int>(std::lround(keyFrameIntervalMs * std::max(fps, 1) / 1000.0)))) {}

void FrameStreamer::Reset() { Forget(~0u); }

void FrameStreamer::Forget(uint32_t mask) {
  for (int c = 0; c < net::kCameraCount; ++c) {
    if ((mask >> c) & 1) cameras_[static_cast<size_t>(c)] = CameraStream{};
  }
}

void FrameStreamer::OnTick(const CameraFeeds& feeds, VideoSessionState& state, const Sender& send) {
  const uint32_t cameras = state.visibleMask & feeds.RenderedMask();
  const uint32_t keyRequests = state.keyFrameMask;
  state.keyFrameMask = 0;
  const int keyQuality =
      state.quality ? static_cast<int>(std::min<uint32_t>(state.quality->key, 100)) : kDefaultQuality;
  const int deltaQuality =
      state.quality ? static_cast<int>(std::min<uint32_t>(state.quality->delta, 100)) : kDefaultQuality;

  for (int c = 0; c < net::kCameraCount; ++c) {
    CameraStream& stream = cameras_[static_cast<size_t>(c)];
    if (!((cameras >> c) & 1)) {
      stream = CameraStream{};
      continue;
    }
    const bool first = !stream.encoder;
    if (first) stream.encoder = std::make_unique<DeltaEncoder>(codec_);
    bool key = first || ((keyRequests >> c) & 1) || (keyInterval_ > 0 && --stream.ticksToKey <= 0);
    if (!feeds.EventText(c).empty()) {
      SendEvent(c, feeds, stream, send);
      // The client shows no picture after an event frame until the next key frame.
      key = true;
    }

    const net::FrameKind kind =
        stream.encoder->Encode(feeds.Picture(c), key, keyQuality, deltaQuality, feeds.Time(), data_);
    if (kind == net::FrameKind::kNone) continue;
    if (kind == net::FrameKind::kKey && keyInterval_ > 0) {
      // After a camera's first key frame its period is shifted by c sixteenths, so that cameras
      // switched on together spread their key frames over the period.
      stream.ticksToKey = keyInterval_ + (first ? keyInterval_ * c / net::kCameraCount : 0);
    }
    net::FrameHeader header;
    header.time = feeds.Time();
    header.camera = static_cast<uint8_t>(c);
    header.flags = static_cast<uint16_t>(
        net::frame_flag::kLive | (kind == net::FrameKind::kKey ? net::frame_flag::kKey : net::frame_flag::kDelta) |
        (feeds.Moving(c) ? net::frame_flag::kMarker : 0));
    send(net::BuildFrame(header, data_.data(), data_.size()));
  }
}

void FrameStreamer::SendEvent(int camera, const CameraFeeds& feeds, CameraStream& stream, const Sender& send) {
  const std::string& text = feeds.EventText(camera);
  data_.assign(4 + text.size() + 1, 0);
  data_[0] = static_cast<uint8_t>(kEventFlag);
  std::copy(text.begin(), text.end(), data_.begin() + 4);
  stream.encoder->AddEvent(data_.data(), data_.size(), feeds.Time());
  net::FrameHeader header;
  header.time = feeds.Time();
  header.camera = static_cast<uint8_t>(camera);
  header.flags = net::frame_flag::kLive | net::frame_flag::kEvent;
  send(net::BuildFrame(header, data_.data(), data_.size()));
}

}  // namespace strixc::sim
