#include "dome/dialogs/dome_panel_model.h"

#include <cmath>

#include "dome/dome_control.h"

namespace strixc::dome {

DomePanelModel::DomePanelModel(DomeControl& control) : control_(control) {}

void DomePanelModel::SetSpeed(double magnitude) { speed_ = speed_ < 0 ? -std::fabs(magnitude) : std::fabs(magnitude); }

DomePanelModel::Speeds DomePanelModel::SpeedsOf(PanelDirection direction) const {
  Speeds s;
  // Positive pan turns left, positive tilt moves down; zoom in is -1 at a positive speed, so "+/-"
  // reverses the zoom buttons as it reverses the others.
  const double zoomIn = speed_ <= 0 ? 1.0 : -1.0;
  switch (direction) {
    case PanelDirection::kLeft: s.pan = speed_; break;
    case PanelDirection::kRight: s.pan = -speed_; break;
    case PanelDirection::kUp: s.tilt = -speed_; break;
    case PanelDirection::kDown: s.tilt = speed_; break;
    case PanelDirection::kZoomIn: s.zoom = zoomIn; break;
    case PanelDirection::kZoomOut: s.zoom = -zoomIn; break;
  }
  return s;
}

void DomePanelModel::Press(PanelDirection direction) {
  if (stepMode_) return;
  const Speeds s = SpeedsOf(direction);
  held_ = static_cast<int>(direction);
  control_.Move(s.pan, s.tilt, s.zoom, s.focus, s.iris);
}

void DomePanelModel::Release(PanelDirection direction) {
  // Checked against the held direction, not the step mode: a move started before step mode was
  // switched on must still be stopped.
  if (held_ != static_cast<int>(direction)) return;
  held_ = -1;
  control_.Move(0, 0, 0, 0, 0);
}

void DomePanelModel::Click(PanelDirection direction) {
  if (!stepMode_) return;
  const Speeds s = SpeedsOf(direction);
  control_.Step(s.pan, s.tilt, s.zoom, s.focus, s.iris);
}

void DomePanelModel::RecallPreset(int button) {
  if (button < 1 || button > 9) return;
  control_.RecallPreset(static_cast<unsigned>(button - 1));
}

bool DomePanelModel::Abandon() {
  if (held_ < 0) return false;
  held_ = -1;
  // Every moving dome, not only the selected one: the camera may have changed while held.
  control_.StopAll();
  return true;
}

}  // namespace strixc::dome
