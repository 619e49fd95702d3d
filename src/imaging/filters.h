#pragma once

// Fixed 3 x 3 filters and the colour adjustment for pictures in our layout (picture_view.h). Each
// filter reads one picture and writes another of the same size; the two must not overlap.

#include <array>
#include <cstdint>

#include "imaging/picture_view.h"

namespace strixc::imaging {

// The display's built-in sharpening, byte for byte: the outermost rows and the first and last
// pixel of every row are copied; every other byte becomes clamp((16 c - s) >> 3), c the byte and s
// the sum of the same channel of its 8 neighbours (2 c minus their mean). False, destination
// untouched, when the two geometries are unusable or differ in size.
bool SharpenBuiltIn(const PictureView& source, const PictureSpan& destination);

// Gaussian smoothing with the kernel 1 2 1 / 2 4 2 / 1 2 1 (sum 16), edge pixels repeated outward.
bool Smooth3x3(const PictureView& source, const PictureSpan& destination);

// Sharpening with the kernel 0 -1 0 / -1 5 -1 / 0 -1 0, edge pixels repeated outward, clamped.
bool Sharpen3x3(const PictureView& source, const PictureSpan& destination);

// Contrast, brightness and colourfulness, each -100..100 (0: unchanged).
struct ColourAdjustment {
  int contrast = 0;
  int brightness = 0;
  int colourfulness = 0;
  bool Identity() const { return contrast == 0 && brightness == 0 && colourfulness == 0; }
  bool operator==(const ColourAdjustment&) const = default;
};

// Applies a ColourAdjustment in place. Keeps the lookup table of the last adjustment, so a stream
// of pictures with one setting builds it once. One instance per thread.
class ColourAdjuster {
 public:
  // Values outside -100..100 are clamped. Does nothing for the identity or an unusable span.
  void Apply(const ColourAdjustment& adjustment, const PictureSpan& picture);

 private:
  void BuildTable(const ColourAdjustment& adjustment);

  bool built_ = false;
  ColourAdjustment tableFor_;
  std::array<uint8_t, 256> table_{};  // brightness and contrast, per channel value
};

}  // namespace strixc::imaging
