#include "video/jpeg_codec.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace strixc::video {

namespace {

// Floor for the encode buffer: for small pictures it saves the reused vector
// from growing in small steps as picture sizes change.
constexpr size_t kMinEncodeBuffer = 10000;
constexpr int kMinQuality = 1;
constexpr int kMaxQuality = 100;

// TurboJPEG counts in unsigned long; say so once.
unsigned long StreamLength(size_t length) { return static_cast<unsigned long>(length); }

bool SizeInRange(int width, int height) {
  return width > 0 && height > 0 && width <= JpegCodec::kMaxDimension &&
         height <= JpegCodec::kMaxDimension;
}

}  // namespace

void JpegCodec::HandleCloser::operator()(void* handle) const { tjDestroy(handle); }

JpegCodec::JpegCodec() = default;

JpegCodec::~JpegCodec() = default;

int JpegCodec::ReadParameters(const uint8_t* data, size_t length, int* width, int* height) {
  if (width == nullptr || height == nullptr) {
    SetError("no place for the picture size");
    return -1;
  }
  int streamWidth = 0;
  int streamHeight = 0;
  if (ReadHeader(data, length, &streamWidth, &streamHeight) != 0) return -1;
  *width = streamWidth;
  *height = streamHeight;
  return 0;
}

int JpegCodec::Decode(const uint8_t* data, size_t length, uint8_t* destination, int width,
                      int height) {
  if (destination == nullptr) {
    SetError("no destination picture");
    return -1;
  }
  if (!SizeInRange(width, height)) {
    SetError("destination picture size out of range");
    return -1;
  }
  // Everything that can be checked without writing is checked here, so that
  // a stream meant for another picture size never touches destination.
  int streamWidth = 0;
  int streamHeight = 0;
  if (ReadHeader(data, length, &streamWidth, &streamHeight) != 0) return -1;
  if (streamWidth != width || streamHeight != height) {
    std::snprintf(lastError_.data(), lastError_.size(),
                  "stream picture is %dx%d, destination is %dx%d", streamWidth, streamHeight, width,
                  height);
    return -1;
  }

  const int stride = Stride(width);
  // Any damage the library notices fails the call, even damage libjpeg could
  // paper over (a stream cut short, stray bytes before a marker). We cannot
  // tell a recovered picture from an abandoned one: the flag behind
  // TJERR_WARNING stays set when a fatal error follows a warning, and a
  // stream cut inside a scan header gets exactly that, with nothing written.
  // TJFLAG_STOPONWARNING ends such calls at the first warning.
  // TJFLAG_LIMITSCANS: pictures come from the network, and a progressive
  // stream with thousands of tiny scans would keep the decoder busy for
  // seconds.
  if (tjDecompress2(decompressor_.get(), data, StreamLength(length), destination, width, stride,
                    height, TJPF_BGR,
                    TJFLAG_BOTTOMUP | TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS) != 0) {
    SetLibraryError(decompressor_.get(), "JPEG decoding failed");
    return -1;
  }

  // The library writes 3 * width bytes per row and leaves the padding alone.
  const int used = kBytesPerPixel * width;
  if (stride > used) {
    for (int row = 0; row < height; ++row) {
      std::memset(destination + static_cast<size_t>(row) * stride + used, 0, stride - used);
    }
  }
  return 0;
}

size_t JpegCodec::Encode(const uint8_t* picture, int width, int height, int quality,
                         std::vector<uint8_t>& destination) {
  if (picture == nullptr) {
    SetError("no source picture");
    destination.clear();
    return 0;
  }
  if (!SizeInRange(width, height)) {
    SetError("source picture size out of range");
    destination.clear();
    return 0;
  }
  if (!EnsureCompressor()) {
    destination.clear();
    return 0;
  }

  const unsigned long worstCase = tjBufSize(width, height, TJSAMP_422);
  if (worstCase == static_cast<unsigned long>(-1)) {
    SetLibraryError(nullptr, "cannot size the JPEG buffer");
    destination.clear();
    return 0;
  }
  // With TJFLAG_NOREALLOC the library assumes a buffer of tjBufSize() bytes
  // whatever size we pass, so the buffer must never be smaller than that.
  const size_t needed =
      std::max({ImageSize(width, height), kMinEncodeBuffer, static_cast<size_t>(worstCase)});
  destination.resize(needed);

  unsigned char* buffer = destination.data();
  unsigned long encoded = StreamLength(destination.size());
  const int clamped = std::clamp(quality, kMinQuality, kMaxQuality);
  // TurboJPEG 2.1 also reads TJ_PROGRESSIVE, TJ_ARITHMETIC, TJ_RESTART and
  // TJ_OPTIMIZE from the environment; the first two would make the stream
  // non-baseline, and the API has no flag to refuse them.
  if (tjCompress2(compressor_.get(), picture, width, Stride(width), height, TJPF_BGR, &buffer,
                  &encoded, TJSAMP_422, clamped, TJFLAG_NOREALLOC | TJFLAG_BOTTOMUP) != 0) {
    SetLibraryError(compressor_.get(), "JPEG encoding failed");
    destination.clear();
    return 0;
  }
  // Shrinking keeps the capacity, so the next call of the same size reuses it.
  destination.resize(encoded);
  return encoded;
}

int JpegCodec::ReadHeader(const uint8_t* data, size_t length, int* width, int* height) {
  if (data == nullptr || length == 0) {
    SetError("empty JPEG stream");
    return -1;
  }
  if (!EnsureDecompressor()) return -1;

  // The outputs start out invalid on purpose: when the stream ends before the
  // frame header, libjpeg takes it for a tables-only stream and TurboJPEG
  // returns success without writing them.
  int streamWidth = 0;
  int streamHeight = 0;
  int subsampling = -1;
  int colorspace = -1;
  if (tjDecompressHeader3(decompressor_.get(), data, StreamLength(length), &streamWidth,
                          &streamHeight, &subsampling, &colorspace) != 0) {
    SetLibraryError(decompressor_.get(), "bad JPEG header");
    DropDecompressor();
    return -1;
  }
  if (streamWidth <= 0 || streamHeight <= 0) {
    SetError("no picture in JPEG stream");
    return -1;
  }
  if (!SizeInRange(streamWidth, streamHeight)) {
    std::snprintf(lastError_.data(), lastError_.size(), "JPEG picture %dx%d larger than %dx%d",
                  streamWidth, streamHeight, kMaxDimension, kMaxDimension);
    return -1;
  }
  // CMYK and YCCK have no conversion to blue-green-red in the library.
  if (colorspace != TJCS_YCbCr && colorspace != TJCS_GRAY && colorspace != TJCS_RGB) {
    SetError("unsupported JPEG colour space");
    return -1;
  }
  *width = streamWidth;
  *height = streamHeight;
  return 0;
}

bool JpegCodec::EnsureDecompressor() {
  if (decompressor_) return true;
  decompressor_.reset(tjInitDecompress());
  if (!decompressor_) SetLibraryError(nullptr, "cannot create JPEG decoder");
  return static_cast<bool>(decompressor_);
}

void JpegCodec::DropDecompressor() {
  // After a failed header TurboJPEG leaves the decoder in the middle of that
  // header, and the next stream given to the handle is read as its
  // continuation: a stream cut just after a marker made every later header
  // fail with "Bogus DQT index". A fresh handle is the only reset the API
  // offers; it costs one allocation, on damaged input only.
  decompressor_.reset();
}

bool JpegCodec::EnsureCompressor() {
  if (compressor_) return true;
  compressor_.reset(tjInitCompress());
  if (!compressor_) SetLibraryError(nullptr, "cannot create JPEG encoder");
  return static_cast<bool>(compressor_);
}

void JpegCodec::SetError(const char* text) {
  std::snprintf(lastError_.data(), lastError_.size(), "%s", text);
}

void JpegCodec::SetLibraryError(void* handle, const char* what) {
  // Copied at once: libjpeg's own messages live in a buffer shared by every
  // handle on this thread, so it would not survive another codec's call.
  std::snprintf(lastError_.data(), lastError_.size(), "%s: %s", what, tjGetErrorStr2(handle));
}

}  // namespace strixc::video
