#pragma once

// The floating dome control panel: round buttons that steer the selected camera's dome while held
// (left, right, up, down, zoom in and out), three exclusive speeds with "+/-" to reverse them, a
// step mode in which a click makes one step instead, and the preset positions 1 to 9.

#include <QPoint>
#include <functional>

#include "dome/dialogs/dome_panel_model.h"
#include "shell/dialog_frame.h"

namespace strixc::dome {

class DomeControl;
class DomePanelButton;

// Modeless; the owner shows and hides it. Hiding or closing it while a direction is held stops
// the domes. Dragged by its body as well as by its tab. UI thread only; the control must outlive
// the panel.
//
// Buttons by object name: "left", "right", "up", "down", "zoom_in", "zoom_out", "slow",
// "normal", "fast", "negate", "step", "preset_1" .. "preset_9", "close". Presses and releases
// reach the panel through the buttons' posted notifications, so they take effect on the next pass
// of the event loop.
class DomePanel : public shell::DialogFrame {
  Q_OBJECT

 public:
  DomePanel(DomeControl& control, QWidget* parent);
  // A direction still held (the program closing under the mouse) is stopped.
  ~DomePanel() override;

  // Keys typed while the panel has the focus are offered here first (the dome key bindings); a
  // handler that returns true takes the key. Arguments: virtual-key code, modifiers, key down.
  using KeyHandler = std::function<bool(int vk, int modifiers, bool down)>;
  void SetKeyHandler(KeyHandler handler) { keyHandler_ = std::move(handler); }

  const DomePanelModel& Model() const { return model_; }
  DomePanelButton* Button(const char* name) const;

 protected:
  void hideEvent(QHideEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void OnPressChanged(bool pressed, int index);
  void ChooseSpeed(double magnitude);
  void ShowSpeed();
  bool OfferKey(QKeyEvent* event, bool down);

  DomePanelModel model_;
  KeyHandler keyHandler_;
  DomePanelButton* speedButtons_[3] = {};
  DomePanelButton* negate_ = nullptr;
  DomePanelButton* directions_[kPanelDirections] = {};

  bool dragging_ = false;
  QPoint dragWindowPos_;
  QPoint dragCursorPos_;
};

}  // namespace strixc::dome
