#pragma once

// Cutting part of a camera's picture out as a packed bitmap (header and rows), for snapshots and
// the clipboard. Areas are given in frame units: 0..10000 across the width and the height of
// whatever picture the camera has, so that one area fits every picture size.

#include <cstdint>
#include <vector>

#include "video/frame_source.h"
#include "video/picture.h"

namespace strixc::video {

constexpr int kFrameUnits = 10000;

// Puts left <= right and top <= bottom (swapping reversed pairs) and clamps each coordinate to
// 0..kFrameUnits. A rectangle that is empty after that (no width or no height) stays empty.
Rect NormaliseFrameRect(Rect r);

// Copies the part of camera's current picture under `area` (frame units, inclusive; an empty area
// means the whole picture) into `out` as a packed bitmap: a 40-byte BitmapInfoHeader of the
// region's size followed by its rows in our layout (bottom-up, padded, padding zero).
//
// The pixel rectangle is left = (W-1) * area.left / 10000 (truncated), right = (W-1) * area.right /
// 10000, likewise top and bottom with H-1, all inclusive, rows counted from the top of the picture.
//
// Takes the source's frame lock for the copy. Returns false, with `out` untouched, when the camera
// has no picture or the region would be empty. `out` is resized to the bitmap and never shrinks
// its capacity, so a reused vector settles after the first call.
bool ExtractRegion(FrameSource& source, int camera, const Rect& area, std::vector<uint8_t>& out);

// The same over a picture the caller holds steady (its frame lock taken, or a picture of its own).
bool ExtractRegion(const BitmapInfoHeader& header, const uint8_t* bits, const Rect& area,
                   std::vector<uint8_t>& out);

}  // namespace strixc::video
