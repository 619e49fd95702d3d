#pragma once

// The program's own push button: an icon and/or a caption on a shaded face, lighter while the
// mouse is over it, optionally latching (toggle mode), and able to report presses and releases
// and right clicks to its owner with posted (queued) signals.

#include <QAbstractButton>
#include <QIcon>
#include <QString>

namespace strixc::shell {

class PictureButton : public QAbstractButton {
  Q_OBJECT

 public:
  explicit PictureButton(QWidget* parent = nullptr);
  explicit PictureButton(const QString& caption, QWidget* parent = nullptr);

  // Shows `icon` (and, while checked, `checkedIcon` when it is not null). `face` false gives an
  // icon-only button without the shaded face. Icons are drawn at iconSize() (16 x 16 unless set).
  void SetIcon(const QIcon& icon, bool face = true);
  void SetIcon(const QIcon& icon, const QIcon& checkedIcon, bool face = true);
  bool HasFace() const { return face_; }

  void SetTooltip(const QString& text);

  // In toggle mode a click flips the checked state and emits Toggled instead of clicked(): the
  // owner never sees the click. Keyboard clicks (space) behave the same; a programmatic click()
  // goes through Qt's path and emits clicked().
  void SetToggleMode(bool on);
  bool ToggleMode() const { return toggleMode_; }

  // The latched look (white caption, the checked icon). Independent of Qt's checkable state.
  void SetChecked(bool checked);
  void Check() { SetChecked(true); }
  void Uncheck() { SetChecked(false); }
  void ToggleChecked() { SetChecked(!checked_); }
  bool IsChecked() const { return checked_; }

  // From now on every change of the pushed state posts PressChanged(pressed, index): exactly one
  // notification per change, delivered from the event loop, dropped if the button is destroyed
  // before then.
  void SetPressNotify(int index);
  // From now on a right-button release over the button posts RightClicked(index).
  void SetRightClickNotify(int index);

  bool IsHovered() const { return hovered_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  void Toggled(bool checked);
  void PressChanged(bool pressed, int index);
  void RightClicked(int index);

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;

 private:
  void FinishToggleClick(bool inside);
  void NotifyPressIfChanged();
  QSize ContentSize() const;
  void PaintFace(QPainter& painter) const;
  void PaintContent(QPainter& painter) const;
  void PaintHoverFrame(QPainter& painter) const;

  QIcon icon_;
  QIcon checkedIcon_;
  bool face_ = true;
  bool checked_ = false;
  bool toggleMode_ = false;
  bool hovered_ = false;

  bool pressNotify_ = false;
  int pressIndex_ = 0;
  // The pushed state last reported, so that each change is reported exactly once.
  bool reportedDown_ = false;

  bool rightClickNotify_ = false;
  int rightClickIndex_ = 0;
};

}  // namespace strixc::shell
