#pragma once

// The dome panel's round buttons: a picture button whose face is a shaded disc with a painted
// symbol (arrows, magnifiers, speed chevrons, a staircase for steps) or a digit, so that the
// panel needs no bitmaps and reads the same in every language.

#include "shell/picture_button.h"

namespace strixc::dome {

class DomePanelButton : public shell::PictureButton {
  Q_OBJECT

 public:
  enum class Glyph {
    kLeft, kRight, kUp, kDown, kZoomIn, kZoomOut,
    kSlow, kNormal, kFast, kNegate, kStep, kClose, kDigit,
  };

  // `diameter` is the disc's size; kDigit shows `digit`.
  DomePanelButton(Glyph glyph, int diameter, QWidget* parent, int digit = 0);

  Glyph GetGlyph() const { return glyph_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool hitButton(const QPoint& pos) const override;

 private:
  void PaintDisc(QPainter& painter, const QRectF& disc) const;
  void PaintGlyph(QPainter& painter, const QRectF& disc) const;

  Glyph glyph_;
  int diameter_;
  int digit_;
};

}  // namespace strixc::dome
