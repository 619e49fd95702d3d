#include "net/frame_path.h"

namespace strixc::net {

FramePath::FramePath(video::LiveFrameStore& live, video::PlaybackFrameStore& playback)
    : live_(live), playback_(playback) {}

void FramePath::OnFrame(const FrameView& frame, bool remote, bool& keyFrameSeen) {
  const int kind = static_cast<int>(KindOfFrame(frame.header.flags));
  if (remote) {
    OnRemoteArchiveFrame(frame, kind);
  } else {
    OnLiveFrame(frame, kind, keyFrameSeen);
  }
}

void FramePath::OnLiveFrame(const FrameView& frame, int kind, bool& keyFrameSeen) {
  const int camera = frame.header.camera;
  if (camera >= kCameraCount) return;
  live_.Decode(camera, frame.data, frame.header.dataLength, kind, frame.header.time);
  // The store's slot lock is released by now: the display may lock it to draw.
  if (LiveFrameObserver* observer = observer_.load())
    observer->OnFrame(camera, (frame.header.flags & frame_flag::kMarker) != 0);

  FrameRecorder* recorder = recorder_.load();
  if (!recorder || !recorder->IsRecording()) {
    keyFrameSeen = false;
    return;
  }
  const bool key = kind == static_cast<int>(FrameKind::kKey);
  if (key) keyFrameSeen = true;
  if (keyFrameSeen) recorder->RecordFrame(camera, frame.data, frame.header.dataLength, key);
}

void FramePath::OnRemoteArchiveFrame(const FrameView& frame, int kind) {
  const int camera = frame.header.camera;
  if (camera < kCameraCount && !(frame.header.flags & frame_flag::kNoPicture)) {
    const uint8_t* data = frame.data;
    size_t length = frame.header.dataLength;
    // A remote event carries only its text; the store expects the event record around it.
    std::array<uint8_t, kEventRecordSize> record;
    if (kind == static_cast<int>(FrameKind::kEvent)) {
      record = BuildRemoteEventRecord(data, length);
      data = record.data();
      length = record.size();
    }
    playback_.Decode(camera, data, length, kind, frame.header.time);
    RemoteFrameBuffer* buffer = remoteBuffer_.load();
    if (buffer && frame.header.time != 0) {
      playback_.LockFrame(camera);
      const video::BitmapInfoHeader* header = playback_.GetFrameHeader(camera);
      const bool picture = header->biWidth != 0 && header->biHeight != 0;
      buffer->Insert(camera, picture ? header : nullptr, picture ? playback_.GetFrameBits(camera) : nullptr,
                     playback_.GetFrameTime(camera), playback_.GetFrameText(camera));
      playback_.UnlockFrame(camera);
    }
  }
  if (RemoteArchiveSink* sink = remoteSink_.load()) sink->OnRemoteFrame(frame);
}

}  // namespace strixc::net
