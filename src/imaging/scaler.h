#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/picture_view.h"

struct SwsContext;

namespace strixc::imaging {

enum class ScaleFilter {
  kBilinear,
  kBicubic,
  kArea,  // averaging; the choice for shrinking
};

// Resizes pictures in our layout (24-bit blue-green-red, padded rows, bottom-up) with libswscale.
//
// The scaling context is kept between calls and rebuilt only when the source size, destination
// size or filter change, so a stream of pictures of one geometry sets it up once.
//
// Not thread-safe: one instance per thread; calls on one instance must not overlap.
class Scaler {
 public:
  Scaler();
  ~Scaler();
  Scaler(const Scaler&) = delete;
  Scaler& operator=(const Scaler&) = delete;

  // Scales `source` onto the whole of `destination`; its row padding comes out zeroed. Equal sizes
  // copy the rows exactly. The two must not overlap. Fails, with destination untouched, when
  // either geometry is not Usable or the library refuses it (e.g. a 1-pixel source blown up
  // several thousand times).
  bool Scale(const PictureView& source, const PictureSpan& destination, ScaleFilter filter);

  // Scales into `destination`, resized to PictureBytes(width, height) (capacity is kept, so a
  // reused vector settles after the first call). Left as it was when the sizes or the geometry
  // are refused.
  bool Scale(const PictureView& source, int width, int height, ScaleFilter filter,
             std::vector<uint8_t>& destination);

  // Why the last failed call failed (a static text). Not cleared by successful calls.
  const char* LastError() const { return lastError_; }

 private:
  struct ContextFreer {
    void operator()(SwsContext* context) const;
  };

  bool EnsureContext(int sourceWidth, int sourceHeight, int width, int height, ScaleFilter filter);

  std::unique_ptr<SwsContext, ContextFreer> context_;
  // The geometry context_ was made for.
  int sourceWidth_ = 0;
  int sourceHeight_ = 0;
  int width_ = 0;
  int height_ = 0;
  ScaleFilter filter_ = ScaleFilter::kBicubic;
  const char* lastError_ = "";
};

}  // namespace strixc::imaging
