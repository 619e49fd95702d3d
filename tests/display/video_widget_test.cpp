#include "display/video_widget.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPixmap>
#include <memory>

#include "display/picture_source.h"

namespace strixc::display {
namespace {

TEST(VideoWidgetTest, ShowsTheDisplayAndGivesItUpWhenDestroyed) {
  test::PictureSource source;
  source.Fill(0, 352, 288, test::kBlue);
  VideoDisplay display;
  display.SetFrameSource(&source);
  display.SetLayout(1);
  display.SelectCamera(3);

  auto widget = std::make_unique<VideoWidget>(display);
  widget->resize(400, 300);
  widget->Bind();
  widget->show();
  QApplication::processEvents();
  EXPECT_EQ(display.GetDisplayRect(), (video::Rect{0, 0, 399, 299})) << "attached to the whole widget";

  display.OnFrame(0, false);
  QApplication::processEvents();
  const QImage shown = widget->grab().toImage();
  EXPECT_EQ(shown.pixel(200, 150) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(shown.pixel(1, 1) & 0xFFFFFF, 0x4A4F55u);

  QPoint pressed;
  Qt::MouseButton button = Qt::NoButton;
  QObject::connect(widget.get(), &VideoWidget::MousePressed, [&](QPoint p, Qt::MouseButton b) {
    pressed = p;
    button = b;
  });
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(30, 40), QPointF(30, 40), Qt::RightButton,
                    Qt::RightButton, Qt::NoModifier);
  QApplication::sendEvent(widget.get(), &press);
  EXPECT_EQ(pressed, QPoint(30, 40));
  EXPECT_EQ(button, Qt::RightButton);

  widget.reset();
  EXPECT_TRUE(display.Grab().isNull()) << "no repaint request may reach a destroyed widget";
  display.OnFrame(0, false);
}

}  // namespace
}  // namespace strixc::display
