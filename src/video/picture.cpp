#include "video/picture.h"

namespace strixc::video {

BitmapInfoHeader MakeHeader(int width, int height) {
  BitmapInfoHeader h;
  h.biWidth = width;
  h.biHeight = height;
  h.biSizeImage = static_cast<uint32_t>(PictureStride(width)) * static_cast<uint32_t>(height);
  return h;
}

void PictureBuffer::Resize(int width, int height) {
  if (width == header_.biWidth && height == header_.biHeight) return;
  header_ = MakeHeader(width, height);
  if (bytes_.size() < header_.biSizeImage) bytes_.resize(header_.biSizeImage);
  stride_ = PictureStride(width);
  blocksPerRow_ = width / 8;
  blockRows_ = height / 8;
}

uint8_t* PictureBuffer::BlockTop(int block) {
  return const_cast<uint8_t*>(static_cast<const PictureBuffer*>(this)->BlockTop(block));
}

const uint8_t* PictureBuffer::BlockTop(int block) const {
  return PixelTop(8 * (block % blocksPerRow_), 8 * (block / blocksPerRow_));
}

const uint8_t* PictureBuffer::PixelTop(int x, int y) const {
  // Rows are stored bottom-up: picture row y (from the top) is stored row height - 1 - y.
  return bytes_.data() + static_cast<size_t>(header_.biHeight - 1 - y) * stride_ + 3 * static_cast<size_t>(x);
}

}  // namespace strixc::video
