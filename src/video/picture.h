#pragma once

// The picture layout every camera picture has in memory (docs/pictures.md): 24-bit blue, green,
// red, rows padded to a multiple of 4 bytes and stored bottom-up, described by a standard 40-byte
// bitmap information header.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace strixc::video {

// The standard bitmap information header, laid out as in a bitmap file (40 bytes, little-endian).
#pragma pack(push, 1)
struct BitmapInfoHeader {
  uint32_t biSize = 40;
  int32_t biWidth = 0;
  int32_t biHeight = 0;  // positive: rows bottom-up
  uint16_t biPlanes = 1;
  uint16_t biBitCount = 24;
  uint32_t biCompression = 0;
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;
};
#pragma pack(pop)
static_assert(sizeof(BitmapInfoHeader) == 40);

// Bytes in one row of a picture `width` pixels wide, padding included.
inline int PictureStride(int width) { return (3 * width + 3) & ~3; }

// The header of a width x height picture in our layout (0 x 0: no picture).
BitmapInfoHeader MakeHeader(int width, int height);

// A rectangle with inclusive right and bottom, as the display and the motion area use them. Empty
// when right <= left or bottom <= top.
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool Empty() const { return right <= left || bottom <= top; }
  bool operator==(const Rect&) const = default;
};

// A picture in our layout whose bytes grow and are never shrunk, so that a stream of frames of one
// size allocates once.
class PictureBuffer {
 public:
  // Does nothing when the size is unchanged; otherwise rebuilds the header, grows the bytes when
  // too small and recomputes the block geometry. 0 x 0 is the empty picture.
  void Resize(int width, int height);

  int Width() const { return header_.biWidth; }
  int Height() const { return header_.biHeight; }
  int Stride() const { return stride_; }
  size_t ImageSize() const { return header_.biSizeImage; }
  bool Empty() const { return header_.biWidth == 0 || header_.biHeight == 0; }
  const BitmapInfoHeader& Header() const { return header_; }
  uint8_t* Bits() { return bytes_.data(); }
  const uint8_t* Bits() const { return bytes_.data(); }

  // 8 x 8 blocks: (width / 8) per row, (height / 8) rows, counted row by row from the top left.
  int BlocksPerRow() const { return blocksPerRow_; }
  int BlockRows() const { return blockRows_; }
  // -1 for a picture smaller than one block.
  int LastBlockIndex() const { return blocksPerRow_ * blockRows_ - 1; }
  // The first byte of the top row of block i (its 8 rows lie at decreasing addresses, Stride() apart).
  uint8_t* BlockTop(int block);
  const uint8_t* BlockTop(int block) const;
  // The first byte of the 8 x 8 block whose top-left pixel is (x, y) counted from the top left.
  const uint8_t* PixelTop(int x, int y) const;

 private:
  BitmapInfoHeader header_;
  std::vector<uint8_t> bytes_;
  int stride_ = 0;
  int blocksPerRow_ = 0;
  int blockRows_ = 0;
};

}  // namespace strixc::video
