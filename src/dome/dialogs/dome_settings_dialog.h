#pragma once

// "Dome settings": the joystick choice, its dead zone and sensitivity, and the key and joystick
// bindings, edited on a working copy of the dome input's configuration and stored back by "Apply"
// and "OK". A live picture of the chosen joystick is redrawn every 200 ms.
//
// The binding list holds the 38 joystick inputs first, then the key bindings in ascending key
// order. The action list and the parameter field always show the selected row, and changing them
// changes that row. Capturing a key in the key field selects that key's row when it is bound, and
// otherwise clears the selection, so that the action and parameter chosen next go to "Add new".
// "Delete" removes a key binding, or sets a joystick input back to "None".

#include <QString>
#include <optional>

#include "dome/dome_input.h"
#include "shell/dialog_frame.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QSlider;
class QTimer;
class QTreeWidget;

namespace strixc::shell {
class KeyCaptureField;
}

namespace strixc::dome {

class JoystickPicture;

// The parameter field's text as a number: a decimal number with '.' or ',', finite, within
// ±kMaxDomeParameter (the one-shot actions turn it into an integer). Nothing for other text.
constexpr double kMaxDomeParameter = 1000000.0;
std::optional<double> ParseDomeParameter(const QString& text);

// The text id of an action's name, and of its parameter's label (0 for actions without one).
int DomeActionNameId(int action);
int DomeParameterLabelId(int action);

// Modal, UI thread only; the input must outlive the dialog. Controls by object name: radio
// buttons "disable", "joystick1", "joystick2", check box "enable", sliders "dead_zone" and
// "sensitivity", lists "bindings" and "actions", "parameter_label", "parameter", the key field
// "key", labels "joystick_status" and "joystick_axis", the picture "joystick_picture", buttons
// "add", "delete", "apply", "ok", "cancel".
class DomeSettingsDialog : public shell::DialogFrame {
  Q_OBJECT

 public:
  explicit DomeSettingsDialog(DomeInput& input, QWidget* parent = nullptr);

  // The working copy as edited so far.
  const DomeInputConfig& Working() const { return config_; }
  // The row of the binding list that a key binding has, or -1.
  int RowOfKey(int vk, int modifiers) const;

  // Stores the working copy into the input (re-opening its joystick). False, with the dialog left
  // as it is, when the parameter field holds text that is not a number.
  bool Apply();
  void accept() override;

  // Reads the chosen joystick and redraws its picture and status (the 200 ms timer's work).
  void RefreshJoystick();

 private:
  QWidget* BuildBindings();
  QWidget* BuildJoystick();
  void FillBindings(int selectRow);
  QString RowText(int row) const;
  DomeBinding* SelectedBinding();
  int SelectedRow() const;
  void ShowSelected();
  void ShowAction(int action);
  void ActionChosen();
  bool CommitParameter();
  void KeyCaptured(int key, int modifiers);
  void AddNew();
  void DeleteSelected();
  void Warn(int textId);

  DomeInput& input_;
  DomeInputConfig config_;
  bool filling_ = false;
  bool committing_ = false;

  QButtonGroup* joystickChoice_ = nullptr;
  QCheckBox* enable_ = nullptr;
  QSlider* deadZone_ = nullptr;
  QSlider* sensitivity_ = nullptr;
  QTreeWidget* bindings_ = nullptr;
  QTreeWidget* actions_ = nullptr;
  QLabel* parameterLabel_ = nullptr;
  QLineEdit* parameter_ = nullptr;
  shell::KeyCaptureField* key_ = nullptr;
  JoystickPicture* picture_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* axis_ = nullptr;
  QTimer* timer_ = nullptr;
};

}  // namespace strixc::dome
