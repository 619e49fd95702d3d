#include "display/cell_renderer.h"

#include <QPainter>
#include <QRunnable>
#include <QSemaphore>
#include <QThreadPool>
#include <algorithm>
#include <cstring>

#include "video/region.h"

#if defined(__SANITIZE_THREAD__)
#define STRIXC_TSAN_BUILD 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define STRIXC_TSAN_BUILD 1
#endif
#endif
#ifdef STRIXC_TSAN_BUILD
#include <sanitizer/tsan_interface.h>
#endif

namespace strixc::display {

namespace {

// Pictures at least this large are converted by two threads: Qt scales large pictures on its
// thread pool too, and one core alone converting first would double the time to the screen.
constexpr int kSplitPixels = 200000;

#ifdef STRIXC_TSAN_BUILD
// Qt's thread pool and QSemaphore order the two halves through Qt's own locks, which
// ThreadSanitizer cannot see (Qt is not built with it): a ThreadSanitizer build states that order to
// it here. A release on one thread happens before an acquire of the same token on another.
void ReleaseToken(const void* token) { __tsan_release(const_cast<void*>(token)); }
void AcquireToken(const void* token) { __tsan_acquire(const_cast<void*>(token)); }
#else
void ReleaseToken(const void*) {}
void AcquireToken(const void*) {}
#endif

// One half of a split picture, run by the thread pool. It lives on the stack of the thread that
// split the work, which waits for it before returning.
template <class Work>
class PoolHalf final : public QRunnable {
 public:
  PoolHalf(const Work& work, int first, int end) : work_(work), first_(first), end_(end) {
    setAutoDelete(false);
    ReleaseToken(this);
  }
  void run() override {
    AcquireToken(this);
    ok_ = work_(first_, end_);
    ReleaseToken(this);
    done_.release();
  }
  // Waits until run() has finished and gives its result.
  bool Wait() {
    done_.acquire();
    AcquireToken(this);
    return ok_;
  }

 private:
  const Work& work_;
  const int first_;
  const int end_;
  bool ok_ = false;
  QSemaphore done_;
};

// Runs work(firstRow, endRow) over 0..rows, the lower half on the thread pool when the picture is
// large and the pool has a thread free, and returns when both halves are done.
template <class Work>
bool SplitRows(int rows, int pixels, const Work& work) {
  if (pixels < kSplitPixels || rows < 2) return work(0, rows);
  const int half = rows / 2;
  PoolHalf<Work> lower(work, half, rows);
  if (!QThreadPool::globalInstance()->tryStart(&lower)) return work(0, rows);
  const bool upperOk = work(0, half);
  return lower.Wait() && upperOk;
}

// Rows first..end (counted from the top) of a bottom-up picture, as a picture of their own.
imaging::PictureView SourceRows(const imaging::PictureView& v, int first, int end) {
  return {v.bits + static_cast<ptrdiff_t>(v.height - end) * v.stride, v.width, end - first, v.stride};
}

imaging::Rgb32Span TargetRows(const imaging::Rgb32Span& s, int first, int end) {
  return {s.bits + static_cast<ptrdiff_t>(first) * s.stride, s.width, end - first, s.stride};
}

bool Convert(const imaging::PictureView& picture, const imaging::Rgb32Span& target) {
  return SplitRows(picture.height, picture.width * picture.height, [&](int first, int end) {
    return imaging::ConvertToRgb32(SourceRows(picture, first, end), TargetRows(target, first, end));
  });
}

// Halving works on pairs of rows: split by target rows, each taking twice as many source rows.
bool Halve(const imaging::PictureView& picture, const imaging::Rgb32Span& target) {
  return SplitRows(target.height, picture.width * picture.height, [&](int first, int end) {
    // An odd last source row is dropped, as HalveToRgb32 does: keep it out of the view.
    return imaging::HalveToRgb32(SourceRows(picture, 2 * first, 2 * end), TargetRows(target, first, end));
  });
}

}  // namespace

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
    Convert(picture, {origin, width, height, canvas.stride});
    return;
  }
  Rgb32Buffer* from = &scratch_;
  if (picture.width >= 2 * width && picture.height >= 2 * height) {
    // Averaging 2 x 2 blocks while converting does most of a large shrink for less than the
    // conversion alone would cost, and leaves a quarter of the pixels to scale.
    if (!Halve(picture, scratch_.Resize(picture.width / 2, picture.height / 2))) return;
    Rgb32Buffer* to = &halved_;
    while (from->Image().width() >= 2 * width && from->Image().height() >= 2 * height) {
      const QImage& source = from->Image();
      if (!imaging::HalveRgb32(from->Span(), to->Resize(source.width() / 2, source.height() / 2))) {
        return;
      }
      std::swap(from, to);
    }
  } else if (!Convert(picture, scratch_.Resize(picture.width, picture.height))) {
    return;
  }
  if (canvas.bits != nullptr) {
    // Straight into the canvas: no painter, no thread hand-over.
    uint8_t* origin = canvas.bits + static_cast<ptrdiff_t>(target.top()) * canvas.stride +
                      static_cast<ptrdiff_t>(target.left()) * 4;
    const imaging::Rgb32Span source = from->Span();
    const imaging::Rgb32Span cell{origin, width, height, canvas.stride};
    SplitRows(height, width * height, [&](int first, int end) {
      return (first == 0 ? resampler_ : lowerResampler_).Scale(source, cell, first, end);
    });
    return;
  }
  // Clipped (a cell under smaller ones): Qt scales within the clip.
  canvas.painter->setRenderHint(QPainter::SmoothPixmapTransform, true);
  canvas.painter->drawImage(target, from->Image());
}

}  // namespace strixc::display
