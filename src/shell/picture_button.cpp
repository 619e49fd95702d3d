#include "shell/picture_button.h"
#include "shell/theme.h"

#include <algorithm>

#include <QEnterEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

namespace strixc::shell {
namespace {

constexpr QColor kBackground = theme::kBackground;
// The face brightens from the background at its edges to this grey at its middle.
const QColor kFaceMiddle(0x62, 0x68, 0x70);
constexpr QColor kOutline = theme::kOutline;
constexpr QColor kCaption = theme::kText;
const QColor kCaptionChecked(Qt::white);
constexpr QColor kCaptionDisabled = theme::kOutline;

// 8.5 point at 96 dpi, as pixels so that button sizes do not follow the screen's density.
constexpr int kCaptionPixelSize = 11;
constexpr qreal kFaceRadius = 8;
constexpr int kIconCaptionGap = 4;
constexpr int kPaddingX = 10;
constexpr int kPaddingY = 5;
constexpr int kMinimumHeight = 23;
constexpr int kDefaultIconSize = 16;
constexpr qreal kDisabledIconOpacity = 0.45;

// The hover shading is a neutral grey: the red component brightened by a fifth in all three.
QColor Lighter(const QColor& c) {
  const int grey = std::min(255, c.red() * 6 / 5);
  return QColor(grey, grey, grey);
}

bool SameIcon(const QIcon& a, const QIcon& b) {
  return a.isNull() == b.isNull() && (a.isNull() || a.cacheKey() == b.cacheKey());
}

}  // namespace

PictureButton::PictureButton(QWidget* parent) : PictureButton(QString(), parent) {}

PictureButton::PictureButton(const QString& caption, QWidget* parent) : QAbstractButton(parent) {
  QFont captionFont;
  captionFont.setFamilies(
      {QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
  captionFont.setPixelSize(kCaptionPixelSize);
  captionFont.setBold(true);
  setFont(captionFont);
  setIconSize(QSize(kDefaultIconSize, kDefaultIconSize));
  setText(caption);
  // Qt emits released() after clearing the pushed state and before clicked(): reporting the
  // release here keeps it ahead of whatever the click starts (a modal dialog would hold it back
  // until closed). It also covers a press ended by disabling the button.
  connect(this, &QAbstractButton::released, this, &PictureButton::NotifyPressIfChanged);
}

void PictureButton::SetIcon(const QIcon& icon, bool face) { SetIcon(icon, QIcon(), face); }

void PictureButton::SetIcon(const QIcon& icon, const QIcon& checkedIcon, bool face) {
  if (SameIcon(icon, icon_) && SameIcon(checkedIcon, checkedIcon_) && face == face_) return;
  icon_ = icon;
  checkedIcon_ = checkedIcon;
  face_ = face;
  updateGeometry();
  update();
}

void PictureButton::SetTooltip(const QString& text) {
  if (text == toolTip()) return;
  setToolTip(text);
}

void PictureButton::SetToggleMode(bool on) { toggleMode_ = on; }

void PictureButton::SetChecked(bool checked) {
  if (checked == checked_) return;
  checked_ = checked;
  update();
}

void PictureButton::SetPressNotify(int index) {
  pressNotify_ = true;
  pressIndex_ = index;
  reportedDown_ = isDown();
}

void PictureButton::SetRightClickNotify(int index) {
  rightClickNotify_ = true;
  rightClickIndex_ = index;
}

bool PictureButton::event(QEvent* event) {
  // Qt changes the pushed state from several handlers (press, release, moving out of and back
  // into the button, focus loss) without telling anyone; comparing after each event catches all.
  QPointer<PictureButton> self(this);
  const bool handled = QAbstractButton::event(event);
  if (self) NotifyPressIfChanged();
  return handled;
}

void PictureButton::NotifyPressIfChanged() {
  const bool down = isDown();
  if (down == reportedDown_) return;
  reportedDown_ = down;
  if (!pressNotify_) return;
  const int index = pressIndex_;
  // Posted, never sent: the owner learns of the press after the button has finished with it.
  QMetaObject::invokeMethod(
      this, [this, down, index] { emit PressChanged(down, index); }, Qt::QueuedConnection);
}

void PictureButton::enterEvent(QEnterEvent* event) {
  QAbstractButton::enterEvent(event);
  if (hovered_) return;
  hovered_ = true;
  update();
}

void PictureButton::leaveEvent(QEvent* event) {
  QAbstractButton::leaveEvent(event);
  if (!hovered_) return;
  hovered_ = false;
  update();
}

void PictureButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton && rightClickNotify_) {
    event->accept();
    return;
  }
  QAbstractButton::mousePressEvent(event);
}

void PictureButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    if (!rightClickNotify_ || !rect().contains(event->position().toPoint())) {
      event->ignore();
      return;
    }
    const int index = rightClickIndex_;
    QMetaObject::invokeMethod(
        this, [this, index] { emit RightClicked(index); }, Qt::QueuedConnection);
    event->accept();
    return;
  }
  if (toggleMode_ && event->button() == Qt::LeftButton && isDown()) {
    FinishToggleClick(hitButton(event->position().toPoint()));
    event->accept();
    return;
  }
  QAbstractButton::mouseReleaseEvent(event);
}

void PictureButton::keyReleaseEvent(QKeyEvent* event) {
  const bool clickKey = event->key() == Qt::Key_Space || event->key() == Qt::Key_Select;
  if (toggleMode_ && clickKey && !event->isAutoRepeat() && isDown()) {
    FinishToggleClick(true);
    event->accept();
    return;
  }
  QAbstractButton::keyReleaseEvent(event);
}

void PictureButton::FinishToggleClick(bool inside) {
  setDown(false);
  if (!inside) return;
  ToggleChecked();
  emit Toggled(checked_);
}

QSize PictureButton::ContentSize() const {
  const QFontMetrics metrics(font());
  const int captionWidth = text().isEmpty() ? 0 : metrics.horizontalAdvance(text());
  const int iconWidth = icon_.isNull() ? 0 : iconSize().width();
  const int gap = captionWidth > 0 && iconWidth > 0 ? kIconCaptionGap : 0;
  const int height =
      std::max(icon_.isNull() ? 0 : iconSize().height(), text().isEmpty() ? 0 : metrics.height());
  return QSize(iconWidth + gap + captionWidth, height);
}

QSize PictureButton::sizeHint() const {
  const QSize content = ContentSize();
  return QSize(content.width() + 2 * kPaddingX,
               std::max(kMinimumHeight, content.height() + 2 * kPaddingY));
}

QSize PictureButton::minimumSizeHint() const { return ContentSize(); }

void PictureButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (face_) PaintFace(painter);
  PaintContent(painter);
  if (!face_ && hovered_ && isEnabled()) PaintHoverFrame(painter);
}

void PictureButton::PaintFace(QPainter& painter) const {
  painter.fillRect(rect(), kBackground);
  const bool lit = hovered_ && isEnabled();
  const QColor edge = lit ? Lighter(kBackground) : kBackground;
  const QColor middle = lit ? Lighter(kFaceMiddle) : kFaceMiddle;
  QLinearGradient shading(0, 0, 0, height());
  shading.setColorAt(0, edge);
  shading.setColorAt(0.5, middle);
  shading.setColorAt(1, edge);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(kOutline);
  painter.setBrush(shading);
  painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kFaceRadius, kFaceRadius);
  painter.restore();
}

void PictureButton::PaintContent(QPainter& painter) const {
  const QSize content = ContentSize();
  const int shift = isDown() ? 1 : 0;
  int x = (width() - content.width()) / 2 + shift;
  if (!icon_.isNull()) {
    const QIcon& icon = checked_ && !checkedIcon_.isNull() ? checkedIcon_ : icon_;
    const QSize size = iconSize();
    const QRect target(QPoint(x, (height() - size.height()) / 2 + shift), size);
    if (isEnabled()) {
      icon.paint(&painter, target, Qt::AlignCenter, QIcon::Normal);
    } else {
      // Scalable icons come back from the Disabled mode undimmed; fading them keeps a disabled
      // button from looking usable whatever engine drew the icon.
      painter.save();
      painter.setOpacity(kDisabledIconOpacity);
      icon.paint(&painter, target, Qt::AlignCenter, QIcon::Disabled);
      painter.restore();
    }
    x += size.width() + (text().isEmpty() ? 0 : kIconCaptionGap);
  }
  if (text().isEmpty()) return;
  const QColor colour = !isEnabled() ? kCaptionDisabled : checked_ ? kCaptionChecked : kCaption;
  painter.setPen(colour);
  painter.setFont(font());
  const QRect band(x, shift, width() - x, height());
  painter.drawText(band, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());
}

void PictureButton::PaintHoverFrame(QPainter& painter) const {
  painter.setPen(kOutline);
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace strixc::shell
