#pragma once

#include <cstdint>
#include <vector>

#include "imaging/rgb32.h"

namespace strixc::imaging {

// Bilinear resizing of 32-bit pictures (Rgb32Span: blue, green, red, alpha; top row first), for
// enlarging and for shrinking by less than half (larger shrinks halve first). Weights have 7 bits.
//
// Keeps its column table and a row buffer between calls: a stream of pictures of one geometry
// builds them once and allocates nothing. One instance per thread.
class Rgb32Resampler {
 public:
  // Resizes `source` onto the whole of `destination`. The two must not overlap. False, nothing
  // written, when either geometry is unusable.
  bool Scale(const Rgb32Span& source, const Rgb32Span& destination);
  // Only rows first..end-1 of `destination` (0 <= first <= end <= height), so that two instances
  // can share one picture between two threads.
  bool Scale(const Rgb32Span& source, const Rgb32Span& destination, int firstRow, int endRow);

 private:
  void BuildColumns(int sourceWidth, int width);

  int tableSource_ = 0;
  int tableWidth_ = 0;
  // Per pair of destination columns: the left source column of each and their weights, laid out
  // for the vector loop (x0 of the first, x0 of the second, then eight 16-bit weights).
  std::vector<int32_t> columns_;
  std::vector<int16_t> weights_;
  std::vector<uint32_t> row_;  // the source row blended between two rows
};

}  // namespace strixc::imaging
