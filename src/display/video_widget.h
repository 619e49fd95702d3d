#pragma once

#include <QPoint>
#include <QWidget>

#include "display/video_display.h"
#include "net/call_context.h"

namespace strixc::display {

// The window area that shows a VideoDisplay: while bound, the display draws into the widget's
// whole client area, re-attached on every resize; painting copies from the display's
// composition. Mouse input goes to the owner as signals in widget coordinates, which are the
// display's coordinates.
//
// The display must outlive the widget. The widget detaches the display when it is unbound or
// destroyed, so no repaint request reaches it afterwards.
class VideoWidget : public QWidget, public DisplayTarget {
  Q_OBJECT

 public:
  VideoWidget(VideoDisplay& display, QWidget* parent = nullptr);
  ~VideoWidget() override;

  // Takes the display (attach to this widget, redraw all) or gives it up. Bind reports whether
  // the display could make its picture; false also comes later as AttachFailed on a resize.
  bool Bind();
  void Unbind();
  bool Bound() const { return bound_; }

  void SetBackground(uint32_t rgb);

  // Any thread, with the display's lock held: queues a repaint of `area`.
  void RepaintArea(const video::Rect& area) override;

 signals:
  void MousePressed(QPoint position, Qt::MouseButton button);
  void MouseMoved(QPoint position, Qt::MouseButtons buttons);
  void MouseReleased(QPoint position, Qt::MouseButton button);
  void DoubleClicked(QPoint position);
  void AttachFailed();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  bool AttachToArea();

  VideoDisplay& display_;
  uint32_t background_ = 0x4A4F55;
  bool bound_ = false;
  // Repaints asked for by the threads that draw frames run here, on the widget's thread.
  net::CallContext repaints_;
};

}  // namespace strixc::display
