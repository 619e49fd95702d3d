#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace strixc::video {

// JPEG decoding and encoding between memory streams and our picture layout
// (see docs/pictures.md): 24-bit blue, green, red; each row padded with zero
// bytes to a multiple of 4; rows stored bottom-up, so the top row of the
// picture is the last row of the buffer.
//
// Not thread-safe: each owner keeps its own instance, and calls on one
// instance must never overlap. Different instances may be used on different
// threads at the same time.
//
// Every int-returning call gives 0 on success and non-zero on failure; after a
// failure LastError() says why.
class JpegCodec {
 public:
  // Largest width and height accepted from a stream or a caller. Anything
  // bigger is treated as a damaged header rather than a real camera picture.
  static constexpr int kMaxDimension = 8192;
  static constexpr int kBytesPerPixel = 3;

  JpegCodec();
  ~JpegCodec();

  JpegCodec(const JpegCodec&) = delete;
  JpegCodec& operator=(const JpegCodec&) = delete;

  // Bytes in one row of a picture `width` pixels wide, padding included.
  static int Stride(int width) { return (kBytesPerPixel * width + 3) & ~3; }
  // Bytes in a whole picture.
  static size_t ImageSize(int width, int height) {
    return static_cast<size_t>(Stride(width)) * static_cast<size_t>(height);
  }

  // Reads the picture size from the stream header in data[0, length). Fails
  // on empty, truncated or damaged headers (even damage libjpeg only warns
  // about), on sizes outside 1..kMaxDimension and on CMYK streams, which
  // Decode cannot turn into blue-green-red. *width and *height are written
  // only on success.
  int ReadParameters(const uint8_t* data, size_t length, int* width, int* height);

  // Decodes the whole stream into destination, which holds ImageSize(width,
  // height) bytes, width and height being what ReadParameters returned.
  // Colour and grayscale streams both come out as blue-green-red; row padding
  // is zeroed.
  //
  // Fails without touching destination when the arguments are bad, the header
  // is damaged or the stream's own size differs from width x height. Any
  // damage found after the header also fails, including what libjpeg only
  // warns about and could patch over (a stream cut short, stray bytes before
  // a marker): such a picture is dropped, not shown half grey. Those failures
  // happen while decoding, so destination may then hold part of a picture.
  int Decode(const uint8_t* data, size_t length, uint8_t* destination, int width, int height);

  // Encodes the picture (our layout, ImageSize(width, height) bytes) as a
  // baseline JPEG with three components (YCbCr, chroma halved horizontally).
  // quality is clamped to 1..100. On success destination holds exactly the
  // stream and its length is returned. On failure returns 0 and destination is
  // empty.
  //
  // destination is meant to be reused from call to call: it is first grown to
  // the worst-case stream size and then shrunk to the real length, so its
  // capacity settles after the first call for a given picture size and steady
  // use does not allocate.
  size_t Encode(const uint8_t* picture, int width, int height, int quality,
                std::vector<uint8_t>& destination);

  // Why the last failed call failed. Not cleared by successful calls. Valid
  // until the next call on this instance.
  const char* LastError() const { return lastError_.data(); }

 private:
  // Releases a TurboJPEG handle (tjhandle is a void pointer).
  struct HandleCloser {
    void operator()(void* handle) const;
  };
  using Handle = std::unique_ptr<void, HandleCloser>;

  // Reads and checks the stream header with the decompressor.
  int ReadHeader(const uint8_t* data, size_t length, int* width, int* height);
  bool EnsureDecompressor();
  void DropDecompressor();
  bool EnsureCompressor();
  void SetError(const char* text);
  void SetLibraryError(void* handle, const char* what);

  // Created on first use: most owners only ever decode or only ever encode.
  Handle decompressor_;
  Handle compressor_;
  // Fixed-size so that reporting a failure never allocates.
  std::array<char, 256> lastError_{};
};

}  // namespace strixc::video
