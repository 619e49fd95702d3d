#include "shell/dialog_frame.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QTreeWidget>
#include <QWindow>

#include "shell/message_box.h"
#include "shell/theme.h"

namespace strixc::shell {
namespace {

// A shown frame at a known place, with the helpers to drive it like a mouse would.
class DialogFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    frame_.resize(300, 200);
    frame_.move(100, 100);
    frame_.show();
    Settle();
  }

  // Lets the platform expose the window and every pending repaint happen.
  static void Settle() {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
  }

  void SendMouse(QEvent::Type type, QPoint local, Qt::MouseButtons held) {
    const QPoint global = frame_.mapToGlobal(local);
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(local), QPointF(global), button, held, Qt::NoModifier);
    QApplication::sendEvent(&frame_, &event);
  }
  void Press(QPoint local) { SendMouse(QEvent::MouseButtonPress, local, Qt::LeftButton); }
  void MoveHeld(QPoint local) { SendMouse(QEvent::MouseMove, local, Qt::LeftButton); }
  void Release(QPoint local) { SendMouse(QEvent::MouseButtonRelease, local, Qt::NoButton); }

  DialogFrame frame_;
};

TEST_F(DialogFrameTest, CaptionRepaintsOnlyWhenItChanges) {
  EXPECT_EQ(frame_.Caption(), QStringLiteral("Untitled"));
  frame_.SetCaption(QStringLiteral("Backup"));
  Settle();
  const int painted = frame_.PaintCount();
  EXPECT_GT(painted, 0);

  frame_.SetCaption(QStringLiteral("Backup"));
  Settle();
  EXPECT_EQ(frame_.PaintCount(), painted);

  frame_.SetCaption(QStringLiteral("Calendar"));
  Settle();
  EXPECT_GT(frame_.PaintCount(), painted);
  EXPECT_EQ(frame_.windowTitle(), QStringLiteral("Calendar"));
}

TEST_F(DialogFrameTest, LongTitleWidensTheTabSoItNeverClipsTheTitle) {
  frame_.SetCaption(QStringLiteral("Calendar"));
  const QRect shortTab = frame_.TabRect();
  const QString longTitle = QStringLiteral("Path to the folder containing archive files");
  frame_.SetCaption(longTitle);
  const QRect longTab = frame_.TabRect();
  EXPECT_GT(longTab.width(), shortTab.width());
  EXPECT_EQ(longTab.topLeft(), QPoint(0, 0));

  QFont caption;
  caption.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans")});
  caption.setPixelSize(13);
  caption.setBold(true);
  const QFontMetrics metrics(caption);
  // The title is drawn from x = 15 and a shadow one pixel further.
  EXPECT_GE(longTab.right(), 15 + metrics.horizontalAdvance(longTitle) + 1);
  EXPECT_GE(longTab.height(), metrics.height());
}

TEST_F(DialogFrameTest, DraggingByTheTabOnly) {
  const QPoint start = frame_.pos();
  const QPoint outside(frame_.TabRect().right() + 20, frame_.TabRect().bottom() + 20);
  ASSERT_FALSE(frame_.TabRect().contains(outside));
  Press(outside);
  EXPECT_FALSE(frame_.IsDragging());
  MoveHeld(outside + QPoint(40, 30));
  Release(outside + QPoint(40, 30));
  EXPECT_EQ(frame_.pos(), start);

  // A drag follows the cursor's movement since the press, whatever it did in between.
  const QPoint inTab(10, 5);
  Press(inTab);
  EXPECT_TRUE(frame_.IsDragging());
  const QPoint pressGlobal = frame_.mapToGlobal(inTab);
  for (const QPoint delta : {QPoint(5, 5), QPoint(-12, 40), QPoint(30, 20)}) {
    const QPoint global = pressGlobal + delta;
    QMouseEvent move(QEvent::MouseMove, QPointF(frame_.mapFromGlobal(global)), QPointF(global),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&frame_, &move);
    EXPECT_EQ(frame_.pos(), start + delta);
  }
  Release(frame_.mapFromGlobal(pressGlobal + QPoint(30, 20)));
  EXPECT_FALSE(frame_.IsDragging());
  MoveHeld(QPoint(100, 100));
  EXPECT_EQ(frame_.pos(), start + QPoint(30, 20));
}

TEST(DialogFrameListTest, StyledListSelectsWholeRowsAndSelectsOnlyRowsThatExist) {
  QTreeWidget list;
  list.setColumnCount(2);
  for (int i = 0; i < 3; ++i) {
    list.addTopLevelItem(new QTreeWidgetItem({QStringLiteral("camera %1").arg(i),
                                              QStringLiteral("a much longer second column")}));
  }
  list.setColumnWidth(1, 5);
  StyleListView(&list);
  EXPECT_EQ(list.selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(list.palette().color(QPalette::Base), QColor(74, 79, 85));
  EXPECT_EQ(list.palette().color(QPalette::Text), QColor(193, 197, 200));
  EXPECT_GT(list.columnWidth(1), 5);

  SelectListItem(&list, 2);
  ASSERT_EQ(list.selectedItems().size(), 1);
  EXPECT_EQ(list.selectedItems().front(), list.topLevelItem(2));
  for (int outside : {-1, 3}) {
    SelectListItem(&list, 1);
    SelectListItem(&list, outside);
    EXPECT_TRUE(list.selectedItems().isEmpty()) << outside;
  }
}

}  // namespace
}  // namespace strixc::shell

namespace strixc::shell {
namespace {

TEST(DialogPlacementTest, MessageBoxOpensCentredOverItsSmallParentDialog) {
  DialogFrame parent;
  parent.setGeometry(200, 150, 300, 150);
  parent.show();
  QApplication::processEvents();
  MessageBox box(QStringLiteral("This language was not added yet !"), QString(), MessageStyle::kOk, &parent);
  box.show();
  QApplication::processEvents();
  const QPoint offset = box.frameGeometry().center() - parent.frameGeometry().center();
  EXPECT_LE(offset.manhattanLength(), 2) << "box at " << box.x() << ", " << box.y();
  EXPECT_TRUE(box.screen()->availableGeometry().contains(box.frameGeometry()));
}

TEST(ProgramThemeTest, MenusListsAndTooltipsOpenDark) {
  const QPalette before = QApplication::palette();
  theme::ApplyProgramTheme();
  QMenu menu;
  menu.addAction(QStringLiteral("Exit"));
  EXPECT_EQ(menu.palette().color(QPalette::Window), theme::kBackground);
  EXPECT_EQ(menu.palette().color(QPalette::WindowText), theme::kText);
  EXPECT_EQ(QApplication::palette().color(QPalette::ToolTipBase), theme::kBackground);
  EXPECT_EQ(QApplication::palette().color(QPalette::Base), theme::kBackground);
  QApplication::setPalette(before);
}

}  // namespace
}  // namespace strixc::shell
