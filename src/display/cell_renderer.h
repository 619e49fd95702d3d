#pragma once

#include <QImage>
#include <QRect>
#include <cstdint>
#include <vector>

#include "display/camera_view.h"
#include "imaging/filters.h"
#include "imaging/picture_view.h"
#include "imaging/resampler.h"
#include "imaging/rgb32.h"
#include "imaging/scaler.h"
#include "video/picture.h"

class QPainter;

namespace strixc::display {

// A 32-bit picture whose pixels grow and are reused, with a QImage over them that is rebuilt only
// when its size changes.
class Rgb32Buffer {
 public:
  imaging::Rgb32Span Resize(int width, int height);
  imaging::Rgb32Span Span();
  const QImage& Image() const { return image_; }

 private:
  std::vector<uint32_t> pixels_;
  QImage image_;
};

// Draws camera pictures into cells of the display's composition image: the plain path (convert
// to 32-bit and let Qt scale smoothly, halving first when the cell is at most half the picture),
// the built-in sharpening and the filter pipeline of the archive browser (crop to the zoom area,
// bicubic resize, smoothing or sharpening, colour adjustment).
//
// Owns the work buffers, which grow and are never shrunk: a steady stream of one picture size
// allocates nothing. Not thread-safe: the display uses it under its lock.
class CellRenderer {
 public:
  // The canvas the next Render calls draw into; `painter` must be active on it.
  struct Canvas {
    QPainter* painter = nullptr;
    uint8_t* bits = nullptr;  // the canvas's pixels, for 1:1 copies
    int stride = 0;
  };

  // Draws `picture` (our layout) into `target` (canvas pixels, right and bottom exclusive).
  void Render(const Canvas& canvas, const QRect& target, const video::BitmapInfoHeader& header,
              const uint8_t* bits, const CameraView& view, bool sharpen);

  // Whether the view asks for the filter pipeline.
  static bool NeedsFilters(const CameraView& view);

 private:
  void RenderFiltered(const Canvas& canvas, const QRect& target, const video::BitmapInfoHeader& header,
                      const uint8_t* bits, const CameraView& view);
  void DrawScaled(const Canvas& canvas, const QRect& target, const imaging::PictureView& picture);

  std::vector<uint8_t> work1_;  // scaled or sharpened picture
  std::vector<uint8_t> work2_;  // filtered picture
  std::vector<uint8_t> work3_;  // cropped source, header first
  Rgb32Buffer scratch_;
  Rgb32Buffer halved_;
  imaging::Rgb32Resampler resampler_;
  imaging::Rgb32Resampler lowerResampler_;  // the lower half of a large cell, on the thread pool
  imaging::Scaler scaler_;
  imaging::ColourAdjuster adjuster_;
};

}  // namespace strixc::display
