#include "shell/in_place_edit.h"

#include <QFocusEvent>
#include <QKeyEvent>

namespace strixc::shell {

InPlaceEdit::InPlaceEdit(QWidget* parent) : QLineEdit(parent) {
  // A child widget takes its parent's font unless given one of its own.
  setAlignment(Qt::AlignCenter);
  setFrame(true);
  hide();
}

void InPlaceEdit::Begin(int column, int row, const QRect& rect, const QString& text) {
  End();
  column_ = column;
  row_ = row;
  original_ = text;
  editing_ = true;
  setText(text);
  setGeometry(rect);
  show();
  selectAll();
  setFocus(Qt::OtherFocusReason);
}

void InPlaceEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  // The box's own context menu borrows the focus and gives it back.
  if (event->reason() != Qt::PopupFocusReason) End();
}

void InPlaceEdit::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      event->accept();
      End();
      return;
    case Qt::Key_Escape:
      event->accept();
      setText(original_);
      End();
      return;
    default:
      QLineEdit::keyPressEvent(event);
  }
}

void InPlaceEdit::End() {
  if (!editing_) return;
  // Cleared before hiding: hiding the focused box loses the focus and comes back here.
  editing_ = false;
  const int column = column_;
  const int row = row_;
  original_.clear();
  hide();
  emit Ended(column, row);
}

}  // namespace strixc::shell
