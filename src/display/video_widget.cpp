#include "display/video_widget.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace strixc::display {

VideoWidget::VideoWidget(VideoDisplay& display, QWidget* parent) : QWidget(parent), display_(display) {
  // Every pixel is painted from the composition or the background: no system fill first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
}

VideoWidget::~VideoWidget() { Unbind(); }

bool VideoWidget::Bind() {
  bound_ = true;
  return AttachToArea();
}

void VideoWidget::Unbind() {
  if (!bound_) return;
  bound_ = false;
  display_.DetachFrom(this);
}

void VideoWidget::SetBackground(uint32_t rgb) {
  if (background_ == rgb) return;
  background_ = rgb;
  if (bound_) AttachToArea();
  update();
}

bool VideoWidget::AttachToArea() {
  const bool made = display_.Attach(this, {0, 0, width() - 1, height() - 1}, background_);
  display_.RedrawAll();
  update();
  if (!made) emit AttachFailed();
  return made;
}

void VideoWidget::RepaintArea(const video::Rect& area) {
  const QRect r(area.left, area.top, area.right - area.left + 1, area.bottom - area.top + 1);
  repaints_.Post([this, r] { update(r); });
}

void VideoWidget::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  QRegion uncovered = event->region();
  if (bound_ && display_.Paint(painter, event->rect())) {
    const video::Rect d = display_.GetDisplayRect();
    if (!d.Empty()) uncovered -= QRect(d.left, d.top, d.right - d.left + 1, d.bottom - d.top + 1);
  }
  for (const QRect& r : uncovered) painter.fillRect(r, QColor::fromRgb(background_));
}

void VideoWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (bound_) AttachToArea();
}

void VideoWidget::mousePressEvent(QMouseEvent* event) {
  emit MousePressed(event->position().toPoint(), event->button());
}

void VideoWidget::mouseMoveEvent(QMouseEvent* event) {
  emit MouseMoved(event->position().toPoint(), event->buttons());
}

void VideoWidget::mouseReleaseEvent(QMouseEvent* event) {
  emit MouseReleased(event->position().toPoint(), event->button());
}

void VideoWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  emit DoubleClicked(event->position().toPoint());
}

}  // namespace strixc::display
