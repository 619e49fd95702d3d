// The JPEG codec over any stream: reading the size, decoding into a buffer of exactly the picture's
// size (so that any write beyond it shows), and encoding a decoded picture again, which must give a
// stream the codec decodes to a picture of the same size.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_check.h"
#include "video/jpeg_codec.h"

// Input: the JPEG stream; its last byte also gives the quality of the encoding.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using strixc::video::JpegCodec;
  static JpegCodec codec;
  // Larger pictures only cost time: the decoder code is the same.
  constexpr size_t kMaxPixels = 1 << 22;
  constexpr size_t kMaxEncodedPixels = 1 << 18;

  int width = 0;
  int height = 0;
  if (codec.ReadParameters(data, size, &width, &height) != 0) return 0;
  FUZZ_CHECK(width >= 1 && width <= JpegCodec::kMaxDimension && height >= 1 && height <= JpegCodec::kMaxDimension);
  const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
  if (pixels > kMaxPixels) return 0;

  std::vector<uint8_t> picture(JpegCodec::ImageSize(width, height));
  if (codec.Decode(data, size, picture.data(), width, height) != 0) return 0;
  // A size other than the stream's is refused.
  std::vector<uint8_t> wrong(JpegCodec::ImageSize(width + 1, height));
  FUZZ_CHECK(codec.Decode(data, size, wrong.data(), width + 1, height) != 0);
  if (pixels > kMaxEncodedPixels) return 0;

  std::vector<uint8_t> stream;
  const int quality = data[size - 1] % 101;
  const size_t length = codec.Encode(picture.data(), width, height, quality, stream);
  FUZZ_CHECK(length > 0 && length == stream.size());
  int w2 = 0;
  int h2 = 0;
  FUZZ_CHECK(codec.ReadParameters(stream.data(), stream.size(), &w2, &h2) == 0);
  FUZZ_CHECK(w2 == width && h2 == height);
  std::vector<uint8_t> again(JpegCodec::ImageSize(width, height));
  FUZZ_CHECK(codec.Decode(stream.data(), stream.size(), again.data(), width, height) == 0);
  return 0;
}
