#include "imaging/dib.h"

namespace strixc::imaging {

namespace {

// Header fields by offset, little-endian whatever the host: the bytes may come from a file.
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
int32_t I32(const uint8_t* p) { return static_cast<int32_t>(U32(p)); }
uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

constexpr size_t kWidthOffset = 4;
constexpr size_t kHeightOffset = 8;
constexpr size_t kPlanesOffset = 12;
constexpr size_t kBitCountOffset = 14;
constexpr size_t kCompressionOffset = 16;
constexpr size_t kColoursUsedOffset = 32;
constexpr uint32_t kUncompressed = 0;  // BI_RGB

PackedDib Fail(const char* why) { return PackedDib{PictureView{}, why}; }

}  // namespace

PackedDib ReadPackedDib(const uint8_t* dib, size_t size) {
  if (dib == nullptr || size < kDibHeaderSize) return Fail("bitmap shorter than its header");
  const uint32_t headerSize = U32(dib);
  if (headerSize < kDibHeaderSize || headerSize > size) return Fail("bad bitmap header size");
  if (U16(dib + kPlanesOffset) != 1 || U16(dib + kBitCountOffset) != 24 ||
      U32(dib + kCompressionOffset) != kUncompressed) {
    return Fail("bitmap is not uncompressed 24-bit");
  }
  const int32_t width = I32(dib + kWidthOffset);
  const int32_t height = I32(dib + kHeightOffset);
  if (height < 0) return Fail("top-down bitmaps are not supported");
  if (width < 1 || height < 1 || width > kMaxDimension || height > kMaxDimension) {
    return Fail("bitmap size out of range");
  }
  // A 24-bit bitmap may carry an optional colour table (4 bytes an entry) before its pixels.
  // 64-bit arithmetic: the count comes straight from the bytes.
  const uint64_t pixelsAt = uint64_t{headerSize} + 4 * uint64_t{U32(dib + kColoursUsedOffset)};
  const uint64_t pixelBytes = PictureBytes(width, height);
  if (pixelsAt > size || size - pixelsAt < pixelBytes) return Fail("bitmap pixels beyond its end");
  return PackedDib{PictureView{dib + pixelsAt, width, height, RowStride(width)}, nullptr};
}

}  // namespace strixc::imaging
