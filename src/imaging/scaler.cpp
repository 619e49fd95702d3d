#include "imaging/scaler.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <cstring>

namespace strixc::imaging {

namespace {

int FilterFlags(ScaleFilter filter) {
  switch (filter) {
    case ScaleFilter::kBilinear:
      return SWS_BILINEAR;
    case ScaleFilter::kArea:
      return SWS_AREA;
    case ScaleFilter::kBicubic:
      break;
  }
  return SWS_BICUBIC;
}

// Rows from the top: swscale walks top-down, our pictures are stored bottom-up, so it gets the top
// row (last in memory) and a negative stride. Measured: exact colours and orientation, and no
// access outside the picture under AddressSanitizer.
const uint8_t* TopRow(const PictureView& v) {
  return v.bits + static_cast<ptrdiff_t>(v.height - 1) * v.stride;
}
uint8_t* TopRow(const PictureSpan& s) {
  return s.bits + static_cast<ptrdiff_t>(s.height - 1) * s.stride;
}

void ZeroPadding(const PictureSpan& s) {
  const int used = kBytesPerPixel * s.width;
  if (s.stride == used) return;
  for (int row = 0; row < s.height; ++row) {
    std::memset(s.bits + static_cast<ptrdiff_t>(row) * s.stride + used, 0, s.stride - used);
  }
}

}  // namespace

void Scaler::ContextFreer::operator()(SwsContext* context) const { sws_freeContext(context); }

Scaler::Scaler() = default;

Scaler::~Scaler() = default;

bool Scaler::Scale(const PictureView& source, const PictureSpan& destination, ScaleFilter filter) {
  if (!Usable(source)) {
    lastError_ = "source picture size out of range";
    return false;
  }
  if (!Usable(destination)) {
    lastError_ = "destination picture size out of range";
    return false;
  }

  if (source.width == destination.width && source.height == destination.height) {
    const size_t rowBytes = static_cast<size_t>(kBytesPerPixel) * source.width;
    for (int row = 0; row < source.height; ++row) {
      std::memcpy(destination.bits + static_cast<ptrdiff_t>(row) * destination.stride,
                  source.bits + static_cast<ptrdiff_t>(row) * source.stride, rowBytes);
    }
    ZeroPadding(destination);
    return true;
  }

  if (!EnsureContext(source.width, source.height, destination.width, destination.height, filter)) {
    return false;
  }
  const uint8_t* const sourcePlanes[4] = {TopRow(source), nullptr, nullptr, nullptr};
  const int sourceStrides[4] = {-source.stride, 0, 0, 0};
  uint8_t* const destinationPlanes[4] = {TopRow(destination), nullptr, nullptr, nullptr};
  const int destinationStrides[4] = {-destination.stride, 0, 0, 0};
  const int rows = sws_scale(context_.get(), sourcePlanes, sourceStrides, 0, source.height,
                             destinationPlanes, destinationStrides);
  if (rows != destination.height) {
    lastError_ = "picture scaling failed";
    return false;
  }
  // swscale writes 3 * width bytes a row and leaves the padding as it was.
  ZeroPadding(destination);
  return true;
}

bool Scaler::Scale(const PictureView& source, int width, int height, ScaleFilter filter,
                   std::vector<uint8_t>& destination) {
  if (!SizeUsable(width, height)) {
    lastError_ = "destination picture size out of range";
    return false;
  }
  if (!Usable(source)) {
    lastError_ = "source picture size out of range";
    return false;
  }
  // Everything that can be refused is refused before the vector is touched.
  const bool sameSize = source.width == width && source.height == height;
  if (!sameSize && !EnsureContext(source.width, source.height, width, height, filter)) return false;
  destination.resize(PictureBytes(width, height));
  return Scale(source, PictureSpan{destination.data(), width, height, RowStride(width)}, filter);
}

bool Scaler::EnsureContext(int sourceWidth, int sourceHeight, int width, int height,
                           ScaleFilter filter) {
  if (context_ && sourceWidth == sourceWidth_ && sourceHeight == sourceHeight_ && width == width_ &&
      height == height_ && filter == filter_) {
    return true;
  }
  context_.reset();
  // ACCURATE_RND: exact rounding rather than the fast approximation (a flat colour stays that
  // colour). FULL_CHR_H_*: should the library ever route through a chroma format, keep full
  // horizontal chroma rather than halving it.
  const int flags =
      FilterFlags(filter) | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP;
  context_.reset(sws_getContext(sourceWidth, sourceHeight, AV_PIX_FMT_BGR24, width, height,
                                AV_PIX_FMT_BGR24, flags, nullptr, nullptr, nullptr));
  if (!context_) {
    lastError_ = "the scaling library refused this geometry";
    return false;
  }
  sourceWidth_ = sourceWidth;
  sourceHeight_ = sourceHeight;
  width_ = width;
  height_ = height;
  filter_ = filter;
  return true;
}

}  // namespace strixc::imaging
