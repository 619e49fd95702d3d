#pragma once

#include "net/frame_path.h"
#include "video/remote_playback_frame_buffer.h"

namespace strixc::net {

// Lets the frame path file remote-archive pictures into the program's remote playback frame buffer
// (FramePath::SetRemoteBuffer). `buffer` must outlive the adapter; calls come on the network thread.
class RemoteFrameBufferAdapter : public RemoteFrameBuffer {
 public:
  explicit RemoteFrameBufferAdapter(video::RemotePlaybackFrameBuffer& buffer) : buffer_(buffer) {}

  void Insert(int camera, const video::BitmapInfoHeader* header, const uint8_t* bits, uint64_t time,
              const char* text) override {
    buffer_.Insert(camera, header, bits, time, text);
  }

 private:
  video::RemotePlaybackFrameBuffer& buffer_;
};

}  // namespace strixc::net
