#include "video/remote_playback_frame_buffer.h"

#include <algorithm>
#include <unordered_set>

namespace strixc::video {

namespace {

using Guard = std::lock_guard<std::mutex>;

// The sizes the decoders make; a header outside them did not come from a frame store.
constexpr int kMaxDimension = 8192;

bool DescribesPicture(const BitmapInfoHeader& h) {
  if (h.biWidth <= 0 || h.biHeight <= 0 || h.biWidth > kMaxDimension || h.biHeight > kMaxDimension)
    return false;
  return h.biBitCount == 24 && h.biSizeImage == MakeHeader(h.biWidth, h.biHeight).biSizeImage;
}

}  // namespace

RemotePlaybackFrameBuffer::RemotePlaybackFrameBuffer() = default;
RemotePlaybackFrameBuffer::~RemotePlaybackFrameBuffer() = default;

void RemotePlaybackFrameBuffer::Insert(int camera, const BitmapInfoHeader* header, const uint8_t* bits,
                                       uint64_t time, const char* text) {
  if (!Valid(camera)) return;
  // The copy is made before the lock: the display and the source wait for nothing but the filing.
  auto picture = std::make_shared<Picture>();
  if (header != nullptr && bits != nullptr && DescribesPicture(*header)) {
    picture->header = MakeHeader(header->biWidth, header->biHeight);
    picture->bits.assign(bits, bits + header->biSizeImage);
  }
  picture->time = time;
  picture->camera = camera;
  if (text != nullptr) picture->text = text;

  Guard guard(lock_);
  const auto at = std::lower_bound(cache_.begin(), cache_.end(), time,
                                   [](const PicturePtr& p, uint64_t t) { return p->time < t; });
  if (at != cache_.end() && (*at)->time == time) return;
  const size_t index = static_cast<size_t>(at - cache_.begin());
  cache_.insert(at, std::move(picture));
  if (cache_.size() <= kCacheSize) return;
  // Keep the end the answers are moving towards: a picture that landed among the newer ones means
  // playing forward, so the oldest goes; one among the older ones means backward, so the newest.
  if (index > cache_.size() / 2) {
    cache_.erase(cache_.begin());
  } else {
    cache_.pop_back();
  }
}

RemotePlaybackFrameBuffer::PicturePtr RemotePlaybackFrameBuffer::FindLocked(uint64_t time) const {
  const auto at = std::lower_bound(cache_.begin(), cache_.end(), time,
                                   [](const PicturePtr& p, uint64_t t) { return p->time < t; });
  return at != cache_.end() && (*at)->time == time ? *at : nullptr;
}

bool RemotePlaybackFrameBuffer::Enqueue(uint64_t time) {
  Guard guard(lock_);
  if (queue_.size() >= kMaxQueued) return false;
  if (time == 0) {
    queue_.push_back(Entry{});
    return true;
  }
  PicturePtr picture = FindLocked(time);
  if (!picture) return false;
  queue_.push_back(Entry{time, std::move(picture)});
  return true;
}

void RemotePlaybackFrameBuffer::ShowLocked(const Picture& picture) {
  Slot& slot = slots_[picture.camera];
  slot.header = picture.header;
  slot.bits.assign(picture.bits.begin(), picture.bits.end());
  slot.time = picture.time;
  slot.text = picture.text;
}

uint64_t RemotePlaybackFrameBuffer::LatestTimeLocked(uint32_t cameraMask) const {
  uint64_t latest = 0;
  for (int c = 0; c < kCameras; ++c) {
    if (cameraMask & (1u << c)) latest = std::max(latest, slots_[c].time);
  }
  return latest;
}

RemotePlaybackFrameBuffer::Taken RemotePlaybackFrameBuffer::TakeNext(uint32_t cameraMask) {
  Entry entry;
  Taken result;
  {
    Guard guard(lock_);
    if (queue_.empty()) return result;
    entry = std::move(queue_.front());
    queue_.pop_front();
    result.taken = true;
    if (entry.picture) {
      ShowLocked(*entry.picture);
      result.camera = entry.picture->camera;
      result.time = LatestTimeLocked(cameraMask);
    }
  }
  // The entry's reference goes here, outside the lock: freeing a picture the cache let go of
  // keeps nobody waiting.
  return result;
}

int RemotePlaybackFrameBuffer::BringCameraTo(uint64_t time) {
  Guard guard(lock_);
  const PicturePtr picture = FindLocked(time);
  if (!picture) return -1;
  ShowLocked(*picture);
  return picture->camera;
}

void RemotePlaybackFrameBuffer::ResetCamera(int camera) {
  if (!Valid(camera)) return;
  Guard guard(lock_);
  slots_[camera] = Slot{};
}

void RemotePlaybackFrameBuffer::ClearPending() {
  std::deque<Entry> queue;
  std::vector<PicturePtr> cache;
  {
    Guard guard(lock_);
    queue.swap(queue_);
    cache.swap(cache_);
  }
}

void RemotePlaybackFrameBuffer::Clear() {
  std::deque<Entry> queue;
  std::vector<PicturePtr> cache;
  Guard guard(lock_);
  queue.swap(queue_);
  cache.swap(cache_);
  for (Slot& slot : slots_) slot = Slot{};
}

size_t RemotePlaybackFrameBuffer::HasPictures() {
  Guard guard(lock_);
  return queue_.size();
}

uint64_t RemotePlaybackFrameBuffer::NextPictureTime() {
  Guard guard(lock_);
  return queue_.empty() ? 0 : queue_.front().time;
}

uint64_t RemotePlaybackFrameBuffer::LatestTime(uint32_t cameraMask) {
  Guard guard(lock_);
  return LatestTimeLocked(cameraMask);
}

size_t RemotePlaybackFrameBuffer::PictureCount() {
  Guard guard(lock_);
  std::unordered_set<const Picture*> alive;
  for (const PicturePtr& p : cache_) alive.insert(p.get());
  for (const Entry& e : queue_) {
    if (e.picture) alive.insert(e.picture.get());
  }
  return alive.size();
}

size_t RemotePlaybackFrameBuffer::CachedCount() {
  Guard guard(lock_);
  return cache_.size();
}

void RemotePlaybackFrameBuffer::LockFrame(int camera) {
  if (Valid(camera)) lock_.lock();
}

void RemotePlaybackFrameBuffer::UnlockFrame(int camera) {
  if (Valid(camera)) lock_.unlock();
}

const BitmapInfoHeader* RemotePlaybackFrameBuffer::GetFrameHeader(int camera) {
  return Valid(camera) ? &slots_[camera].header : nullptr;
}

const uint8_t* RemotePlaybackFrameBuffer::GetFrameBits(int camera) {
  if (!Valid(camera) || slots_[camera].bits.empty()) return nullptr;
  return slots_[camera].bits.data();
}

uint64_t RemotePlaybackFrameBuffer::GetFrameTime(int camera) {
  return Valid(camera) ? slots_[camera].time : 0;
}

const char* RemotePlaybackFrameBuffer::GetFrameText(int camera) {
  if (!Valid(camera) || slots_[camera].text.empty()) return nullptr;
  return slots_[camera].text.c_str();
}

}  // namespace strixc::video
