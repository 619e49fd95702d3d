#include "display/overlay_painter.h"

#include <QPainter>
#include <QPainterPath>
#include <atomic>
#include <cmath>

#include "archive/archive_time.h"

namespace strixc::display {

namespace {

constexpr QColor kShadow{0x40, 0x40, 0x40};
constexpr QColor kMarker{0xFF, 0, 0};
constexpr QColor kHighlight{0xA4, 0xA4, 0xA4};
// A stale picture: the badge's ground and the cell's outline.
constexpr QColor kStale{0xE0, 0x20, 0x20};
constexpr int kStaleOutline = 3;
// Pixel heights of the 8 and 14 point faces on a 96 dpi screen, as the cell geometry was laid
// out for.
constexpr int kSmallPixels = 11;
constexpr int kLargePixels = 19;
constexpr int kNoVideoWidth = 190;
constexpr int kNoVideoHeight = 143;

QFont OverlayFont(int pixels) {
  QFont font;
  // Liberation Sans has Arial's metrics; DejaVu Sans is there on every desktop.
  font.setFamilies({"Arial", "Liberation Sans", "DejaVu Sans"});
  font.setPixelSize(pixels);
  return font;
}

// An 8 x 8 tile of 2 x 2 checks in two colours, so a framed line reads as short dashes.
QBrush Checks(QColor a, QColor b) {
  QImage tile(8, 8, QImage::Format_RGB32);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) tile.setPixelColor(x, y, ((x / 2 + y / 2) % 2) ? b : a);
  }
  return QBrush(tile);
}

// A dark card with a crossed-out camera: no text, so it reads the same in every language.
QImage NoVideoPicture() {
  QImage image(kNoVideoWidth, kNoVideoHeight, QImage::Format_RGB32);
  image.fill(QColor(0x2E, 0x32, 0x36));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor body(0x8A, 0x90, 0x96);
  p.setPen(QPen(body, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(QRectF(55, 48, 60, 46), 6, 6);
  QPainterPath lens;
  lens.moveTo(115, 62);
  lens.lineTo(138, 50);
  lens.lineTo(138, 92);
  lens.lineTo(115, 80);
  lens.closeSubpath();
  p.drawPath(lens);
  p.setPen(QPen(QColor(0xC8, 0x30, 0x30), 7, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(50, 110), QPointF(142, 32));
  return image;
}

QRect Exclusive(const video::Rect& r) { return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top); }

// A number for the calling thread that no other thread, also none started later, ever gets (a
// thread id may be reused once its thread has ended).
uint64_t ThreadToken() {
  static std::atomic<uint64_t> next{1};
  thread_local const uint64_t token = next.fetch_add(1);
  return token;
}

}  // namespace

void FrameRect(QPainter& painter, const QRect& r, const QBrush& brush) {
  if (r.width() <= 0 || r.height() <= 0) return;
  painter.fillRect(QRect(r.left(), r.top(), r.width(), 1), brush);
  painter.fillRect(QRect(r.left(), r.top() + r.height() - 1, r.width(), 1), brush);
  painter.fillRect(QRect(r.left(), r.top(), 1, r.height()), brush);
  painter.fillRect(QRect(r.left() + r.width() - 1, r.top(), 1, r.height()), brush);
}

OverlayPainter::OverlayPainter(QColor background)
    : background_(background),
      small_(OverlayFont(kSmallPixels)),
      large_(OverlayFont(kLargePixels)),
      areaBrush_(Checks(QColor(0xFF, 0xFF, 0), QColor(0, 0, 0))),
      trackBrush_(Checks(QColor(0xFF, 0, 0), QColor(0xFF, 0xFF, 0xFF))),
      noVideo_(NoVideoPicture()) {}

void OverlayPainter::Paint(QPainter& painter, const OverlayInput& in) {
  const QRect r = Exclusive(in.cell);
  if (!in.hasPicture) {
    painter.fillRect(r, background_);
    if (in.text == nullptr) {
      painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
      painter.drawImage(r, noVideo_);
    }
  }
  PaintTexts(painter, in);
  if (in.staleSeconds >= 0) PaintStaleBadge(painter, in);
  if (in.selected) FrameRect(painter, r, QBrush(kMarker));
  if (in.highlighted) FrameRect(painter, r.adjusted(1, 1, -1, -1), QBrush(kHighlight));
  if (!in.areaPixels.Empty()) FrameRect(painter, Exclusive(in.areaPixels), areaBrush_);
  if (!in.trackPixels.Empty()) FrameRect(painter, Exclusive(in.trackPixels), trackBrush_);
}

// A red outline round the cell and, where it fits, the age in a red badge at the top centre, where
// neither the name, the time nor the rate is drawn.
void OverlayPainter::PaintStaleBadge(QPainter& painter, const OverlayInput& in) {
  const QRect r = Exclusive(in.cell);
  for (int i = 0; i < kStaleOutline; ++i) FrameRect(painter, r.adjusted(i, i, -i, -i), QBrush(kStale));
  const QString text = QString::fromStdString(texts_.staleFormat).replace(QStringLiteral("%d"), QString::number(in.staleSeconds));
  painter.setFont(in.largeFont ? large_ : small_);
  const QFontMetrics metrics = painter.fontMetrics();
  const QSize size(metrics.horizontalAdvance(text) + 10, metrics.height() + 4);
  if (size.width() + 2 * kStaleOutline > r.width() || size.height() + 2 * kStaleOutline > r.height()) return;
  const QRect badge(r.left() + (r.width() - size.width()) / 2, r.top() + kStaleOutline, size.width(), size.height());
  painter.fillRect(badge, kStale);
  painter.setPen(Qt::white);
  painter.drawText(badge, Qt::AlignCenter, text);
}

void OverlayPainter::CachedText::Set(const QString& value, bool largeFont, const QFont& font) {
  const uint64_t current = ThreadToken();
  if (value == text && largeFont == large && thread == current && !laidOut.text().isNull()) return;
  text = value;
  large = largeFont;
  thread = current;
  laidOut.setTextFormat(Qt::PlainText);
  laidOut.setText(value);
  laidOut.prepare(QTransform(), font);
}

void OverlayPainter::PaintTexts(QPainter& painter, const OverlayInput& in) {
  const video::Rect& r = in.cell;
  const bool roomForText =
      r.right - r.left > kMinTextWidth && r.bottom - r.top >= kMinTextHeight;
  if (!roomForText && !(in.hasPicture && in.marker)) return;
  const CameraView& view = *in.view;
  const QColor colour = QColor::fromRgb(kTextColors[view.textColor % kTextColors.size()]);
  const bool large = in.largeFont;
  CameraTexts& cache = cache_[in.camera];
  const QFont& font = large ? large_ : small_;
  painter.setFont(font);

  if (in.hasPicture) {
    if (roomForText && view.showName) {
      cache.name.Set(QStringLiteral("C%1 ").arg(in.camera + 1) + QString::fromStdString(view.name) +
                         QString::fromStdString(view.caption2),
                     large, font);
      DrawText(painter, r.left + 5, r.top + 5, Align::kLeftTop, cache.name.laidOut, colour);
    }
    if (roomForText && view.showTime) {
      const auto second = static_cast<int64_t>(in.time / archive::kUnitsPerSecond);
      if (second != cache.second) {
        cache.second = second;
        cache.time.Set(FormatTime(in.time, texts_.timeFormat, &cache.dateValid), large, font);
        cache.date.Set(FormatTime(in.time, texts_.dateFormat, nullptr), large, font);
      }
      cache.time.Set(cache.time.text, large, font);
      DrawText(painter, r.right - 5, r.top + 5, Align::kRightTop, cache.time.laidOut, colour);
      if (cache.dateValid) {
        cache.date.Set(cache.date.text, large, font);
        DrawText(painter, r.right - 5, r.top + (large ? 25 : 15), Align::kRightTop,
                 cache.date.laidOut, colour);
      }
    }
    if (in.marker) {
      painter.setPen(Qt::NoPen);
      painter.setBrush(kMarker);
      painter.drawEllipse(QRect(r.right - 15, r.bottom - 15, 8, 8));
      painter.setBrush(Qt::NoBrush);
    }
    if (roomForText && in.fpsAllowed && view.showFps && in.fps > 0) {
      QString fps = QString::fromStdString(texts_.fpsFormat);
      fps.replace(QStringLiteral("%d"), QString::number(static_cast<int>(std::ceil(in.fps))));
      cache.fps.Set(fps, large, font);
      DrawText(painter, r.left + 10, r.bottom - 5, Align::kLeftBottom, cache.fps.laidOut, colour);
    }
  }
  if (roomForText && in.text != nullptr && in.text[0] != '\0') {
    cache.event.Set(codec_.DecodeToQString(in.text), large, font);
    DrawText(painter, (r.left + r.right) / 2, (r.top + r.bottom) / 2, Align::kCentreBottom,
             cache.event.laidOut, colour);
  }
}

void OverlayPainter::DrawText(QPainter& painter, int x, int y, Align align, const QStaticText& text,
                              QColor colour) {
  // (x, y) is the anchor corner of the text's box; a static text is drawn from its top left.
  const QSizeF size = text.size();
  int left = x;
  if (align == Align::kRightTop) left = x - static_cast<int>(size.width());
  if (align == Align::kCentreBottom) left = x - static_cast<int>(size.width()) / 2;
  const bool top = align == Align::kLeftTop || align == Align::kRightTop;
  const int upper = top ? y : y - static_cast<int>(size.height());
  painter.setPen(kShadow);
  painter.drawStaticText(QPoint(left + 1, upper + 1), text);
  painter.setPen(colour);
  painter.drawStaticText(QPoint(left, upper), text);
}

QString OverlayPainter::FormatTime(uint64_t time, const std::string& format, bool* dateValid) const {
  if (dateValid != nullptr) {
    const archive::TimeFields f = archive::FieldsOfTime(time);
    *dateValid = f.year > 1990 && f.month > 0 && f.day > 0;
  }
  return QString::fromLocal8Bit(archive::FormatLocal(time, format.c_str()));
}

}  // namespace strixc::display
