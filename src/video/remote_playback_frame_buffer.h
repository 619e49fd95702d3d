#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "video/frame_source.h"
#include "video/picture.h"

namespace strixc::video {

// The pictures of a server's archive between the network thread, which decodes them faster or
// slower than they are to be shown, and the remote playback source, which shows them in time order.
//
// - The cache keeps the last pictures received by time: at most kCacheSize, one per time value.
// - The queue lists the times the source wants shown, in the order the answers named them, each
//   with its picture (or none: an end marker of time 0). A queued picture stays alive after the
//   cache let it go; each picture is freed when neither the cache nor a queue entry holds it.
// - Sixteen camera slots hold what is shown for each camera; the display reads them through
//   FrameSource while the remote source plays.
//
// One lock guards everything; every operation may be called from any thread. LockFrame takes that
// lock for the display's reads (LockFrame and UnlockFrame of a valid camera come in pairs): the
// caller must not call any other operation of the buffer in between. Camera numbers outside 0..15
// are ignored.
class RemotePlaybackFrameBuffer : public FrameSource {
 public:
  static constexpr int kCameras = 16;
  static constexpr size_t kCacheSize = 50;
  // The queue's limit: a server that keeps answering without the source taking anything fills
  // memory no further than this.
  static constexpr size_t kMaxQueued = 1024;

  // What TakeNext did.
  struct Taken {
    bool taken = false;  // false: the queue was empty
    uint64_t time = 0;   // the latest slot time of the mask's cameras; 0 for an end marker
    int camera = -1;     // the camera whose slot changed; -1 for an end marker
  };

  RemotePlaybackFrameBuffer();
  ~RemotePlaybackFrameBuffer() override;
  RemotePlaybackFrameBuffer(const RemotePlaybackFrameBuffer&) = delete;
  RemotePlaybackFrameBuffer& operator=(const RemotePlaybackFrameBuffer&) = delete;

  // Writing side (the network thread). Caches a copy of the picture at `time`: header and bits may
  // be null (no picture), `text` may be null (no event text). A time already cached keeps its
  // picture. A header that does not describe a picture in our layout (24-bit, positive size, the
  // bytes it claims) is stored as no picture. When the cache grows past kCacheSize it drops the
  // oldest picture if the new one went into its newer half, else the newest.
  void Insert(int camera, const BitmapInfoHeader* header, const uint8_t* bits, uint64_t time,
              const char* text);

  // Queues the cached picture at `time`; 0 queues an end marker. False when nothing was queued
  // (no picture at that time, or the queue is full).
  bool Enqueue(uint64_t time);
  // Takes the first queued entry into its camera's slot.
  Taken TakeNext(uint32_t cameraMask);
  // Copies the cached picture at `time` into its camera's slot; its camera, or -1 when none.
  int BringCameraTo(uint64_t time);
  // Empties one slot (time 0, no picture, no text).
  void ResetCamera(int camera);

  // Drops the queue and the cache; the slots keep what they show.
  void ClearPending();
  // Drops the queue and the cache and empties every slot.
  void Clear();

  // Queued entries.
  size_t HasPictures();
  // The time of the first queued entry; 0 when the queue is empty.
  uint64_t NextPictureTime();
  // The latest slot time of the cameras whose bit is set; 0 when none.
  uint64_t LatestTime(uint32_t cameraMask);
  // Pictures alive (held by the cache or a queue entry) and pictures cached.
  size_t PictureCount();
  size_t CachedCount();

  // FrameSource, on the slots.
  void LockFrame(int camera) override;
  void UnlockFrame(int camera) override;
  const BitmapInfoHeader* GetFrameHeader(int camera) override;
  const uint8_t* GetFrameBits(int camera) override;
  uint64_t GetFrameTime(int camera) override;
  const char* GetFrameText(int camera) override;

 private:
  struct Picture {
    BitmapInfoHeader header = MakeHeader(0, 0);
    std::vector<uint8_t> bits;
    uint64_t time = 0;
    int camera = 0;
    std::string text;
  };
  using PicturePtr = std::shared_ptr<const Picture>;
  struct Entry {
    uint64_t time = 0;
    PicturePtr picture;  // null for an end marker
  };
  struct Slot {
    BitmapInfoHeader header = MakeHeader(0, 0);
    std::vector<uint8_t> bits;
    uint64_t time = 0;
    std::string text;
  };

  static bool Valid(int camera) { return camera >= 0 && camera < kCameras; }
  // Callers hold lock_.
  PicturePtr FindLocked(uint64_t time) const;
  void ShowLocked(const Picture& picture);
  uint64_t LatestTimeLocked(uint32_t cameraMask) const;

  std::mutex lock_;
  // Guarded by lock_:
  std::vector<PicturePtr> cache_;  // sorted by time
  std::deque<Entry> queue_;
  std::array<Slot, kCameras> slots_;
};

}  // namespace strixc::video
