#include "imaging/picture_view.h"

namespace strixc::imaging {

namespace {

bool Fits(const void* bits, int width, int height, int stride) {
  return bits != nullptr && SizeUsable(width, height) && stride >= kBytesPerPixel * width;
}

}  // namespace

bool SizeUsable(int width, int height) {
  return width >= 1 && height >= 1 && width <= kMaxDimension && height <= kMaxDimension;
}

bool Usable(const PictureView& view) {
  return Fits(view.bits, view.width, view.height, view.stride);
}

bool Usable(const PictureSpan& span) {
  return Fits(span.bits, span.width, span.height, span.stride);
}

}  // namespace strixc::imaging
