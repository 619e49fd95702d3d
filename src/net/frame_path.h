#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "net/video_channel_sinks.h"
#include "video/frame_store.h"

namespace strixc::net {

// Told that a live camera has a new picture in the live frame store (the display).
class LiveFrameObserver {
 public:
  virtual ~LiveFrameObserver() = default;
  virtual void OnFrame(int camera, bool marker) = 0;
};

// The local recorder, as the frame path sees it.
class FrameRecorder {
 public:
  virtual ~FrameRecorder() = default;
  virtual bool IsRecording() const = 0;
  // The compressed frame as received; the recorder stamps it with the local clock.
  virtual void RecordFrame(int camera, const uint8_t* data, size_t length, bool keyFrame) = 0;
};

// The remote playback frame buffer: decoded remote-archive pictures by time.
class RemoteFrameBuffer {
 public:
  virtual ~RemoteFrameBuffer() = default;
  // header and bits are null for a frame without a picture; text is null when there is none.
  virtual void Insert(int camera, const video::BitmapInfoHeader* header, const uint8_t* bits,
                      uint64_t time, const char* text) = 0;
};

// What happens to every received frame, on the network thread: a live frame is decoded into the
// live store, the display is told, and the recorder gets it once a key frame has been seen; a
// remote-archive frame is decoded into the playback store, its picture goes to the remote frame
// buffer and the whole frame to the remote playback source.
//
// The receivers may be set or replaced from any thread at any time; null ones are skipped. They
// must stay alive while set.
class FramePath : public FrameSink {
 public:
  FramePath(video::LiveFrameStore& live, video::PlaybackFrameStore& playback);

  void SetObserver(LiveFrameObserver* observer) { observer_.store(observer); }
  void SetRecorder(FrameRecorder* recorder) { recorder_.store(recorder); }
  void SetRemoteBuffer(RemoteFrameBuffer* buffer) { remoteBuffer_.store(buffer); }
  void SetRemoteSink(RemoteArchiveSink* sink) { remoteSink_.store(sink); }

  void OnFrame(const FrameView& frame, bool remote, bool& keyFrameSeen) override;

 private:
  void OnLiveFrame(const FrameView& frame, int kind, bool& keyFrameSeen);
  void OnRemoteArchiveFrame(const FrameView& frame, int kind);

  video::LiveFrameStore& live_;
  video::PlaybackFrameStore& playback_;
  std::atomic<LiveFrameObserver*> observer_{nullptr};
  std::atomic<FrameRecorder*> recorder_{nullptr};
  std::atomic<RemoteFrameBuffer*> remoteBuffer_{nullptr};
  std::atomic<RemoteArchiveSink*> remoteSink_{nullptr};
};

}  // namespace strixc::net
