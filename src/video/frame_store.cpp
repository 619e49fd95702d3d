#include "video/frame_store.h"

namespace strixc::video {

namespace {
constexpr int kCopyQuality = 90;
}

FrameStore::FrameStore() {
  for (auto& slot : slots_) slot = std::make_unique<Slot>();
}

FrameStore::~FrameStore() = default;

void FrameStore::RefreshHeader(Slot& slot) {
  const PictureBuffer& picture = slot.decoder.Picture();
  if (slot.header.biWidth != picture.Width() || slot.header.biHeight != picture.Height())
    slot.header = MakeHeader(picture.Width(), picture.Height());
}

void FrameStore::Decode(int camera, const uint8_t* data, size_t length, int kind, uint64_t time) {
  if (!Valid(camera)) return;
  Slot& slot = *slots_[camera];
  std::lock_guard<std::mutex> guard(slot.lock);
  slot.decoder.Decode(data, length, kind, time);
  RefreshHeader(slot);
}

void FrameStore::ResetCamera(int camera) {
  if (!Valid(camera)) return;
  Slot& slot = *slots_[camera];
  std::lock_guard<std::mutex> guard(slot.lock);
  slot.decoder.Reset();
  RefreshHeader(slot);
}

void FrameStore::SetMotionDetection(int camera, int sensitivity, const Rect& area) {
  if (!Valid(camera)) return;
  Slot& slot = *slots_[camera];
  std::lock_guard<std::mutex> guard(slot.lock);
  slot.decoder.SetMotionDetection(sensitivity, area);
}

bool FrameStore::HasMotion(int camera) const {
  return Valid(camera) && slots_[camera]->decoder.HasMotion();
}

bool FrameStore::EncodeJpeg(int camera, std::vector<uint8_t>& out) {
  if (!Valid(camera)) return false;
  std::lock_guard<std::mutex> shared(sharedLock_);
  Slot& slot = *slots_[camera];
  std::lock_guard<std::mutex> guard(slot.lock);
  const PictureBuffer& picture = slot.decoder.Picture();
  if (picture.Empty()) return false;
  shared_.Encode(picture.Bits(), picture.Width(), picture.Height(), kCopyQuality, out);
  return true;
}

void FrameStore::LockFrame(int camera) {
  if (Valid(camera)) slots_[camera]->lock.lock();
}

void FrameStore::UnlockFrame(int camera) {
  if (Valid(camera)) slots_[camera]->lock.unlock();
}

const BitmapInfoHeader* FrameStore::GetFrameHeader(int camera) {
  return Valid(camera) ? &slots_[camera]->header : nullptr;
}

const uint8_t* FrameStore::GetFrameBits(int camera) {
  return Valid(camera) ? slots_[camera]->decoder.Picture().Bits() : nullptr;
}

uint64_t FrameStore::GetFrameTime(int camera) {
  return Valid(camera) ? slots_[camera]->decoder.Time() : 0;
}

const char* FrameStore::GetFrameText(int camera) {
  return Valid(camera) ? slots_[camera]->decoder.EventText() : nullptr;
}

}  // namespace strixc::video
