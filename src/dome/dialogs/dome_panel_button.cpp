#include "dome/dialogs/dome_panel_button.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>

#include "shell/theme.h"

namespace strixc::dome {

namespace {

namespace theme = shell::theme;

// The panel's two brushes: the background behind the discs and the symbols on them.
constexpr QColor kPanel = theme::kBackground;
constexpr QColor kSymbol = theme::kText;
const QColor kSymbolLatched(Qt::white);
constexpr QColor kSymbolDisabled = theme::kOutline;
// The disc brightens from its rim toward the upper middle, as the program's button faces do.
const QColor kDiscMiddle(0x66, 0x6C, 0x74);
const QColor kDiscMiddleLit(0x7A, 0x80, 0x88);
// 10 point at 96 dpi, as pixels like the dialog frame's caption.
constexpr int kDigitPixelSize = 13;

QPolygonF Triangle(const QPointF& tip, const QPointF& a, const QPointF& b) { return QPolygonF({tip, a, b}); }

}  // namespace

DomePanelButton::DomePanelButton(Glyph glyph, int diameter, QWidget* parent, int digit)
    : PictureButton(parent), glyph_(glyph), diameter_(diameter), digit_(digit) {
  // The panel floats beside the video: clicking it must not take the keyboard from the window
  // that steers the domes with keys.
  setFocusPolicy(Qt::NoFocus);
  setFixedSize(sizeHint());
  if (glyph_ == Glyph::kDigit) {
    QFont digits;
    digits.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans")});
    digits.setPixelSize(kDigitPixelSize);
    digits.setBold(true);
    setFont(digits);
  }
}

QSize DomePanelButton::sizeHint() const { return QSize(diameter_ + 2, diameter_ + 2); }

bool DomePanelButton::hitButton(const QPoint& pos) const {
  // Round buttons are round to the mouse too: a press in a corner is outside.
  const QPointF centre = QRectF(rect()).center();
  const QPointF d = QPointF(pos) - centre;
  const qreal r = diameter_ / 2.0 + 1;
  return d.x() * d.x() + d.y() * d.y() <= r * r;
}

void DomePanelButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), kPanel);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal shift = isDown() ? 1 : 0;
  const QRectF disc = QRectF(0.5, 0.5, diameter_, diameter_).translated(shift, shift);
  PaintDisc(painter, disc);
  PaintGlyph(painter, disc);
}

void DomePanelButton::PaintDisc(QPainter& painter, const QRectF& disc) const {
  const bool lit = IsHovered() && isEnabled();
  QRadialGradient shading(disc.center() - QPointF(0, disc.height() / 6), disc.width() / 1.6);
  shading.setColorAt(0, lit ? kDiscMiddleLit : kDiscMiddle);
  shading.setColorAt(1, kPanel);
  // A latched button (the chosen speed, step mode) wears a light rim.
  painter.setPen(QPen(IsChecked() ? kSymbol : theme::kOutline, IsChecked() ? 1.6 : 1.0));
  painter.setBrush(shading);
  painter.drawEllipse(disc);
}

void DomePanelButton::PaintGlyph(QPainter& painter, const QRectF& disc) const {
  const QColor colour = !isEnabled() ? kSymbolDisabled : IsChecked() ? kSymbolLatched : kSymbol;
  const QPointF c = disc.center();
  const qreal u = disc.width() / 10.0;  // one tenth of the disc: symbols scale with the button
  painter.setPen(QPen(colour, std::max(1.5, u * 0.8), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(colour);

  auto chevrons = [&](int count) {
    // Speed: one, two or three chevrons pointing right, centred as a group.
    const qreal step = u * 1.6;
    const qreal x0 = c.x() - (count - 1) * step / 2.0;
    painter.setBrush(Qt::NoBrush);
    for (int i = 0; i < count; ++i) {
      const qreal x = x0 + i * step;
      painter.drawPolyline(QPolygonF({QPointF(x - u, c.y() - 2 * u), QPointF(x + u * 0.6, c.y()),
                                      QPointF(x - u, c.y() + 2 * u)}));
    }
  };
  auto magnifier = [&](bool plus) {
    const QPointF lens = c + QPointF(-u * 0.7, -u * 0.7);
    const qreal r = u * 2.4;
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(lens, r, r);
    painter.drawLine(lens + QPointF(r * 0.72, r * 0.72), c + QPointF(u * 3.3, u * 3.3));
    painter.drawLine(lens + QPointF(-u * 1.2, 0), lens + QPointF(u * 1.2, 0));
    if (plus) painter.drawLine(lens + QPointF(0, -u * 1.2), lens + QPointF(0, u * 1.2));
  };

  switch (glyph_) {
    case Glyph::kLeft:
      painter.drawPolygon(Triangle(c + QPointF(-2.6 * u, 0), c + QPointF(1.6 * u, -2.6 * u), c + QPointF(1.6 * u, 2.6 * u)));
      break;
    case Glyph::kRight:
      painter.drawPolygon(Triangle(c + QPointF(2.6 * u, 0), c + QPointF(-1.6 * u, -2.6 * u), c + QPointF(-1.6 * u, 2.6 * u)));
      break;
    case Glyph::kUp:
      painter.drawPolygon(Triangle(c + QPointF(0, -2.6 * u), c + QPointF(-2.6 * u, 1.6 * u), c + QPointF(2.6 * u, 1.6 * u)));
      break;
    case Glyph::kDown:
      painter.drawPolygon(Triangle(c + QPointF(0, 2.6 * u), c + QPointF(-2.6 * u, -1.6 * u), c + QPointF(2.6 * u, -1.6 * u)));
      break;
    case Glyph::kZoomIn: magnifier(true); break;
    case Glyph::kZoomOut: magnifier(false); break;
    case Glyph::kSlow: chevrons(1); break;
    case Glyph::kNormal: chevrons(2); break;
    case Glyph::kFast: chevrons(3); break;
    case Glyph::kNegate: {
      // A plus above a minus, with the bar between them: "+/-".
      const qreal a = u * 1.7;
      painter.drawLine(c + QPointF(-a, -1.6 * u), c + QPointF(a, -1.6 * u));
      painter.drawLine(c + QPointF(0, -1.6 * u - a), c + QPointF(0, -1.6 * u + a));
      painter.drawLine(c + QPointF(-a, 2.4 * u), c + QPointF(a, 2.4 * u));
      break;
    }
    case Glyph::kStep: {
      painter.setBrush(Qt::NoBrush);
      const qreal s = u * 1.6;
      const QPointF o = c + QPointF(-2.4 * u, 2.4 * u);
      painter.drawPolyline(QPolygonF({o, o + QPointF(0, -s), o + QPointF(s, -s), o + QPointF(s, -2 * s),
                                      o + QPointF(2 * s, -2 * s), o + QPointF(2 * s, -3 * s),
                                      o + QPointF(3 * s, -3 * s)}));
      break;
    }
    case Glyph::kClose: {
      const qreal a = u * 2.2;
      painter.drawLine(c + QPointF(-a, -a), c + QPointF(a, a));
      painter.drawLine(c + QPointF(-a, a), c + QPointF(a, -a));
      break;
    }
    case Glyph::kDigit:
      painter.setPen(colour);
      painter.setFont(font());
      painter.drawText(disc, Qt::AlignCenter, QString::number(digit_));
      break;
  }
}

}  // namespace strixc::dome
