#include "imaging/filters.h"

#include "imaging/vector_state.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace strixc::imaging {

namespace {

bool SameSizeAndUsable(const PictureView& source, const PictureSpan& destination) {
  return Usable(source) && Usable(destination) && source.width == destination.width &&
         source.height == destination.height;
}

const uint8_t* Row(const PictureView& v, int row) {
  return v.bits + static_cast<ptrdiff_t>(row) * v.stride;
}
uint8_t* Row(const PictureSpan& s, int row) {
  return s.bits + static_cast<ptrdiff_t>(row) * s.stride;
}

uint8_t Clamp255(int value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

// Runs a 3 x 3 kernel over every byte with the picture's edge pixels repeated outward. The kernel
// gets the rows above, at and below the byte (the same row where there is none) and the byte
// offsets of the byte and of its left and right neighbours. The interior of each row uses fixed
// offsets so the compiler can vectorise it; only the first and last pixel need clamped ones.
template <typename Kernel>
void Convolve(const PictureView& source, const PictureSpan& destination, Kernel kernel) {
  const int width = source.width;
  const int height = source.height;
  const int rowBytes = kBytesPerPixel * width;
  for (int row = 0; row < height; ++row) {
    const uint8_t* __restrict below = Row(source, row > 0 ? row - 1 : row);
    const uint8_t* __restrict here = Row(source, row);
    const uint8_t* __restrict above = Row(source, row + 1 < height ? row + 1 : row);
    uint8_t* __restrict out = Row(destination, row);

    // First pixel: its left neighbour is itself, and so is its right one in a 1-pixel-wide row.
    const int firstRight = width > 1 ? kBytesPerPixel : 0;
    for (int i = 0; i < kBytesPerPixel; ++i) {
      out[i] = kernel(above, here, below, i, i, i + firstRight);
    }
    for (int i = kBytesPerPixel; i < rowBytes - kBytesPerPixel; ++i) {
      out[i] = kernel(above, here, below, i, i - kBytesPerPixel, i + kBytesPerPixel);
    }
    if (width > 1) {
      for (int i = rowBytes - kBytesPerPixel; i < rowBytes; ++i) {
        out[i] = kernel(above, here, below, i, i - kBytesPerPixel, i);
      }
    }
  }
}

// Contrast as a factor around mid grey: linear down to 0 (flat grey) at -100, and growing
// hyperbolically above 0 so +100 is a strong, near-threshold stretch (x10) but still finite.
double ContrastFactor(int contrast) {
  if (contrast <= 0) return (100.0 + contrast) / 100.0;
  return 100.0 / (100.0 - 0.9 * contrast);
}

ColourAdjustment Clamped(const ColourAdjustment& a) {
  return {std::clamp(a.contrast, -100, 100), std::clamp(a.brightness, -100, 100),
          std::clamp(a.colourfulness, -100, 100)};
}

}  // namespace

bool SharpenBuiltIn(const PictureView& source, const PictureSpan& destination) {
  ClearUpperVectorState();
  if (!SameSizeAndUsable(source, destination)) return false;
  const int width = source.width;
  const int height = source.height;
  const int rowBytes = kBytesPerPixel * width;

  // The outer rows are copied whole; with fewer than 3 rows or columns that is every row.
  const bool hasInterior = width >= 3 && height >= 3;
  for (int row = 0; row < height; ++row) {
    if (!hasInterior || row == 0 || row == height - 1) {
      std::memcpy(Row(destination, row), Row(source, row), static_cast<size_t>(rowBytes));
    }
  }
  if (!hasInterior) return true;

  constexpr int kLeft = -kBytesPerPixel;
  constexpr int kRight = kBytesPerPixel;
  for (int row = 1; row < height - 1; ++row) {
    const uint8_t* __restrict below = Row(source, row - 1);
    const uint8_t* __restrict here = Row(source, row);
    const uint8_t* __restrict above = Row(source, row + 1);
    uint8_t* __restrict out = Row(destination, row);
    std::memcpy(out, here, kBytesPerPixel);
    std::memcpy(out + rowBytes - kBytesPerPixel, here + rowBytes - kBytesPerPixel, kBytesPerPixel);
    // Eight loads a byte at fixed offsets. With the rows __restrict (source and destination never
    // overlap) GCC vectorises this at -O3 or with -fvect-cost-model=dynamic, about six times
    // faster than scalar on 704 x 576, and it needs no scratch memory for running column sums.
    for (int i = kBytesPerPixel; i < rowBytes - kBytesPerPixel; ++i) {
      const int neighbours = above[i + kLeft] + above[i] + above[i + kRight] + here[i + kLeft] +
                             here[i + kRight] + below[i + kLeft] + below[i] + below[i + kRight];
      // 16c - s can be negative; >> on a negative int is an arithmetic shift (C++20), as the
      // original does it, so -1 >> 3 is -1 and clamps to 0 like any other negative.
      out[i] = Clamp255((16 * here[i] - neighbours) >> 3);
    }
  }
  return true;
}

bool Smooth3x3(const PictureView& source, const PictureSpan& destination) {
  ClearUpperVectorState();
  if (!SameSizeAndUsable(source, destination)) return false;
  Convolve(source, destination,
           [](const uint8_t* above, const uint8_t* here, const uint8_t* below, int i, int left,
              int right) -> uint8_t {
             const int sum = above[left] + 2 * above[i] + above[right] +
                             2 * (here[left] + 2 * here[i] + here[right]) + below[left] +
                             2 * below[i] + below[right];
             // At most 16 * 255 + 8, so the result needs no clamp.
             return static_cast<uint8_t>((sum + 8) >> 4);
           });
  return true;
}

bool Sharpen3x3(const PictureView& source, const PictureSpan& destination) {
  ClearUpperVectorState();
  if (!SameSizeAndUsable(source, destination)) return false;
  Convolve(source, destination,
           [](const uint8_t* above, const uint8_t* here, const uint8_t* below, int i, int left,
              int right) -> uint8_t {
             return Clamp255(5 * here[i] - here[left] - here[right] - above[i] - below[i]);
           });
  return true;
}

void ColourAdjuster::Apply(const ColourAdjustment& adjustment, const PictureSpan& picture) {
  ClearUpperVectorState();
  const ColourAdjustment a = Clamped(adjustment);
  if (a.Identity() || !Usable(picture)) return;

  const bool useTable = a.contrast != 0 || a.brightness != 0;
  if (useTable) BuildTable(a);
  // Distance from luma scaled in 8.8 fixed point: -100 gives 0 (grey), +100 gives 512 (twice).
  const int colourScale = (100 + a.colourfulness) * 256 / 100;
  const int rowBytes = kBytesPerPixel * picture.width;

  for (int row = 0; row < picture.height; ++row) {
    uint8_t* p = Row(picture, row);
    if (useTable) {
      for (int i = 0; i < rowBytes; ++i) p[i] = table_[p[i]];
    }
    if (a.colourfulness == 0) continue;
    for (int i = 0; i < rowBytes; i += kBytesPerPixel) {
      // Weights sum to 256, so a grey pixel's luma is its own level and grey stays put.
      const int luma = (29 * p[i] + 150 * p[i + 1] + 77 * p[i + 2]) >> 8;
      for (int c = 0; c < kBytesPerPixel; ++c) {
        p[i + c] = Clamp255(luma + (((p[i + c] - luma) * colourScale + 128) >> 8));
      }
    }
  }
}

void ColourAdjuster::BuildTable(const ColourAdjustment& adjustment) {
  // Colourfulness is a separate pass, so changing only it keeps the table.
  if (built_ && tableFor_.contrast == adjustment.contrast &&
      tableFor_.brightness == adjustment.brightness) {
    return;
  }
  const double factor = ContrastFactor(adjustment.contrast);
  // +-100 shifts by about half the range, enough to wash a picture out without flattening it.
  const double shift = adjustment.brightness * 255.0 / 200.0;
  for (int v = 0; v < 256; ++v) {
    const double out = (v - 128) * factor + 128.0 + shift;
    table_[v] = Clamp255(static_cast<int>(std::lround(std::clamp(out, -1.0, 256.0))));
  }
  tableFor_ = adjustment;
  built_ = true;
}

}  // namespace strixc::imaging
