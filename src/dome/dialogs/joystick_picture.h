#pragma once

// The settings dialog's live picture of a joystick: six axis bars (X, Y, Z, R, U, V) that grow
// from their middle toward -1 or 1, and 32 button lamps that light while held.

#include <QWidget>
#include <array>

#include "dome/dome_actions.h"

namespace strixc::dome {

class JoystickPicture : public QWidget {
  Q_OBJECT

 public:
  explicit JoystickPicture(QWidget* parent = nullptr);

  // Values as DomeInput::ReadJoystick gives them: axes in -1..1, buttons 0 or 1. `live` false
  // greys the picture out (no joystick, or it does not answer).
  void SetValues(const std::array<double, kJoystickInputs>& values, bool live);
  const std::array<double, kJoystickInputs>& Values() const { return values_; }

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void PaintAxes(QPainter& painter) const;
  void PaintButtons(QPainter& painter) const;

  std::array<double, kJoystickInputs> values_{};
  bool live_ = false;
};

}  // namespace strixc::dome
