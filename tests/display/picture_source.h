#pragma once

// A frame source of hand-made pictures for the display tests.

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "support/colours.h"
#include "video/frame_source.h"
#include "video/picture.h"

namespace strixc::test {

class PictureSource : public video::FrameSource {
 public:
  // Paints camera's picture pixel by pixel; (x, y) counted from the top left.
  void Paint(int camera, int width, int height, const std::function<Bgr(int x, int y)>& colour) {
    std::lock_guard<std::mutex> guard(slots_[camera].lock);
    Slot& s = slots_[camera];
    s.header = video::MakeHeader(width, height);
    s.bits.assign(s.header.biSizeImage, 0);
    const int stride = video::PictureStride(width);
    for (int y = 0; y < height; ++y) {
      uint8_t* row = s.bits.data() + static_cast<size_t>(height - 1 - y) * stride;
      for (int x = 0; x < width; ++x) {
        const Bgr c = colour(x, y);
        row[3 * x] = static_cast<uint8_t>(c.blue);
        row[3 * x + 1] = static_cast<uint8_t>(c.green);
        row[3 * x + 2] = static_cast<uint8_t>(c.red);
      }
    }
  }
  void Fill(int camera, int width, int height, Bgr colour) {
    Paint(camera, width, height, [colour](int, int) { return colour; });
  }
  void SetText(int camera, const char* text) { slots_[camera].text = text; }
  void SetTime(int camera, uint64_t time) { slots_[camera].time = time; }

  void LockFrame(int camera) override { slots_[camera].lock.lock(); }
  void UnlockFrame(int camera) override { slots_[camera].lock.unlock(); }
  const video::BitmapInfoHeader* GetFrameHeader(int camera) override { return &slots_[camera].header; }
  const uint8_t* GetFrameBits(int camera) override {
    return slots_[camera].bits.empty() ? nullptr : slots_[camera].bits.data();
  }
  uint64_t GetFrameTime(int camera) override { return slots_[camera].time; }
  const char* GetFrameText(int camera) override { return slots_[camera].text; }

 private:
  struct Slot {
    std::mutex lock;
    video::BitmapInfoHeader header;
    std::vector<uint8_t> bits;
    uint64_t time = 0;
    const char* text = nullptr;
  };
  std::array<Slot, 16> slots_;
};

}  // namespace strixc::test
