#pragma once

// Packed device-independent bitmaps: a bitmap information header (40 bytes or a longer later
// version) immediately followed by the pixel rows, as the clipboard and the snapshot code pass
// them around.

#include <cstddef>
#include <cstdint>

#include "imaging/picture_view.h"

namespace strixc::imaging {

constexpr size_t kDibHeaderSize = 40;

// What ReadPackedDib found: on success `error` is null and `view` points into the caller's bytes;
// on failure `error` says why (a static text) and `view` is empty.
struct PackedDib {
  PictureView view;
  const char* error = nullptr;
  bool Ok() const { return error == nullptr; }
};

// Checks the header in dib[0, size) and locates the pixels. Accepts only what our pictures are:
// uncompressed, 24 bits, one plane, bottom-up (positive height), 1..kMaxDimension pixels each way,
// with every row inside `size`. Never reads outside dib[0, size).
PackedDib ReadPackedDib(const uint8_t* dib, size_t size);

}  // namespace strixc::imaging
