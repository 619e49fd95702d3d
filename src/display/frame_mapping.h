#pragma once

// Mapping between frame units (0..10000 across the picture) and a cell's pixels, through the part
// of the picture the cell shows (the zoom area, or the whole picture).

#include "video/picture.h"

namespace strixc::display {

// v in [a0, a1] onto [b0, b1]: floor((v - a0) * (b1 - b0) / (a1 - a0) + b0 + 0.5), each range
// taken with its smaller end first; a range of zero length maps everything to its start.
int MapRange(int v, int a0, int a1, int b0, int b1);

// `zoom` empty means the whole picture.
video::Rect FrameToCell(const video::Rect& frame, const video::Rect& zoom, const video::Rect& cell);
video::Rect CellToFrame(const video::Rect& pixels, const video::Rect& zoom, const video::Rect& cell);

}  // namespace strixc::display
