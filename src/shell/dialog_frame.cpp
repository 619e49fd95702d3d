#include "shell/dialog_frame.h"

#include <algorithm>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QKeyEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QShowEvent>
#include <QGuiApplication>
#include <QTableView>
#include <QTreeView>

#include "shell/string_ids.h"
#include "shell/string_table.h"
#include "shell/texts.h"
#include "shell/theme.h"

namespace strixc::shell {
namespace {

constexpr QColor kBackground = theme::kBackground;
constexpr QColor kText = theme::kText;
constexpr QColor kTab = theme::kOutline;
constexpr QColor kBorderDark = theme::kBorderShadow;

// 10 point at 96 dpi; a pixel size keeps the tab the same on screens of other densities.
constexpr int kCaptionPixelSize = 13;
// The title's text starts this far right of the tab's corner, in a band this high.
constexpr int kTitleLeft = 15;
constexpr int kTitleBandHeight = 25;
// The tab extends past the title by these margins; its rounded corner is an ellipse of 40 x 60,
// drawn from outside the window so that only its lower right quarter shows.
constexpr int kTabExtraWidth = 50;
constexpr int kTabExtraHeight = 7;
constexpr int kTabOutside = 40;
constexpr qreal kTabRadiusX = 20;
constexpr qreal kTabRadiusY = 30;

}  // namespace

DialogFrame::DialogFrame(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), title_(Tr(text::kUntitled)) {
  setPalette(theme::DarkPalette(palette()));
  setAutoFillBackground(true);
  captionFont_.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans")});
  captionFont_.setPixelSize(kCaptionPixelSize);
  captionFont_.setBold(true);
  setWindowTitle(title_);
  UpdateTabRect();
}

void DialogFrame::SetCaption(const QString& title) {
  if (title == title_) return;
  title_ = title;
  setWindowTitle(title_);
  UpdateTabRect();
  update();
}

void DialogFrame::UpdateTabRect() {
  const QFontMetrics metrics(captionFont_);
  tabRect_ = QRect(0, 0, metrics.horizontalAdvance(title_) + kTabExtraWidth,
                   metrics.height() + kTabExtraHeight);
}

void DialogFrame::paintEvent(QPaintEvent*) {
  ++paintCount_;
  QPainter painter(this);
  PaintTab(painter);
  PaintBorder(painter);
  PaintTitle(painter);
}

void DialogFrame::PaintTab(QPainter& painter) const {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(kTab);
  painter.setBrush(kTab);
  const QRectF tab(-kTabOutside, -kTabOutside, tabRect_.width() + kTabOutside,
                   tabRect_.height() + kTabOutside);
  painter.drawRoundedRect(tab, kTabRadiusX, kTabRadiusY, Qt::AbsoluteSize);
  painter.restore();
}

void DialogFrame::PaintBorder(QPainter& painter) const {
  const int right = width() - 1;
  const int bottom = height() - 1;
  painter.setPen(Qt::white);
  painter.drawLine(0, bottom, 0, 0);
  painter.drawLine(0, 0, right, 0);
  painter.setPen(kBorderDark);
  painter.drawLine(right, 0, right, bottom);
  painter.drawLine(right, bottom, 0, bottom);
}

void DialogFrame::PaintTitle(QPainter& painter) const {
  painter.setFont(captionFont_);
  const QRect band(kTitleLeft, 0, std::max(0, width() - kTitleLeft), kTitleBandHeight);
  const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
  painter.setPen(kBackground);
  painter.drawText(band.translated(1, 1), flags, title_);
  painter.setPen(kText);
  painter.drawText(band, flags, title_);
}

void DialogFrame::showEvent(QShowEvent* event) {
  // QDialog centres a dialog by guessing the window frames from the program's other windows,
  // which are frameless here: under a window manager its dialogs and message boxes landed off
  // their parent, up to the corner of the screen. Placed again here, from the real sizes.
  const bool place = !event->spontaneous() && !testAttribute(Qt::WA_Moved);
  QDialog::showEvent(event);
  if (place) {
    PlaceOverParent();
    setAttribute(Qt::WA_Moved, false);
  }
}

void DialogFrame::PlaceOverParent() {
  QWidget* owner = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
  if (owner != nullptr && !owner->isVisible()) owner = nullptr;
  QScreen* shown = owner != nullptr ? owner->screen() : screen();
  if (shown == nullptr) shown = QGuiApplication::primaryScreen();
  if (shown == nullptr) return;
  const QRect available = shown->availableGeometry();
  QRect placed(QPoint(), frameGeometry().size().expandedTo(size()));
  placed.moveCenter(owner != nullptr ? owner->frameGeometry().center() : available.center());
  // Keep the whole dialog on the screen, its top-left corner first.
  placed.moveRight(std::min(placed.right(), available.right()));
  placed.moveBottom(std::min(placed.bottom(), available.bottom()));
  placed.moveLeft(std::max(placed.left(), available.left()));
  placed.moveTop(std::max(placed.top(), available.top()));
  move(placed.topLeft());
}

void DialogFrame::keyPressEvent(QKeyEvent* event) {
  const bool enter = (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
                     (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
  if (enter && defaultButton_ != nullptr && defaultButton_->isVisible() && defaultButton_->isEnabled()) {
    defaultButton_->click();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void DialogFrame::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && tabRect_.contains(event->position().toPoint())) {
    dragging_ = true;
    dragWindowPos_ = pos();
    dragCursorPos_ = event->globalPosition().toPoint();
    event->accept();
    return;
  }
  QDialog::mousePressEvent(event);
}

void DialogFrame::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_) {
    move(dragWindowPos_ + (event->globalPosition().toPoint() - dragCursorPos_));
    event->accept();
    return;
  }
  QDialog::mouseMoveEvent(event);
}

void DialogFrame::mouseReleaseEvent(QMouseEvent* event) {
  if (dragging_ && event->button() == Qt::LeftButton) {
    dragging_ = false;
    event->accept();
    return;
  }
  QDialog::mouseReleaseEvent(event);
}

void StyleListView(QAbstractItemView* view) {
  if (view == nullptr) return;
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setPalette(theme::DarkPalette(view->palette()));
  if (auto* tree = qobject_cast<QTreeView*>(view)) {
    const int columns = tree->header()->count();
    for (int column = 0; column < columns; ++column) tree->resizeColumnToContents(column);
  } else if (auto* table = qobject_cast<QTableView*>(view)) {
    table->resizeColumnsToContents();
  }
}

void SelectListItem(QAbstractItemView* view, int row) {
  if (view == nullptr || view->model() == nullptr || view->selectionModel() == nullptr) return;
  const QModelIndex root = view->rootIndex();
  if (row < 0 || row >= view->model()->rowCount(root)) {
    view->clearSelection();
    return;
  }
  const QModelIndex index = view->model()->index(row, 0, root);
  view->selectionModel()->setCurrentIndex(
      index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  view->scrollTo(index);
}

}  // namespace strixc::shell
