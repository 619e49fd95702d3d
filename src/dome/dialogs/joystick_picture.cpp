#include "dome/dialogs/joystick_picture.h"

#include <QPainter>
#include <algorithm>

#include "shell/theme.h"

namespace strixc::dome {

namespace {

namespace theme = shell::theme;

constexpr char kAxisLetters[] = "XYZRUV";
constexpr int kLetterWidth = 14;
constexpr int kBarHeight = 9;
constexpr int kBarGap = 5;
constexpr int kBarWidth = 150;
constexpr int kLampSize = 9;
constexpr int kLampGap = 4;
constexpr int kLampsPerRow = 16;
constexpr int kSectionGap = 10;
const QColor kTrough(0x3C, 0x40, 0x45);
const QColor kLit(0xE8, 0xC4, 0x5A);

int AxesHeight() { return kJoystickAxes * (kBarHeight + kBarGap) - kBarGap; }
int LampRows() { return (kJoystickButtons + kLampsPerRow - 1) / kLampsPerRow; }

}  // namespace

JoystickPicture::JoystickPicture(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFixedSize(sizeHint());
}

QSize JoystickPicture::sizeHint() const {
  const int lampsWidth = kLampsPerRow * (kLampSize + kLampGap) - kLampGap;
  const int width = std::max(kLetterWidth + kBarWidth, lampsWidth) + 2;
  const int height = AxesHeight() + kSectionGap + LampRows() * (kLampSize + kLampGap) - kLampGap + 2;
  return QSize(width, height);
}

void JoystickPicture::SetValues(const std::array<double, kJoystickInputs>& values, bool live) {
  if (values == values_ && live == live_) return;
  values_ = values;
  live_ = live;
  update();
}

void JoystickPicture::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), theme::kBackground);
  if (!live_) painter.setOpacity(0.45);
  PaintAxes(painter);
  PaintButtons(painter);
}

void JoystickPicture::PaintAxes(QPainter& painter) const {
  for (int i = 0; i < kJoystickAxes; ++i) {
    const int y = 1 + i * (kBarHeight + kBarGap);
    painter.setPen(theme::kText);
    painter.drawText(QRect(0, y - 3, kLetterWidth, kBarHeight + 6), Qt::AlignLeft | Qt::AlignVCenter,
                     QString(QLatin1Char(kAxisLetters[i])));
    const QRect trough(kLetterWidth, y, kBarWidth, kBarHeight);
    painter.fillRect(trough, kTrough);
    const double v = std::clamp(values_[static_cast<size_t>(i)], -1.0, 1.0);
    const int middle = trough.left() + kBarWidth / 2;
    const int extent = static_cast<int>(v * (kBarWidth / 2));
    const QRect bar = extent >= 0 ? QRect(middle, y, extent, kBarHeight) : QRect(middle + extent, y, -extent, kBarHeight);
    painter.fillRect(bar, theme::kText);
    painter.setPen(theme::kOutline);
    painter.drawLine(middle, y - 1, middle, y + kBarHeight);
  }
}

void JoystickPicture::PaintButtons(QPainter& painter) const {
  painter.setRenderHint(QPainter::Antialiasing);
  const int top = 1 + AxesHeight() + kSectionGap;
  for (int b = 0; b < kJoystickButtons; ++b) {
    const bool held = values_[static_cast<size_t>(kJoystickAxes + b)] > 0.5;
    const QRectF lamp((b % kLampsPerRow) * (kLampSize + kLampGap) + 1,
                      top + (b / kLampsPerRow) * (kLampSize + kLampGap), kLampSize, kLampSize);
    painter.setPen(theme::kOutline);
    painter.setBrush(held ? kLit : kTrough);
    painter.drawEllipse(lamp);
  }
}

}  // namespace strixc::dome
