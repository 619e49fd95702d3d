// One camera's stream of key, delta and event frames decoded over a running picture, with motion
// detection on or off. Whatever the frames hold, the picture stays a well-formed picture of at most
// kMaxDimension in each direction, and every byte of it can be read.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_check.h"
#include "video/frame_decoder.h"
#include "video/jpeg_codec.h"
#include "video/picture.h"

namespace {

using strixc::video::FrameDecoder;

void CheckPicture(const FrameDecoder& decoder) {
  const auto& picture = decoder.Picture();
  FUZZ_CHECK(decoder.Width() >= 0 && decoder.Height() >= 0);
  FUZZ_CHECK(decoder.Width() <= FrameDecoder::kMaxDimension && decoder.Height() <= FrameDecoder::kMaxDimension);
  if (picture.Empty()) return;
  FUZZ_CHECK(picture.ImageSize() ==
             static_cast<size_t>(strixc::video::PictureStride(decoder.Width())) * decoder.Height());
  // Touch the first and the last byte: AddressSanitizer checks that the picture really is that big.
  volatile uint8_t sink = picture.Bits()[0];
  sink = picture.Bits()[picture.ImageSize() - 1];
  (void)sink;
  if (const char* text = decoder.EventText()) FUZZ_CHECK(std::strlen(text) < 1u << 20);
}

}  // namespace

// Input: motion sensitivity (u8) and area (four u16 in frame units), then frames, each a kind byte
// (low two bits: none, key, delta, event), a u32 length and that many bytes (cut at the input's
// end).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static strixc::video::JpegCodec codec;
  strixc::fuzz::InputReader in(data, size);
  FrameDecoder decoder(codec);
  const int sensitivity = static_cast<int>(in.Number(1) % 101);
  strixc::video::Rect area;
  area.left = static_cast<int>(in.Number(2));
  area.top = static_cast<int>(in.Number(2));
  area.right = static_cast<int>(in.Number(2));
  area.bottom = static_cast<int>(in.Number(2));
  decoder.SetMotionDetection(sensitivity, area);

  uint64_t time = 1;
  while (in.Left() > 0) {
    const int kind = static_cast<int>(in.Number(1) & 3);
    size_t length = 0;
    const uint8_t* frame = in.Bytes(in.Number(4), &length);
    decoder.Decode(frame, length, kind, time);
    FUZZ_CHECK(decoder.Time() == time);
    CheckPicture(decoder);
    if (kind == strixc::video::frame_kind::kEvent) FUZZ_CHECK(decoder.Picture().Empty());
    ++time;
  }
  decoder.Reset();
  FUZZ_CHECK(decoder.Picture().Empty() && decoder.Time() == 0 && !decoder.HasMotion());
  return 0;
}
