#pragma once

// The base of the program's dialogs: a frameless dark window with a painted caption tab in its
// upper left corner, a two-tone border, and dragging by that tab. Derived dialogs set their title
// with SetCaption while they build their controls; the controls inherit the dark palette.

#include <QAbstractButton>
#include <QDialog>
#include <QFont>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QString>

class QAbstractItemView;

namespace strixc::shell {

class DialogFrame : public QDialog {
  Q_OBJECT

 public:
  explicit DialogFrame(QWidget* parent = nullptr);

  // Stores the title and repaints, unless it is the current one (compared exactly).
  void SetCaption(const QString& title);
  const QString& Caption() const { return title_; }

  // The draggable caption tab, in the dialog's coordinates; it grows with the title.
  QRect TabRect() const { return tabRect_; }
  bool IsDragging() const { return dragging_; }

  // The button that Enter and the number pad's Enter press (the dialogs' buttons are picture
  // buttons, which QDialog's own default-button rule does not see). None by default.
  void SetDefaultButton(QAbstractButton* button) { defaultButton_ = button; }

  // How many times the dialog has been painted; lets a caller see whether a change repainted.
  int PaintCount() const { return paintCount_; }

 protected:
  // The first show without an explicit position centres the dialog over its parent's window
  // (over the screen without one), inside the screen.
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void PlaceOverParent();
  void UpdateTabRect();
  void PaintTab(QPainter& painter) const;
  void PaintBorder(QPainter& painter) const;
  void PaintTitle(QPainter& painter) const;

  QString title_;
  QFont captionFont_;
  QRect tabRect_;
  int paintCount_ = 0;

  // Drag state: the window position and the cursor (screen coordinates) at the press.
  bool dragging_ = false;
  QPointer<QAbstractButton> defaultButton_;
  QPoint dragWindowPos_;
  QPoint dragCursorPos_;
};

// Gives a list, tree or table the dialogs' look: whole-row selection, dark background, light text,
// and (for trees and tables) every column as wide as its header and contents. Call it after the
// columns are filled; it does not follow later changes.
void StyleListView(QAbstractItemView* view);

// Selects row `row` and scrolls it into view when 0 <= row < row count; otherwise clears the
// selection.
void SelectListItem(QAbstractItemView* view, int row);

}  // namespace strixc::shell
