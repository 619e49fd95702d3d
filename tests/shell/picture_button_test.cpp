#include "shell/picture_button.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QWidget>

#include <utility>
#include <vector>

namespace strixc::shell {
namespace {

// One button on a shown owner window, with what the owner sees recorded.
class PictureButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    owner_.resize(200, 100);
    button_ = new PictureButton(QStringLiteral("Record"), &owner_);
    button_->setGeometry(20, 20, 80, 25);
    QObject::connect(button_, &PictureButton::clicked, [this] { ++clicks_; });
    QObject::connect(button_, &PictureButton::Toggled,
                     [this](bool checked) { toggles_.push_back(checked); });
    QObject::connect(button_, &PictureButton::PressChanged,
                     [this](bool pressed, int index) { presses_.emplace_back(pressed, index); });
    QObject::connect(button_, &PictureButton::RightClicked,
                     [this](int index) { rightClicks_.push_back(index); });
    owner_.show();
    QApplication::processEvents();
  }

  void SendMouse(QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held,
                 QPoint local = QPoint(40, 12)) {
    QMouseEvent event(type, QPointF(local), QPointF(button_->mapToGlobal(local)), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(button_, &event);
  }
  void Press(Qt::MouseButton button = Qt::LeftButton) {
    SendMouse(QEvent::MouseButtonPress, button, button);
  }
  void Release(Qt::MouseButton button = Qt::LeftButton, QPoint local = QPoint(40, 12)) {
    SendMouse(QEvent::MouseButtonRelease, button, Qt::NoButton, local);
  }
  void MoveHeld(QPoint local) {
    SendMouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, local);
  }
  void Click() {
    Press();
    Release();
  }

  QWidget owner_;
  PictureButton* button_ = nullptr;
  int clicks_ = 0;
  std::vector<bool> toggles_;
  std::vector<std::pair<bool, int>> presses_;
  std::vector<int> rightClicks_;
};

using Presses = std::vector<std::pair<bool, int>>;

TEST_F(PictureButtonTest, PlainButtonReportsClicksAndDoesNotLatch) {
  Click();
  Click();
  EXPECT_EQ(clicks_, 2);
  EXPECT_FALSE(button_->IsChecked());
  EXPECT_TRUE(toggles_.empty());
}

TEST_F(PictureButtonTest, ToggleButtonFlipsOnEachClickAndHidesTheClick) {
  button_->SetToggleMode(true);
  Click();
  EXPECT_TRUE(button_->IsChecked());
  EXPECT_FALSE(button_->isDown());
  Click();
  EXPECT_FALSE(button_->IsChecked());
  Click();
  EXPECT_TRUE(button_->IsChecked());
  EXPECT_EQ(toggles_, (std::vector<bool>{true, false, true}));
  EXPECT_EQ(clicks_, 0);

  // Released away from the button it is no click at all.
  Press();
  Release(Qt::LeftButton, QPoint(150, 70));
  EXPECT_TRUE(button_->IsChecked());
  EXPECT_EQ(toggles_.size(), 3u);
}

TEST_F(PictureButtonTest, PressNotificationIsPostedOncePerChange) {
  Click();
  QApplication::processEvents();
  EXPECT_TRUE(presses_.empty()) << "nothing is reported before SetPressNotify";

  button_->SetPressNotify(7);
  Press();
  EXPECT_TRUE(presses_.empty()) << "the notification must be posted, not sent";
  QApplication::processEvents();
  EXPECT_EQ(presses_, (Presses{{true, 7}}));
  Release();
  QApplication::processEvents();
  EXPECT_EQ(presses_, (Presses{{true, 7}, {false, 7}}));
  EXPECT_EQ(clicks_, 2);

  // Sliding off the held button releases it; the release outside then changes nothing.
  presses_.clear();
  Press();
  MoveHeld(QPoint(150, 70));
  MoveHeld(QPoint(160, 80));
  Release(Qt::LeftButton, QPoint(160, 80));
  QApplication::processEvents();
  EXPECT_EQ(presses_, (Presses{{true, 7}, {false, 7}}));

  // A toggle button reports its presses the same way.
  presses_.clear();
  button_->SetToggleMode(true);
  Click();
  QApplication::processEvents();
  EXPECT_EQ(presses_, (Presses{{true, 7}, {false, 7}}));
}

TEST_F(PictureButtonTest, RightClickIsPostedOnReleaseOnlyWhenAsked) {
  Press(Qt::RightButton);
  Release(Qt::RightButton);
  QApplication::processEvents();
  EXPECT_TRUE(rightClicks_.empty());

  button_->SetRightClickNotify(3);
  Press(Qt::RightButton);
  QApplication::processEvents();
  EXPECT_TRUE(rightClicks_.empty());
  Release(Qt::RightButton);
  EXPECT_TRUE(rightClicks_.empty());
  QApplication::processEvents();
  EXPECT_EQ(rightClicks_, (std::vector<int>{3}));
  EXPECT_EQ(clicks_, 0);
}

TEST_F(PictureButtonTest, LeavingClearsTheHoverAtOnce) {
  const QPointF inside(10, 10);
  QEnterEvent enter(inside, inside, button_->mapToGlobal(inside));
  QApplication::sendEvent(button_, &enter);
  EXPECT_TRUE(button_->IsHovered());
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(button_, &leave);
  EXPECT_FALSE(button_->IsHovered());
}

TEST_F(PictureButtonTest, HoverShadesTheFaceInANeutralGrey) {
  button_->setText(QString());
  const QPointF inside(10, 10);
  QEnterEvent enter(inside, inside, button_->mapToGlobal(inside));
  QApplication::sendEvent(button_, &enter);
  // The face's middle row, halfway across: the brightest of the shading.
  const QImage face = button_->grab().toImage();
  const QColor middle = face.pixelColor(face.width() / 2, face.height() / 2);
  EXPECT_EQ(middle.red(), middle.green());
  EXPECT_EQ(middle.green(), middle.blue());
  EXPECT_GT(middle.red(), 0x4A);
}

}  // namespace
}  // namespace strixc::shell
