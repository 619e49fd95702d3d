#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <vector>

#include "video/frame_decoder.h"
#include "video/frame_source.h"
#include "video/jpeg_codec.h"

namespace strixc::video {

// Sixteen camera slots, each with its own lock, decoder and codec instance: the pictures of one
// video stream (live or remote archive). The writing side runs on the network thread, the reading
// side (FrameSource) on whichever thread draws; the slot lock keeps a picture from being read
// half-written. Out-of-range camera numbers are ignored (getters return null or 0).
class FrameStore : public FrameSource {
 public:
  static constexpr int kCameras = 16;

  FrameStore();
  ~FrameStore() override;

  // Writing side: each takes the slot's lock around the decoder call.
  void Decode(int camera, const uint8_t* data, size_t length, int kind, uint64_t time);
  void ResetCamera(int camera);
  void SetMotionDetection(int camera, int sensitivity, const Rect& area);
  // Without the lock.
  bool HasMotion(int camera) const;

  // Encodes the camera's current picture as a quality-90 JPEG into `out`, sized to the stream.
  // False when the camera has no picture.
  bool EncodeJpeg(int camera, std::vector<uint8_t>& out);

  // FrameSource.
  void LockFrame(int camera) override;
  void UnlockFrame(int camera) override;
  const BitmapInfoHeader* GetFrameHeader(int camera) override;
  const uint8_t* GetFrameBits(int camera) override;
  uint64_t GetFrameTime(int camera) override;
  const char* GetFrameText(int camera) override;

 private:
  struct Slot {
    std::mutex lock;
    JpegCodec codec;
    FrameDecoder decoder{codec};
    // Guarded by lock: the decoder's picture header, rebuilt when its size changes.
    BitmapInfoHeader header = MakeHeader(0, 0);
  };
  static bool Valid(int camera) { return camera >= 0 && camera < kCameras; }
  static void RefreshHeader(Slot& slot);

  std::array<std::unique_ptr<Slot>, kCameras> slots_;
  std::mutex sharedLock_;
  JpegCodec shared_;  // guarded by sharedLock_
};

// The live cameras' pictures.
class LiveFrameStore : public FrameStore {};
// The remote archive's pictures, before they go to the remote playback frame buffer.
class PlaybackFrameStore : public FrameStore {};

}  // namespace strixc::video
