#pragma once

// What the dome panel's buttons send, without the buttons: the speed, the step mode and the one
// direction held down. The panel forwards its buttons' presses, releases and clicks here.

namespace strixc::dome {

class DomeControl;

// The panel's six direction buttons, in the order of their press notifications.
enum class PanelDirection { kLeft = 0, kRight, kUp, kDown, kZoomIn, kZoomOut };
constexpr int kPanelDirections = 6;

// The user-interface thread only. The control must outlive the model.
class DomePanelModel {
 public:
  static constexpr double kSlow = 0.2;
  static constexpr double kNormal = 0.4;
  static constexpr double kFast = 0.7;

  explicit DomePanelModel(DomeControl& control);

  // The signed speed: "+/-" negates it, which reverses every direction.
  double Speed() const { return speed_; }
  // One of kSlow, kNormal and kFast; keeps the sign the speed has now.
  void SetSpeed(double magnitude);
  void Negate() { speed_ = -speed_; }

  bool StepMode() const { return stepMode_; }
  void SetStepMode(bool on) { stepMode_ = on; }

  // Pressed and released: a continuous move while held, outside step mode. A release of a
  // direction that is not the one held sends nothing.
  void Press(PanelDirection direction);
  void Release(PanelDirection direction);
  // A whole click: one step, in step mode only.
  void Click(PanelDirection direction);
  void RecallPreset(int button);  // "1".."9" recall positions 0..8

  // The direction held down, or -1.
  int Held() const { return held_; }
  // The panel goes away while a direction is held: the dome is stopped. Returns whether one was.
  bool Abandon();

  // The five speeds (pan, tilt, zoom, focus, iris) a direction sends at the current speed.
  struct Speeds {
    double pan = 0, tilt = 0, zoom = 0, focus = 0, iris = 0;
  };
  Speeds SpeedsOf(PanelDirection direction) const;

 private:
  DomeControl& control_;
  double speed_ = kNormal;
  bool stepMode_ = false;
  int held_ = -1;
};

}  // namespace strixc::dome
