#include "display/cell_renderer.h"

#include <QPainter>
#include <algorithm>
#include <cstring>

#include "video/region.h"

namespace strixc::display {

imaging::Rgb32Span Rgb32Buffer::Resize(int width, int height) {
  const size_t needed = static_cast<size_t>(width) * static_cast<size_t>(height);
  if (pixels_.size() < needed) pixels_.resize(needed);
  auto* data = reinterpret_cast<uchar*>(pixels_.data());
  if (image_.width() != width || image_.height() != height || image_.constBits() != data) {
    image_ = QImage(data, width, height, width * 4, QImage::Format_RGB32);
  }
  return Span();
}

imaging::Rgb32Span Rgb32Buffer::Span() {
  return {reinterpret_cast<uint8_t*>(pixels_.data()), image_.width(), image_.height(),
          image_.width() * 4};
}

bool CellRenderer::NeedsFilters(const CameraView& view) {
  return !view.zoomRect.Empty() || view.filterMode != 0 || !view.colour.Identity();
}

void CellRenderer::Render(const Canvas& canvas, const QRect& target,
                          const video::BitmapInfoHeader& header, const uint8_t* bits,
                          const CameraView& view, bool sharpen) {
  if (target.isEmpty()) return;
  if (NeedsFilters(view)) {
    RenderFiltered(canvas, target, header, bits, view);
    return;
  }
  const imaging::PictureView picture{bits, header.biWidth, header.biHeight,
                                     video::PictureStride(header.biWidth)};
  if (!sharpen) {
    DrawScaled(canvas, target, picture);
    return;
  }
  const size_t size = imaging::PictureBytes(picture.width, picture.height);
  if (work1_.size() < size) work1_.resize(size);
  const imaging::PictureSpan sharpened{work1_.data(), picture.width, picture.height,
                                       picture.stride};
  if (!imaging::SharpenBuiltIn(picture, sharpened)) return;
  DrawScaled(canvas, target, {work1_.data(), picture.width, picture.height, picture.stride});
}

void CellRenderer::RenderFiltered(const Canvas& canvas, const QRect& target,
                                  const video::BitmapInfoHeader& header, const uint8_t* bits,
                                  const CameraView& view) {
  // The picture is first brought to at most the cell's size, so the filters and the colour
  // adjustment never work on more pixels than the cell shows.
  const int width = std::min(target.width(), static_cast<int>(header.biWidth));
  const int height = std::min(target.height(), static_cast<int>(header.biHeight));
  if (!video::ExtractRegion(header, bits, view.zoomRect, work3_)) return;
  video::BitmapInfoHeader region;
  std::memcpy(&region, work3_.data(), sizeof region);
  const imaging::PictureView cropped{work3_.data() + sizeof region, region.biWidth,
                                     region.biHeight, video::PictureStride(region.biWidth)};
  if (!scaler_.Scale(cropped, width, height, imaging::ScaleFilter::kBicubic, work1_)) return;

  const int stride = imaging::RowStride(width);
  imaging::PictureSpan chosen{work1_.data(), width, height, stride};
  if (view.filterMode != 0) {
    const size_t size = imaging::PictureBytes(width, height);
    if (work2_.size() < size) work2_.resize(size);
    const imaging::PictureSpan filtered{work2_.data(), width, height, stride};
    const imaging::PictureView scaled{work1_.data(), width, height, stride};
    const bool done = view.filterMode < 0 ? imaging::Smooth3x3(scaled, filtered)
                                          : imaging::Sharpen3x3(scaled, filtered);
    if (done) chosen = filtered;
  }
  adjuster_.Apply(view.colour, chosen);
  DrawScaled(canvas, target, {chosen.bits, chosen.width, chosen.height, chosen.stride});
}

void CellRenderer::DrawScaled(const Canvas& canvas, const QRect& target,
                              const imaging::PictureView& picture) {
  const int width = target.width();
  const int height = target.height();
  if (picture.width == width && picture.height == height && canvas.bits != nullptr) {
    // 1:1: straight into the canvas, no scaling at all.
    uint8_t* origin = canvas.bits + static_cast<ptrdiff_t>(target.top()) * canvas.stride +
                      static_cast<ptrdiff_t>(target.left()) * 4;
    imaging::ConvertToRgb32(picture, {origin, width, height, canvas.stride});
    return;
  }
  const QImage* image = nullptr;
  if (picture.width >= 2 * width && picture.height >= 2 * height) {
    // Averaging 2 x 2 blocks while converting does most of a large shrink for less than the
    // conversion alone would cost, and Qt then scales a quarter of the pixels.
    if (!imaging::HalveToRgb32(picture, scratch_.Resize(picture.width / 2, picture.height / 2))) {
      return;
    }
    Rgb32Buffer* from = &scratch_;
    Rgb32Buffer* to = &halved_;
    while (from->Image().width() >= 2 * width && from->Image().height() >= 2 * height) {
      const QImage& source = from->Image();
      if (!imaging::HalveRgb32(from->Span(), to->Resize(source.width() / 2, source.height() / 2))) {
        return;
      }
      std::swap(from, to);
    }
    image = &from->Image();
  } else {
    if (!imaging::ConvertToRgb32(picture, scratch_.Resize(picture.width, picture.height))) return;
    image = &scratch_.Image();
  }
  canvas.painter->setRenderHint(QPainter::SmoothPixmapTransform, true);
  canvas.painter->drawImage(target, *image);
}

}  // namespace strixc::display
