#include "display/overlay_painter.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <ctime>

#include "archive/archive_time.h"

namespace strixc::display {

namespace {

constexpr QColor kShadow{0x40, 0x40, 0x40};
constexpr QColor kMarker{0xFF, 0, 0};
constexpr QColor kHighlight{0xA4, 0xA4, 0xA4};
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
      smallMetrics_(small_),
      largeMetrics_(large_),
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
  if (in.selected) FrameRect(painter, r, QBrush(kMarker));
  if (in.highlighted) FrameRect(painter, r.adjusted(1, 1, -1, -1), QBrush(kHighlight));
  if (!in.areaPixels.Empty()) FrameRect(painter, Exclusive(in.areaPixels), areaBrush_);
  if (!in.trackPixels.Empty()) FrameRect(painter, Exclusive(in.trackPixels), trackBrush_);
}

void OverlayPainter::PaintTexts(QPainter& painter, const OverlayInput& in) {
  const video::Rect& r = in.cell;
  const bool roomForText =
      r.right - r.left > kMinTextWidth && r.bottom - r.top >= kMinTextHeight;
  const CameraView& view = *in.view;
  const QColor colour = QColor::fromRgb(kTextColors[view.textColor % kTextColors.size()]);
  const QFontMetrics& metrics = in.largeFont ? largeMetrics_ : smallMetrics_;
  painter.setFont(in.largeFont ? large_ : small_);

  if (in.hasPicture) {
    if (roomForText && view.showName) {
      const QString name = QStringLiteral("C%1 ").arg(in.camera + 1) +
                           QString::fromStdString(view.name) +
                           QString::fromStdString(view.caption2);
      DrawText(painter, metrics, r.left + 5, r.top + 5, Align::kLeftTop, name, colour);
    }
    if (roomForText && view.showTime) {
      bool dateValid = false;
      const QString time = FormatTime(in.time, texts_.timeFormat, &dateValid);
      DrawText(painter, metrics, r.right - 5, r.top + 5, Align::kRightTop, time, colour);
      if (dateValid) {
        const int y = r.top + (in.largeFont ? 25 : 15);
        DrawText(painter, metrics, r.right - 5, y, Align::kRightTop,
                 FormatTime(in.time, texts_.dateFormat, nullptr), colour);
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
      DrawText(painter, metrics, r.left + 10, r.bottom - 5, Align::kLeftBottom, fps, colour);
    }
  }
  if (roomForText && in.text != nullptr && in.text[0] != '\0') {
    DrawText(painter, metrics, (r.left + r.right) / 2, (r.top + r.bottom) / 2, Align::kCentreBottom,
             QString::fromUtf8(in.text), colour);
  }
}

void OverlayPainter::DrawText(QPainter& painter, const QFontMetrics& metrics, int x, int y,
                              Align align, const QString& text, QColor colour) {
  // (x, y) is the anchor corner of the text's box; Qt draws from the left end of the baseline.
  const int width = metrics.horizontalAdvance(text);
  int left = x;
  if (align == Align::kRightTop) left = x - width;
  if (align == Align::kCentreBottom) left = x - width / 2;
  const bool top = align == Align::kLeftTop || align == Align::kRightTop;
  const int baseline = top ? y + metrics.ascent() : y - metrics.descent();
  painter.setPen(kShadow);
  painter.drawText(QPoint(left + 1, baseline + 1), text);
  painter.setPen(colour);
  painter.drawText(QPoint(left, baseline), text);
}

QString OverlayPainter::FormatTime(uint64_t time, const std::string& format, bool* dateValid) const {
  const archive::TimeFields f = archive::FieldsOfTime(time);
  if (dateValid != nullptr) *dateValid = f.year > 1990 && f.month > 0 && f.day > 0;
  std::tm tm{};
  tm.tm_year = f.year - 1900;
  tm.tm_mon = f.month - 1;
  tm.tm_mday = f.day;
  tm.tm_hour = f.hour;
  tm.tm_min = f.minute;
  tm.tm_sec = f.second;
  char buffer[128];
  const size_t n = std::strftime(buffer, sizeof buffer, format.c_str(), &tm);
  return QString::fromLocal8Bit(buffer, static_cast<qsizetype>(n));
}

}  // namespace strixc::display
