#include "dome/dialogs/dome_gallery_pages.h"

#include <QTreeWidget>
#include <memory>

#include "dome/dialogs/dome_panel.h"
#include "dome/dialogs/dome_panel_button.h"
#include "dome/dialogs/dome_settings_dialog.h"
#include "dome/dome_control.h"
#include "dome/dome_input.h"
#include "shell/key_capture_field.h"

namespace strixc::dome {

namespace {

// A joystick that is always held the same way: X half to the right, Z a little up, button 3.
class SampleJoystick : public JoystickSource {
 public:
  int Open(int id, JoystickCaps* caps) override {
    if (id != 0) return joystick_result::kNotConnected;
    caps->name = "Sample joystick";
    caps->axisCount = 4;
    caps->buttonCount = 12;
    caps->axisMin.fill(-32768);
    caps->axisMax.fill(32767);
    return joystick_result::kOk;
  }
  int Read(int id, JoystickReading* reading, JoystickCaps* caps) override {
    if (Open(id, caps) != joystick_result::kOk) return joystick_result::kNotConnected;
    reading->axes = {24575, 0, -8192, 0, 0, 0};
    reading->buttons = 1u << 2;
    return joystick_result::kOk;
  }
  std::vector<std::string> Names() override { return {"Sample joystick"}; }
};

// The pages' widgets hold references to these; they live as long as the program.
DomeControl& SampleControl() {
  static DomeControl control;
  return control;
}

std::unique_ptr<QWidget> PanelPage() {
  auto panel = std::make_unique<DomePanel>(SampleControl(), nullptr);
  panel->Button("fast")->click();
  panel->Button("step")->SetChecked(true);
  return panel;
}

std::unique_ptr<QWidget> SettingsPage() {
  static SampleJoystick joystick;
  static DomeInput input(&SampleControl(), &joystick);
  DomeInputConfig config = DomeInputConfig::Defaults();
  config.joystickId = 0;
  config.keys.push_back({'Z', kCtrlBit, {action::kZoom, -1.0}});
  config.keys.push_back({shell::vk::kHome, kShiftBit | kCtrlBit, {action::kBrowsePosition, 5.0}});
  input.SetConfig(config);
  auto dialog = std::make_unique<DomeSettingsDialog>(input);
  // A key row chosen, so that the key field and the key rows show too.
  shell::SelectListItem(dialog->findChild<QTreeWidget*>(QStringLiteral("bindings")), dialog->RowOfKey('Z', kCtrlBit));
  return dialog;
}

}  // namespace

std::vector<shell::GalleryPage> DomeGalleryPages() {
  return {
      {QStringLiteral("dome_panel"), PanelPage},
      {QStringLiteral("dome_settings"), SettingsPage},
  };
}

}  // namespace strixc::dome
