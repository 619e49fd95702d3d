#pragma once

// A small edit box that a list opens over one of its cells. It reports the end of the edit to
// its owner once, by the Ended signal, with the two numbers the owner gave to Begin (the archive
// location list gives its column and row).

#include <QLineEdit>
#include <QRect>
#include <QString>

namespace strixc::shell {

class InPlaceEdit : public QLineEdit {
  Q_OBJECT

 public:
  // Hidden until Begin; bordered, centred text, the parent's font.
  explicit InPlaceEdit(QWidget* parent);

  // Starts an edit of `text` over `rect` (parent coordinates): shows the box, selects the whole
  // text and takes the focus. An edit still running is ended first, so its owner hears of it.
  void Begin(int column, int row, const QRect& rect, const QString& text);
  bool IsEditing() const { return editing_; }

 signals:
  // Emitted exactly once per Begin, synchronously and after the box is hidden: a slot may read
  // text() and may call Begin again. The edit ends when the box loses the focus (except to its own
  // context menu) or on Enter; Escape puts back the text given to Begin and then ends, so the
  // owner that stores text() stores what was there.
  void Ended(int column, int row);

 protected:
  void focusOutEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void End();

  bool editing_ = false;
  int column_ = 0;
  int row_ = 0;
  QString original_;
};

}  // namespace strixc::shell
