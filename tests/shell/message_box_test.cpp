#include "shell/message_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QStringList>

#include <algorithm>
#include <utility>

#include "shell/picture_button.h"

namespace strixc::shell {
namespace {

// The buttons of a box, by name, in the order they stand.
QStringList ButtonNames(const MessageBox& box) {
  QList<PictureButton*> buttons = box.findChildren<PictureButton*>();
  std::sort(buttons.begin(), buttons.end(),
            [](PictureButton* a, PictureButton* b) { return a->x() < b->x(); });
  QStringList names;
  for (PictureButton* button : buttons) names << button->objectName();
  return names;
}

// Shows a box of `style` and presses its button `name`; returns what the box answered.
MessageResult Press(MessageStyle style, const char* name) {
  MessageBox box(QStringLiteral("Delete the bookmark?"), {}, style);
  box.show();
  QApplication::processEvents();
  auto* button = box.findChild<PictureButton*>(QString::fromLatin1(name));
  EXPECT_NE(button, nullptr) << name;
  if (button == nullptr) return MessageResult::kOk;
  button->click();
  EXPECT_FALSE(box.isVisible()) << name;
  return box.Result();
}

MessageResult Close(MessageStyle style) {
  MessageBox box(QStringLiteral("Delete the bookmark?"), {}, style);
  box.show();
  QApplication::processEvents();
  box.reject();
  EXPECT_FALSE(box.isVisible());
  return box.Result();
}

TEST(MessageBoxTest, EachStyleShowsItsButtonsInOrderWithTheTextsOfTheTable) {
  for (auto [style, names] :
       {std::pair{MessageStyle::kOk, QStringList{"ok"}},
        std::pair{MessageStyle::kYesNoCancel, QStringList{"yes", "no", "cancel"}},
        std::pair{MessageStyle::kYesNo, QStringList{"yes", "no"}}}) {
    MessageBox box(QStringLiteral("Text"), {}, style);
    box.show();
    QApplication::processEvents();
    EXPECT_EQ(ButtonNames(box), names) << static_cast<int>(style);
  }
  MessageBox box(QStringLiteral("Text"), {}, MessageStyle::kYesNoCancel);
  EXPECT_EQ(box.findChild<PictureButton*>("yes")->text(), QStringLiteral("Yes"));
  EXPECT_EQ(box.findChild<PictureButton*>("no")->text(), QStringLiteral("No"));
  EXPECT_EQ(box.findChild<PictureButton*>("cancel")->text(), QStringLiteral("Cancel"));
  MessageBox ok(QStringLiteral("Text"));
  EXPECT_EQ(ok.findChild<PictureButton*>("ok")->text(), QStringLiteral("OK"));
}

TEST(MessageBoxTest, AnswersOfEveryButtonAndOfClosingInEveryStyle) {
  EXPECT_EQ(Press(MessageStyle::kOk, "ok"), MessageResult::kOk);
  EXPECT_EQ(Close(MessageStyle::kOk), MessageResult::kOk);

  EXPECT_EQ(Press(MessageStyle::kYesNoCancel, "yes"), MessageResult::kYes);
  EXPECT_EQ(Press(MessageStyle::kYesNoCancel, "no"), MessageResult::kNo);
  EXPECT_EQ(Press(MessageStyle::kYesNoCancel, "cancel"), MessageResult::kCancel);
  EXPECT_EQ(Close(MessageStyle::kYesNoCancel), MessageResult::kCancel);

  EXPECT_EQ(Press(MessageStyle::kYesNo, "yes"), MessageResult::kYes);
  EXPECT_EQ(Press(MessageStyle::kYesNo, "no"), MessageResult::kNo);
  EXPECT_EQ(Close(MessageStyle::kYesNo), MessageResult::kNo);
}

TEST(MessageBoxTest, EscapeClosesAsCancel) {
  MessageBox box(QStringLiteral("Save the layout?"), {}, MessageStyle::kYesNoCancel);
  box.show();
  QApplication::processEvents();
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&box, &escape);
  EXPECT_FALSE(box.isVisible());
  EXPECT_EQ(box.Result(), MessageResult::kCancel);
}

TEST(MessageBoxTest, CaptionIsEmptyUnlessGivenAndTheBoxStaysOnTop) {
  MessageBox plain(QStringLiteral("Text"));
  EXPECT_TRUE(plain.Caption().isEmpty());
  MessageBox named(QStringLiteral("Text"), QStringLiteral("STX-C"));
  EXPECT_EQ(named.Caption(), QStringLiteral("STX-C"));
  EXPECT_TRUE(named.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(named.windowFlags() & Qt::FramelessWindowHint);
}

TEST(MessageBoxTest, LongTextWrapsWithinABoundedWidth) {
  MessageBox shortBox(QStringLiteral("Done."));
  shortBox.show();
  QApplication::processEvents();
  const QString longText = QString(QStringLiteral("The archive location is full. ")).repeated(12);
  MessageBox longBox(longText);
  longBox.show();
  QApplication::processEvents();
  EXPECT_GE(shortBox.width(), 260);
  EXPECT_LE(longBox.width(), 460);
  EXPECT_GT(longBox.height(), shortBox.height() + 2 * longBox.fontMetrics().height());
}

}  // namespace
}  // namespace strixc::shell
