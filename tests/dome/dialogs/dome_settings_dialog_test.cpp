#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "dome/dialogs/dome_settings_dialog.h"
#include "dome/dome_control.h"
#include "shell/key_capture_field.h"
#include "shell/picture_button.h"
#include "shell/string_ids.h"
#include "shell/texts.h"

namespace strixc::dome {
namespace {

template <class T>
T* Child(QWidget* parent, const char* name) {
  T* child = parent->findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(child, nullptr) << name;
  return child;
}

// Closes the next modal dialog (a message box) once it is open, remembering that one came.
void CloseNextModal(bool* opened) {
  QTimer::singleShot(0, [opened] {
    QWidget* modal = QApplication::activeModalWidget();
    *opened = modal != nullptr;
    if (modal) modal->close();
  });
}

class Unplugged : public JoystickSource {
 public:
  int Open(int, JoystickCaps*) override { return joystick_result::kNotConnected; }
  int Read(int, JoystickReading*, JoystickCaps*) override { return joystick_result::kNotConnected; }
  std::vector<std::string> Names() override { return {}; }
};

bool SameConfig(const DomeInputConfig& a, const DomeInputConfig& b) {
  if (a.enabled != b.enabled || a.joystickId != b.joystickId || a.deadZone != b.deadZone ||
      a.sensitivity != b.sensitivity || a.joystick != b.joystick || a.keys.size() != b.keys.size())
    return false;
  for (size_t i = 0; i < a.keys.size(); ++i) {
    if (a.keys[i].vk != b.keys[i].vk || a.keys[i].modifiers != b.keys[i].modifiers ||
        !(a.keys[i].binding == b.keys[i].binding))
      return false;
  }
  return true;
}

class SettingsTest : public testing::Test {
 protected:
  SettingsTest() : input_(&control_, &joysticks_), dialog_(input_) {}

  void CaptureKey(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    auto* field = Child<shell::KeyCaptureField>(&dialog_, "key");
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(field, &press);
  }
  void ChooseAction(int action) {
    auto* actions = Child<QTreeWidget>(&dialog_, "actions");
    actions->setCurrentItem(actions->topLevelItem(action));
  }
  void Press(const char* name) { Child<shell::PictureButton>(&dialog_, name)->click(); }

  DomeControl control_;
  Unplugged joysticks_;
  DomeInput input_;
  DomeSettingsDialog dialog_;
};

TEST_F(SettingsTest, CancelLeavesTheInputAsItWas) {
  const DomeInputConfig before = input_.Config();
  Child<QSlider>(&dialog_, "dead_zone")->setValue(55);
  auto* bindings = Child<QTreeWidget>(&dialog_, "bindings");
  bindings->setCurrentItem(bindings->topLevelItem(0));
  ChooseAction(action::kRecallPosition);
  CaptureKey(Qt::Key_Q, Qt::ControlModifier);
  ChooseAction(action::kRunPattern);
  Press("add");
  EXPECT_EQ(dialog_.Working().joystick[0].action, action::kRecallPosition);
  EXPECT_GE(dialog_.RowOfKey('Q', kCtrlBit), kJoystickInputs);
  Press("cancel");
  EXPECT_TRUE(SameConfig(input_.Config(), before));
}

TEST_F(SettingsTest, OkStoresNewKeyBindingAndDeadZone) {
  CaptureKey(Qt::Key_Q, Qt::ControlModifier | Qt::ShiftModifier);
  ChooseAction(action::kSavePosition);
  Child<QLineEdit>(&dialog_, "parameter")->setText(QStringLiteral("3,0"));
  Press("add");
  Child<QSlider>(&dialog_, "dead_zone")->setValue(35);
  Press("ok");
  EXPECT_EQ(dialog_.result(), QDialog::Accepted);
  EXPECT_DOUBLE_EQ(input_.DeadZone(), 0.35);
  bool found = false;
  for (int i = 0; i < input_.KeyBindingCount(); ++i) {
    const KeyBinding k = input_.KeyBindingAt(i);
    if (k.vk == 'Q' && k.modifiers == (kShiftBit | kCtrlBit)) {
      found = true;
      EXPECT_EQ(k.binding.action, action::kSavePosition);
      EXPECT_DOUBLE_EQ(k.binding.parameter, 3.0);
    }
  }
  EXPECT_TRUE(found);
}

TEST_F(SettingsTest, BadParameterIsRefusedAndTheOldValueKept) {
  auto* bindings = Child<QTreeWidget>(&dialog_, "bindings");
  bindings->setCurrentItem(bindings->topLevelItem(0));  // X axis, "Left/Right" -1
  auto* parameter = Child<QLineEdit>(&dialog_, "parameter");
  for (const char* bad : {"fast", "1e9", "nan", ""}) {
    parameter->setText(QString::fromLatin1(bad));
    bool warned = false;
    CloseNextModal(&warned);
    EXPECT_FALSE(dialog_.Apply()) << bad;
    EXPECT_TRUE(warned) << bad;
    EXPECT_EQ(parameter->text(), QStringLiteral("-1")) << bad;
  }
  EXPECT_DOUBLE_EQ(input_.JoystickBinding(0).parameter, -1.0);
  EXPECT_EQ(ParseDomeParameter(QStringLiteral(" -0,5 ")), -0.5);
}

TEST_F(SettingsTest, UnpluggedJoystickIsReported) {
  Child<QAbstractButton>(&dialog_, "joystick2")->click();
  EXPECT_EQ(Child<QLabel>(&dialog_, "joystick_status")->text(), shell::Tr(shell::text::kJoystickNotConnected));
  Child<QAbstractButton>(&dialog_, "disable")->click();
  EXPECT_EQ(dialog_.Working().joystickId, -1);
  EXPECT_EQ(Child<QLabel>(&dialog_, "joystick_status")->text(), shell::Tr(shell::text::kNoJoystickChosen));
}

}  // namespace
}  // namespace strixc::dome
